// One client's connection: its socket, its stream split into packets, the
// replies it is owed, its time limits and its session record. Its life is
// one State, its transitions in client.cpp:
//
//   Header ──> Reading <──> Paused, Waiting
//      │          │
//      └──────────┴──> Finishing ──> Closing ──> Closed
//
//   Header     --accept-proxy: its PROXY header is read; nothing forwarded yet
//   Reading    a read is outstanding; what it brings is split and forwarded
//   Paused     at its own limit (--client-in-flight, --client-queue): not
//              read until a reply or a write clears it
//   Waiting    the backend's queue is full, or others wait for room in it:
//              not read until its turn, when it forwards one packet
//   Finishing  no more packets are taken (it ended its stream, sent bytes that
//              are not a packet, a reply to it did not come in time, the
//              relay is stopping, or the backend lost some of its packets);
//              what it sends is read and dropped, the replies it is owed are
//              still sent (each within the reply deadline)
//   Closing    every reply it is owed has been written and its sending side
//              shut: it waits for the client's end (--client-grace), so that
//              no reply is lost to a reset
// Any state goes to Closed at once when the client leaves its replies unread
// too long, its connection fails, or a time limit passes.
#ifndef ZRRELAY_CLIENT_H
#define ZRRELAY_CLIENT_H

#include <asio.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "address_places.h"
#include "relay.h"

namespace zrrelay {

class ClientConnection;

// What a client's connection asks of the relay that routes its packets.
class ClientHost {
public:
    // Whether a client may forward a packet now: false while the backend's
    // queue is full or others wait for room in it.
    virtual bool backendHasRoom() = 0;
    // The client waits for its turn, which takes it up with resume(1).
    virtual void waitForTurn(ClientConnection& client) = 0;
    // One of its packets, to the backend.
    virtual void forward(ClientConnection& client, const ZrSplitItem& packet,
                         std::chrono::steady_clock::time_point now) = 0;
    // Packets were forwarded in this handler: the backend is written soon.
    virtual void forwarded() = 0;
    // --accept-proxy: its header named its address; no place: refused
    // (--max-clients-per-address).
    virtual std::optional<AddressPlaces::Place> admit(ClientConnection& client, const asio::ip::address& address) = 0;
    // It sent its last byte: it holds no --max-clients place any more.
    virtual void inputEnded(ClientConnection& client) = 0;
    virtual void closed(ClientConnection& client) = 0;

protected:
    ~ClientHost() = default;
};

// What every client of a relay shares.
struct ClientSettings {
    const Limits& limits;
    ZrPacketMeter::Options meter;
    bool acceptProxy;
    const Logger& log;
    Counters& counters;
};

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    using Clock = std::chrono::steady_clock;
    enum class State : unsigned char { Header, Reading, Paused, Waiting, Finishing, Closing, Closed };

    // `place`: its --max-clients-per-address place (none yet with
    // --accept-proxy, taken once the header names the address).
    ClientConnection(ClientHost& host, const ClientSettings& settings, asio::ip::tcp::socket socket, std::uint64_t id,
                     const asio::ip::tcp::endpoint& peer, std::optional<AddressPlaces::Place> place);
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    void start();

    // Paused or Waiting: forward what it has read (at most `turn` packets),
    // then read on.
    void resume(std::size_t turn = SIZE_MAX);
    // A reply to one of its packets, with its SN; false when that closed it
    // (--client-queue-hard).
    bool queueReply(const char* packet, std::size_t length, std::uint32_t sn, Clock::time_point now);
    // After a backend read has queued replies to it: write them; a client
    // paused at its in-flight limit reads again.
    void repliesQueued();
    // Packets of it that will get no reply: given up at their deadline (sent
    // or not), or lost with the backend connection.
    enum class Unanswered : unsigned char { TimedOut, Lost };
    void giveUp(std::size_t count, Unanswered why);
    // Takes no more packets; closed once it is owed nothing (and, with
    // waitInFlight, once every packet of it in flight is answered). A reason
    // that waits less replaces one already given.
    void finish(EndCode code, LogLevel level, std::string why, bool waitInFlight);
    // Finishing: closes it if it is owed nothing now.
    void tryFinish();
    // Closed at once, for `why` (the session keeps the first reason given).
    void close(EndCode code, LogLevel level, std::string why);

    State state() const { return m_state; }
    bool finishing() const { return m_state >= State::Finishing; }
    bool inputEnded() const { return m_input == Input::Ended; }
    std::uint64_t id() const { return m_session.id; }
    const std::string& peer() const { return m_session.client; }
    std::size_t inFlight() const { return m_inFlight; }
    // No reply queued or being written.
    bool writeIdle() const { return m_replies.empty() && m_writing.empty(); }

private:
    // The read side: a read outstanding, none, or the client's last byte read.
    enum class Input : unsigned char { Idle, Outstanding, Ended };
    // Why the session ends and how it is logged; set once finishing starts.
    struct Ending {
        EndCode code = EndCode::ClientClosed;
        LogLevel level = LogLevel::Info;
        std::string why;
        bool waitInFlight = true;
    };

    void read();
    void onRead(const asio::error_code& error, std::size_t n);
    void onHeader(std::size_t n);
    void pump(std::size_t budget);
    void write();
    void shut();
    std::size_t queued() const { return m_replies.size() + m_writing.size(); }
    std::size_t unread();
    // The time limits: the earliest that applies in this state, the timer
    // set for it, and what passing it does.
    struct QuietLimit {
        EndCode code;  // NoPacket or Idle
        Clock::time_point at;
    };
    std::optional<QuietLimit> quietLimit() const;
    Clock::time_point nextDeadline() const;
    void armTimer();
    void onTimer();
    void countWork();

    ClientHost& m_host;
    const ClientSettings& m_settings;
    asio::ip::tcp::socket m_socket;
    State m_state;
    Input m_input = Input::Idle;
    std::optional<AddressPlaces::Place> m_place;
    std::optional<ZrStreamSplitter> m_splitter;  // made once the PROXY header is read
    std::vector<unsigned char> m_header;         // --accept-proxy: its bytes so far
    std::vector<unsigned char> m_readBuffer;
    std::size_t m_inFlight = 0;
    std::vector<char> m_replies, m_writing;  // replies queued; replies being written (a write outstanding)
    Session m_session;
    Ending m_ending;
    Clock::time_point m_lastActivity;              // its last packet forwarded, reply queued or replies taken
    std::optional<Clock::time_point> m_overQueue;  // since when it holds --client-queue of replies unread
    Clock::time_point m_closingSince;
    asio::steady_timer m_timer;
    Clock::time_point m_timerAt = Clock::time_point::max();  // what the timer waits for (max: nothing)
    std::uint64_t m_timerRound = 0;                          // a timer handler acts only if no later wait was set
    std::uint64_t m_workSeen = 0;                            // of its splitter's deciphering, counted so far
};

}  // namespace zrrelay

#endif  // ZRRELAY_CLIENT_H

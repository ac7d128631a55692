// Inside zrnet::Server: the core that owns the connections (Peer, one per
// client), and what a connection asks of it. Runs on the server's
// io_context, on one thread.
#ifndef ZRPACKET_NET_SRC_SERVER_CORE_H
#define ZRPACKET_NET_SRC_SERVER_CORE_H

#include <atomic>
#include <deque>
#include <optional>
#include <unordered_map>

#include "zr_net_connection.h"
#include "zr_net_server.h"

namespace zrnet::detail {

using Clock = std::chrono::steady_clock;

class ServerCore final : public std::enable_shared_from_this<ServerCore> {
public:
    ServerCore(asio::io_context& io, ServerOptions options, std::shared_ptr<AddressPlaces> places);

    IoExecutor executor() const { return m_io.get_executor(); }
    const ServerOptions& options() const { return m_options; }
    ServerCounters& counters() { return m_counters; }
    std::size_t connectionCount() const { return m_count.load(std::memory_order_relaxed); }

    void adopt(asio::ip::tcp::socket socket);
    void drain(std::chrono::milliseconds timeout, std::unique_ptr<WaitOp> op);
    void close();

    // What a connection asks.
    std::optional<AddressPlaces::Place> place(const asio::ip::address& address) { return m_places->take(address); }
    std::size_t addressLimit() const { return m_places->limit(); }
    // Hands a request to its handler; the request's decode error, if it did not decode.
    const char* dispatch(const ZrSplitItem& request, Responder&& responder);
    bool gated() const { return static_cast<bool>(gate.hasRoom); }
    void inputEnded() { ++m_ended; }
    // The session is over: counted, told, and the connection forgotten.
    void ended(Peer& peer, const Session& session, bool inputEnded);

    // Set before connections come.
    std::unordered_map<unsigned int, std::unique_ptr<Dispatch>> handlers;
    Server::RawHandler raw;
    Gate gate;
    std::function<void(const Session&)> onSession;
    std::unique_ptr<Listener> listener;  // listen()'s

private:
    enum class State : unsigned char { Serving, Draining, Closed };

    // Calls a handler of the program's so that an exception from it leaves
    // io_context::run() once the operation at hand is done (Asio holds it
    // until then), not in the middle of a connection's read.
    template <class F>
    void callHandler(F&& f) {
        if (m_io.get_executor().running_in_this_thread()) {
            asio::dispatch(m_io.get_executor(), std::forward<F>(f));
        } else {
            f();
        }
    }
    void refuse(const asio::ip::tcp::endpoint& peer, EndCode code, std::string reason);
    void tell(const Session& session);
    void checkDrained();

    asio::io_context& m_io;
    const ServerOptions m_options;
    std::shared_ptr<AddressPlaces> m_places;
    ServerCounters m_counters;
    State m_state = State::Serving;
    std::unordered_map<std::uint64_t, std::shared_ptr<Peer>> m_peers;
    std::uint64_t m_nextId = 1;
    std::size_t m_ended = 0;  // of them, those whose client ended its stream: no maxClients place
    std::atomic<std::size_t> m_count{0};
    asio::steady_timer m_drainTimer;
    std::unique_ptr<WaitOp> m_drained;  // the drain's completion, while it is pending
};

// One client's connection: its Connection, the replies it is owed, its time
// limits and its session. Its life is one State (see zr_net_server.h),
// changed only in server_peer.cpp.
class Peer final : public Connection::Owner, public std::enable_shared_from_this<Peer> {
public:
    enum class State : unsigned char { Header, Reading, Paused, Waiting, Finishing, Closing, Closed };

    // `place`: its maxClientsPerAddress place (none yet with acceptProxy,
    // taken once the header names the address).
    Peer(std::shared_ptr<ServerCore> core, std::uint64_t id, const asio::ip::tcp::endpoint& peer,
         std::optional<AddressPlaces::Place> place);
    void start(asio::ip::tcp::socket socket);

    // From its Responders and its Gate, on the server's thread.
    void reply(std::uint64_t seq, std::uint32_t sn, const char* bytes, std::size_t length);
    void unanswered(std::uint64_t seq);
    void giveUp(std::uint64_t seq, Unanswered why, std::string reason);
    void takeTurn();
    IoExecutor executor() const { return m_core->executor(); }
    std::uint64_t id() const { return m_session.id; }  // set once made: any thread may read it
    std::size_t maxPacketLength() const { return m_core->options().meter.maxPacketLength; }

    // Takes no more requests; closed once it is owed nothing (and, with
    // waitInFlight, once every request of it is answered). A reason that
    // waits less replaces one already given.
    void finish(EndCode code, std::string why, bool waitInFlight);
    // Closed at once, for `why` (the session keeps the first reason given).
    void close(EndCode code, std::string why);

private:
    // Connection::Owner
    bool ready(Connection&) override;
    void received(Connection&, const ZrSplitItem& item) override;
    void readDone(Connection&) override;
    void headerRead(Connection&, const ProxyHeader& header) override;
    void writing(Connection&, std::size_t) override {}
    void written(Connection&) override;
    void ended(Connection&) override;
    void closed(Connection&, const std::error_code& why) override;

    // Why the session ends; set once finishing starts.
    struct Ending {
        EndCode code = EndCode::ClientClosed;
        std::string why;
        bool waitInFlight = true;
    };
    // ReplyOrder::AsAsked: a request's reply, held until those before it have theirs.
    struct Pending {
        bool answered = false;
        std::vector<char> reply;  // empty: none
        std::uint32_t sn = 0;     // its request's
    };

    void answered(std::uint64_t seq);
    void queueReply(const char* bytes, std::size_t length, std::uint32_t sn);
    void tryFinish();
    void shut();
    // Replies not yet written, held for their turn included.
    std::size_t queued() const { return m_queue.bytes() + m_heldBytes; }
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

    std::shared_ptr<ServerCore> m_core;
    const ServerOptions& m_options;
    std::shared_ptr<Connection> m_connection;
    WriteQueue m_queue;
    State m_state;
    std::optional<AddressPlaces::Place> m_place;
    bool m_inputEnded = false;
    std::size_t m_inFlight = 0;
    std::size_t m_turn = 0;  // Waiting: requests it may hand over in its turn without asking
    std::uint64_t m_nextSeq = 0;
    std::deque<Pending> m_pending;  // AsAsked: from the oldest request unanswered
    std::uint64_t m_firstPending = 0;
    std::size_t m_heldBytes = 0;
    std::string m_streamEnd;  // why it ended its stream, when it was inside a packet
    Session m_session;
    Ending m_ending;
    Clock::time_point m_lastActivity;              // its last packet taken, reply queued or replies written
    bool m_tookPacket = false;                     // in the read being handed over
    std::optional<Clock::time_point> m_overQueue;  // since when it holds maxQueuedBytes of replies unread
    Clock::time_point m_closingSince;
    asio::steady_timer m_timer;
    Clock::time_point m_timerAt = Clock::time_point::max();  // what the timer waits for (max: nothing)
    std::uint64_t m_timerRound = 0;                          // a timer handler acts only if no later wait was set
    std::uint64_t m_decipheredSeen = 0;                      // of its connection's deciphering, counted so far
};

}  // namespace zrnet::detail

#endif  // ZRPACKET_NET_SRC_SERVER_CORE_H

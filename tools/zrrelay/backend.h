// The relay's one backend connection: connecting and reconnecting with
// backoff, the queue of packets to write, and the replies split from what
// it sends.
//
//   Connecting ──> Up ──(lost)──> Backoff ──> Connecting
//        └──(failed)──> Backoff
//
// Bytes from the backend that are not a packet are passed over: the
// splitter resyncs at the next byte where a packet may start, within the
// work its framing allows per byte, and the replies around them are routed
// as usual. Reconnecting instead would lose every packet in flight (their
// clients closed) for what is most likely one damaged reply, whose packet
// then times out alone. The skipped bytes are counted and logged.
#ifndef ZRRELAY_BACKEND_H
#define ZRRELAY_BACKEND_H

#include <asio.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "relay.h"

namespace zrrelay {

// What the backend connection tells the relay.
class BackendHost {
public:
    virtual void backendConnected() = 0;
    // A reply split from the backend's stream.
    virtual void reply(const ZrSplitItem& packet, std::chrono::steady_clock::time_point now) = 0;
    // The replies of one read are routed: they can be written to their clients.
    virtual void repliesRouted() = 0;
    // The connection went: the packets up to `writtenSeq` were written to it
    // and will get no reply; those after it wait for the next connection.
    virtual void backendLost(std::uint64_t writtenSeq, const std::string& why) = 0;
    // A write has finished: the queue has room again.
    virtual void backendRoom() = 0;

protected:
    ~BackendHost() = default;
};

class BackendConnection {
public:
    enum class State : unsigned char { Connecting, Up, Backoff, Stopped };

    BackendConnection(asio::io_context& io, const Options& options, BackendHost& host, Counters& counters,
                      const Logger& log);

    void start() { connect(); }
    void stop();
    bool up() const { return m_state == State::Up; }

    // Bytes queued and not yet written whole.
    std::size_t queued() const { return m_queue.size() - m_queueFrom + m_writing.size() - m_writingFrom; }
    // Bytes queued and not yet handed to a connection.
    std::size_t unsent() const { return m_queue.size() - m_queueFrom; }
    // Packets are numbered in the order they are queued, from 1.
    std::uint64_t lastSeq() const { return m_lastSeq; }
    // Packets up to this one have left the queue: handed to a connection,
    // or given up unsent. A packet after it has not been sent.
    std::uint64_t writtenSeq() const { return m_writtenSeq; }
    // Copies a packet into the queue (as packet lastSeq()); the copy, to stamp.
    char* queue(const char* packet, std::size_t length);
    // The oldest packet not yet written (number `seq`) leaves the queue: its
    // deadline has passed, and it must never be sent.
    void dropOldestUnsent(std::uint64_t seq);
    // Writes the queue once the handlers ready now have run, so that the
    // packets of every client read in this round go in one write.
    void flushSoon();

private:
    void connect();
    void connected(const asio::ip::tcp::endpoint& endpoint);
    void scheduleReconnect();
    void read();
    void flush();
    void failed(std::uint64_t generation, const asio::error_code& error);

    asio::io_context& m_io;
    const Options& m_options;
    BackendHost& m_host;
    Counters& m_counters;
    const Logger& m_log;
    State m_state = State::Connecting;
    asio::ip::tcp::socket m_socket;
    asio::ip::tcp::resolver m_resolver;
    asio::steady_timer m_retry;
    std::unique_ptr<ZrStreamSplitter> m_splitter;  // new for each connection
    std::uint64_t m_workSeen = 0;                  // of its deciphering, counted so far
    std::vector<unsigned char> m_readBuffer;
    // Packets queued: m_queue[m_queueFrom..], each one's length in m_unsent
    // (the first is packet m_writtenSeq + 1). Packets being written:
    // m_writing[m_writingFrom..] (empty: no write outstanding).
    std::vector<char> m_queue, m_writing;
    std::size_t m_queueFrom = 0, m_writingFrom = 0;
    std::deque<std::size_t> m_unsent;
    std::uint64_t m_lastSeq = 0;
    std::uint64_t m_writtenSeq = 0;
    std::uint64_t m_generation = 0;  // handlers of an earlier connection do nothing
    std::uint64_t m_skippedRuns = 0;
    std::chrono::milliseconds m_backoff{0};
    bool m_flushPosted = false;
};

}  // namespace zrrelay

#endif  // ZRRELAY_BACKEND_H

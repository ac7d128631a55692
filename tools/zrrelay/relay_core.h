// One relay: a zrnet::Server in raw mode facing the clients of one thread,
// a zrnet::Client in raw mode facing the backend, and the forwarding
// between them. Runs on one io_context on one thread.
#ifndef ZRRELAY_RELAY_CORE_H
#define ZRRELAY_RELAY_CORE_H

#include <asio.hpp>
#include <atomic>
#include <memory>
#include <vector>

#include "relay.h"
#include "zr_net_client.h"
#include "zr_net_server.h"

namespace zrrelay {

// Where the backend client appends a reply's bytes: the relay's one area,
// as an Asio DynamicBuffer (v2) that, unlike a vector's, does not zero what
// it grows by. The reply's handler runs in the read that brought it, takes
// the bytes and empties the area.
class ReplyArea {
public:
    using const_buffers_type = asio::const_buffer;
    using mutable_buffers_type = asio::mutable_buffer;
    struct Bytes {
        std::unique_ptr<char[]> data;
        std::size_t size = 0, capacity = 0;
    };

    explicit ReplyArea(Bytes& bytes) : m_bytes(&bytes) {}
    std::size_t size() const { return m_bytes->size; }
    std::size_t max_size() const { return SIZE_MAX; }
    std::size_t capacity() const { return m_bytes->capacity; }
    const_buffers_type data(std::size_t at, std::size_t n) const {
        return asio::buffer(asio::const_buffer(m_bytes->data.get(), m_bytes->size) + at, n);
    }
    mutable_buffers_type data(std::size_t at, std::size_t n) {
        return asio::buffer(asio::mutable_buffer(m_bytes->data.get(), m_bytes->size) + at, n);
    }
    void grow(std::size_t n);
    void shrink(std::size_t n) { m_bytes->size -= std::min(n, m_bytes->size); }
    void consume(std::size_t n);

private:
    Bytes* m_bytes;
};

class Relay {
public:
    Relay(asio::io_context& io, const Options& options, int thread, std::shared_ptr<zrnet::AddressPlaces> places);
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Connects to the backend. Called on the relay's thread, or before it runs.
    void start();
    // Where the listening thread hands this relay's connections.
    zrnet::Server& server() { return m_server; }
    // Takes no more packets, lets what is in flight be answered, then stops
    // the io_context; a second call, or the drain timeout, stops at once.
    void drain();
    // The counters with the gauges as they stand (on the relay's thread).
    Counters counters() const;
    // For the listening thread, which hands each connection to a relay.
    std::size_t clientCount() const { return m_server.connectionCount(); }
    bool backendUp() const { return m_backendUp.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    enum class Life : unsigned char { Running, Draining, Stopped };

    void forward(const ZrSplitItem& packet, zrnet::Responder responder);
    void giveUp(const std::error_code& error, zrnet::Responder& responder);
    void linked(const zrnet::LinkEvent& event);
    void unmatched(const ZrSplitItem& item, zrnet::Unmatched why);
    void sessionEnded(const zrnet::Session& session);
    void stopNow();

    asio::io_context& m_io;
    const Options m_options;
    Logger m_log;
    Counters m_counters;  // the relay's own; the rest are its server's and its client's
    zrnet::Server m_server;
    zrnet::Client m_backend;
    ReplyArea::Bytes m_reply;
    std::atomic<bool> m_backendUp{false};
    std::uint64_t m_skippedRuns = 0;  // runs of backend bytes that are not a packet, for the log
    Life m_life = Life::Running;
};

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_CORE_H

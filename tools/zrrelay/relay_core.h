// One relay: the clients of one thread, its backend connection, and what
// lies between them: the table of packets in flight (routes, by the relay's
// SN), their deadlines, and the turns of the clients waiting for room in the
// backend's queue. Runs on one io_context on one thread.
#ifndef ZRRELAY_RELAY_CORE_H
#define ZRRELAY_RELAY_CORE_H

#include <asio.hpp>
#include <atomic>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "backend.h"
#include "client.h"

namespace zrrelay {

class Relay : private ClientHost, private BackendHost {
public:
    Relay(asio::io_context& io, const Options& options, int thread, AddressPlaces& places);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Connects to the backend. Called on the relay's thread, or before it runs.
    void start();
    // A connection accepted for this relay (on its thread).
    void adopt(asio::ip::tcp::socket socket);
    // Takes no more packets, lets what is in flight be answered, then stops
    // the io_context; a second call, or the drain timeout, stops at once.
    void drain();
    // The counters with the gauges as they stand (on the relay's thread).
    Counters counters() const;
    // For the listening thread, which hands each connection to a relay.
    std::size_t clientCount() const { return m_clientCount.load(std::memory_order_relaxed); }
    bool backendUp() const { return m_backendUp.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    using ClientPtr = std::shared_ptr<ClientConnection>;
    struct Route {
        std::uint64_t client;  // ClientConnection::id()
        std::uint32_t clientSN;
        std::uint64_t seq;  // its number in the backend's queue
        Clock::time_point queued;
    };
    // When a packet in flight is given up, in the order of queueing (every
    // packet has the same timeout): one timer serves them all.
    struct Deadline {
        std::uint32_t sn;
        std::uint64_t seq;  // a later packet under the same SN is not this one
        Clock::time_point when;
    };

    // ClientHost
    bool backendHasRoom() override;
    void waitForTurn(ClientConnection& client) override;
    void forward(ClientConnection& client, const ZrSplitItem& packet, Clock::time_point now) override;
    void forwarded() override { m_backend.flushSoon(); }
    std::optional<AddressPlaces::Place> admit(ClientConnection& client, const asio::ip::address& address) override;
    void inputEnded(ClientConnection& client) override;
    void closed(ClientConnection& client) override;
    // BackendHost
    void backendConnected() override;
    void reply(const ZrSplitItem& packet, Clock::time_point now) override;
    void repliesRouted() override;
    void backendLost(std::uint64_t writtenSeq, const std::string& why) override;
    void backendRoom() override { resumeWaiting(); }

    std::optional<AddressPlaces::Place> placeFor(const std::string& who, const asio::ip::address& address);
    bool backendFull() const;
    std::uint32_t takeSN();
    bool pending(const Deadline& deadline) const;
    void armDeadline();
    void expireReplies();
    void resumeWaiting();
    ClientPtr findClient(std::uint64_t id) const;
    void checkDrained();
    void stopNow();

    asio::io_context& m_io;
    const Options m_options;
    Logger m_log;
    Counters m_counters;
    AddressPlaces& m_places;
    ClientSettings m_clientSettings;
    BackendConnection m_backend;

    std::unordered_map<std::uint64_t, ClientPtr> m_clients;
    std::uint64_t m_nextClientId = 1;
    std::size_t m_clientsEnded = 0;  // of those, the ones that ended their stream: no --max-clients place
    std::atomic<std::size_t> m_clientCount{0};
    std::atomic<bool> m_backendUp{false};
    // Clients waiting for room in the backend's queue, each resumed in turn
    // for one packet.
    std::deque<std::uint64_t> m_waiting;
    bool m_resuming = false;
    bool m_resumePosted = false;
    std::vector<ClientPtr> m_answered;  // clients given replies by the backend read being routed

    std::unordered_map<std::uint32_t, Route> m_routes;
    std::uint32_t m_nextSN = 1;
    std::deque<Deadline> m_deadlines;
    asio::steady_timer m_deadlineTimer;
    bool m_deadlineArmed = false;

    bool m_draining = false;
    bool m_stopped = false;
    asio::steady_timer m_drainTimer;
};

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_CORE_H

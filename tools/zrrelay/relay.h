// zrrelay: a TCP relay that multiplexes many clients over one backend
// connection, routing by the head's serial number and never decoding a body.
//
//   client A ─┐                       ┌─ SN 17 -> (A, its SN 5)
//   client B ─┼─ relay ── backend ──> │  SN 18 -> (B, its SN 5)
//   client C ─┘  (one connection)     └─ ...
//
// Each client's bytes are split into packets (ZrStreamSplitter). A packet is
// copied into the backend's queue and its SN replaced there by the relay's
// own (fastSetSN); the table above remembers whose packet it was. The
// backend's bytes are split the same way, each reply is looked up by its SN,
// gets the client's SN back and goes to that client.
//
// Model: every packet gets exactly one reply carrying its SN, within
// --reply-timeout. A packet whose reply does not come in time leaves the
// table (its client is closed once the replies it is owed are sent); a reply
// whose SN is in no table entry (late, or a second reply) is counted and
// dropped; one for a client that has gone is counted and dropped.
//
// Each Relay runs on one asio::io_context on one thread: no locks. With
// --threads N, N of them share the listening port (SO_REUSEPORT: the system
// spreads the clients), each with its own backend connection and SN space;
// a RelayGroup starts them, handles the signals, sums their counters and
// serves them (--metrics).
#ifndef ZRRELAY_RELAY_H
#define ZRRELAY_RELAY_H

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host_port.h"
#include "zr_stream_splitter.h"

namespace zrrelay {

enum class LogLevel { Error, Warn, Info, Debug };

// The limits, each a command line option; what happens at each is said
// where it is checked and in the README.
struct Limits {
    std::size_t maxPacketLength = ZR_DEFAULT_MAX_PACKET_LEN;  // longer: not a packet, the client finishes
    std::size_t clientInFlight = 64;                          // packets awaiting replies: reading pauses
    std::size_t clientQueueBytes = 256 * 1024;                // replies unsent: reading pauses, grace starts
    std::size_t clientQueueHardBytes = 8 * 1024 * 1024;       // replies unsent: the client is closed
    std::chrono::milliseconds clientGrace{5000};              // over clientQueueBytes this long: closed
    std::size_t backendQueueBytes = 4 * 1024 * 1024;          // unsent to the backend: every client pauses
    std::size_t maxClients = 1024;                            // more (not counting those ended) are closed at once
    std::chrono::milliseconds backoffMin{100};                // first wait before a reconnect
    std::chrono::milliseconds backoffMax{5000};               // the wait doubles up to this
    std::chrono::milliseconds drainTimeout{10000};            // after SIGINT/SIGTERM
    std::chrono::milliseconds replyTimeout{10000};            // a packet unanswered this long: given up
};

struct Options {
    HostPort listen;
    HostPort backend;
    Limits limits;
    LogLevel logLevel = LogLevel::Info;
    unsigned threads = 1;
    HostPort metrics;  // no host: no metrics served
    unsigned thread = 0;  // this relay's, in the log lines when there are several
};

// Replies by the time from their packet's queueing to the backend to their
// arrival, in the buckets of the metrics' histogram.
struct LatencyHistogram {
    static constexpr double kBounds[] = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                         0.05,   0.1,     0.25,   0.5,   1,      2.5,    5,     10};
    static constexpr std::size_t kBuckets = sizeof kBounds / sizeof kBounds[0];

    void add(double seconds) {
        std::size_t i = 0;
        while (i < kBuckets && seconds > kBounds[i]) ++i;
        ++counts[i];
        sum += seconds;
    }
    LatencyHistogram& operator+=(const LatencyHistogram& other) {
        for (std::size_t i = 0; i <= kBuckets; ++i) counts[i] += other.counts[i];
        sum += other.sum;
        return *this;
    }

    std::uint64_t counts[kBuckets + 1] = {};  // the last: over every bound
    double sum = 0;
};

// What the relay has done since it started; printed at exit and on SIGUSR1,
// served by --metrics.
struct Counters {
    std::uint64_t clientsAccepted = 0;
    std::uint64_t clientsRefused = 0;      // over --max-clients
    std::uint64_t clientsNotPackets = 0;   // closed: bytes that are not a packet
    std::uint64_t bytesRefused = 0;        // those bytes
    std::uint64_t clientsSlow = 0;         // closed: replies left unread
    std::uint64_t clientsBackendLost = 0;  // closed: packets in flight when the backend went
    std::uint64_t clientsTimedOut = 0;     // closed: a reply did not come within --reply-timeout
    std::uint64_t packetsIn = 0;           // packets from clients, queued to the backend
    std::uint64_t bytesIn = 0;
    std::uint64_t repliesOut = 0;  // replies queued to their clients
    std::uint64_t bytesOut = 0;
    std::uint64_t repliesUnknown = 0;     // SN of no packet in flight
    std::uint64_t repliesOrphaned = 0;    // for a client that has gone
    std::uint64_t lostInFlight = 0;       // written to a backend that went before replying
    std::uint64_t repliesTimedOut = 0;    // no reply within --reply-timeout
    std::uint64_t unansweredAtExit = 0;   // still without a reply when the relay stopped
    std::uint64_t backendConnects = 0;    // the first connection and every reconnect
    std::uint64_t backendLost = 0;
    std::uint64_t backendSkippedBytes = 0;  // backend bytes that are not a packet
    // Gauges, as they stand when the counters are read.
    std::uint64_t clientsOpen = 0;
    std::uint64_t inFlight = 0;
    LatencyHistogram replyLatency;

    Counters& operator+=(const Counters& other);
    // One line, "counters: name=value ...".
    std::string line() const;
};

// The counters in the Prometheus text format (version 0.0.4).
std::string prometheusText(const Counters& counters);

class Relay {
public:
    Relay(asio::io_context& io, const Options& options);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Binds the listening socket (throws asio::system_error when it cannot),
    // logs the address, and starts accepting and connecting to the backend.
    // Called on the thread that will run the io_context, or before it runs.
    void start();
    // Stops accepting, lets what is in flight be answered, then stops the
    // io_context; a second call, or the drain timeout, stops at once.
    void drain();
    // The counters with the gauges as they stand (on the relay's thread).
    Counters counters() const;
    // Before start: the port to listen on (another thread's relay's).
    void setListenPort(std::uint16_t port) { m_options.listen.port = port; }
    std::uint16_t listeningPort() const;

private:
    struct Client;
    struct Route {
        std::uint64_t client;  // Client::id
        std::uint32_t clientSN;
        std::uint64_t seq;  // order of queueing to the backend
        std::chrono::steady_clock::time_point queued;
    };
    // When a packet in flight is given up, in the order of queueing (every
    // packet has the same timeout): one timer serves them all.
    struct Deadline {
        std::uint32_t sn;
        std::uint64_t seq;  // a later packet under the same SN is not this one
        std::chrono::steady_clock::time_point when;
    };
    using ClientPtr = std::shared_ptr<Client>;
    using Clock = std::chrono::steady_clock;

    void log(LogLevel level, const std::string& line) const;
    void logClient(const Client& client, LogLevel level, const std::string& line) const;

    // Clients.
    void accept();
    void pump(const ClientPtr& client, std::size_t budget = SIZE_MAX);
    bool mayForward(const ClientPtr& client);
    void markEnded(Client& client);
    void startRead(const ClientPtr& client);
    void flushReplies(const ClientPtr& client);
    void startGrace(const ClientPtr& client);
    void stopGrace(Client& client);
    void beginFinish(const ClientPtr& client, LogLevel level, const std::string& why, bool waitInFlight);
    void maybeFinish(const ClientPtr& client);
    void closeClient(const ClientPtr& client, LogLevel level, const std::string& why);
    ClientPtr findClient(std::uint64_t id) const;

    // Routes, deadlines, and the clients waiting for the backend's queue.
    // `now`: read once for a batch of packets.
    void forward(Client& client, const ZrSplitItem& item, Clock::time_point now);
    std::uint32_t takeSN();
    void routeReply(const ZrSplitItem& item, Clock::time_point now);
    bool pending(const Deadline& deadline) const;
    void armDeadline();
    void expireReplies();
    void wait(const ClientPtr& client);
    void resumeWaiting();

    // The backend.
    bool backendFull() const;
    void connectBackend();
    void backendConnected(const asio::ip::tcp::endpoint& endpoint);
    void scheduleReconnect();
    void readBackend();
    void flushBackend();
    void flushBackendSoon();
    void backendFailed(std::uint64_t generation, const asio::error_code& error);

    void checkDrained();
    void stopNow();

    asio::io_context& m_io;
    Options m_options;
    Counters m_counters;
    ZrPacketMeter::Options m_meterOptions;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_acceptRetry;

    std::unordered_map<std::uint64_t, ClientPtr> m_clients;
    std::uint64_t m_nextClientId = 1;
    std::size_t m_clientsEnded = 0;  // of those, the ones that ended their stream: no --max-clients place
    // Clients paused for the backend's queue, each resumed in turn for one
    // packet at a time.
    std::deque<std::uint64_t> m_waiting;
    bool m_resuming = false;
    bool m_resumePosted = false;
    bool m_flushPosted = false;
    std::vector<ClientPtr> m_answered;  // clients given replies by the backend read being routed

    std::unordered_map<std::uint32_t, Route> m_routes;
    std::uint32_t m_nextSN = 1;
    std::deque<Deadline> m_deadlines;
    asio::steady_timer m_deadlineTimer;
    bool m_deadlineArmed = false;

    struct Backend;
    std::unique_ptr<Backend> m_backend;

    bool m_draining = false;
    bool m_stopped = false;
    asio::steady_timer m_drainTimer;
};

class MetricsServer;

// The relays of every thread, the signals and the metrics. SIGINT or
// SIGTERM drains every relay (a second stops them at once); SIGUSR1 prints
// the summed counters, which are printed again at exit.
class RelayGroup {
public:
    explicit RelayGroup(const Options& options);
    ~RelayGroup();
    RelayGroup(const RelayGroup&) = delete;
    RelayGroup& operator=(const RelayGroup&) = delete;

    // Binds every listening socket and the metrics' (throws asio::system_error
    // when one cannot be bound).
    void start();
    // Until every relay has stopped.
    void run();
    Counters counters();

private:
    struct Thread;
    void waitForSignals();
    void waitForUsr1();

    Options m_options;
    asio::io_context m_io;  // signals and metrics, on the calling thread
    asio::signal_set m_stop;
    asio::signal_set m_usr1;
    std::vector<std::unique_ptr<Thread>> m_threads;
    std::unique_ptr<MetricsServer> m_metrics;
};

// One line on standard error: the time (ISO 8601, UTC), "zrrelay: ", the line.
void writeLog(const std::string& line);

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_H

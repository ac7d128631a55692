// zrrelay: a TCP relay that multiplexes many clients over one backend
// connection, routing by the head's serial number and never decoding a body.
//
//   client A ─┐                       ┌─ SN 17 -> (A, its SN 5)
//   client B ─┼─ relay ── backend ──> │  SN 18 -> (B, its SN 5)
//   client C ─┘  (one connection)     └─ ...
//
// The relay is built of the component net: a zrnet::Server in raw mode takes
// the clients (their limits, PROXY headers, bad bytes, sessions), and hands
// over each packet's bytes; a zrnet::Client in raw mode sends each to the
// backend as a request under an SN of its own, and matches the backend's
// reply by that SN and the packet's command; the reply goes back to its
// client under the client's SN. What is left here: the forwarding between
// the two, what ends a client when a packet gets no reply, the log and the
// metrics.
//
// Model: every packet gets exactly one reply carrying its SN and command,
// within --reply-timeout. A packet whose reply does not come in time is
// given up (its client is closed once the replies it is owed are sent), and
// a packet not yet written to the backend by then is never written; a reply
// that matches no packet in flight (late, a second reply) is counted and
// dropped; one for a client that has gone is counted and dropped.
//
// Each Relay runs on one asio::io_context on one thread: no locks. With
// --threads N there are N of them, each with its own backend connection and
// SN space; the RelayGroup owns the one listening socket (a zrnet::Listener)
// and hands each connection to a relay, handles the signals, sums the
// counters and serves them (--metrics).
#ifndef ZRRELAY_RELAY_H
#define ZRRELAY_RELAY_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_port.h"
#include "relay_log.h"
#include "zr_net_places.h"
#include "zr_net_session.h"
#include "zr_stream_splitter.h"

namespace zrrelay {

// The limits, each a command line option; what happens at each is said
// where it is checked and in the README.
struct Limits {
    std::size_t maxPacketLength = ZR_DEFAULT_MAX_PACKET_LEN;  // longer: not a packet, the client finishes
    std::size_t clientInFlight = 64;                          // packets awaiting replies: reading pauses
    std::size_t clientQueueBytes = 256 * 1024;                // replies unsent: reading pauses, grace starts
    std::size_t clientQueueHardBytes = 8 * 1024 * 1024;       // replies unsent: the client is closed
    std::chrono::milliseconds clientGrace{5000};              // over clientQueueBytes this long: closed
    std::chrono::milliseconds clientIdle{300000};             // nothing in flight, sent or taken this long: closed
    std::chrono::milliseconds clientFirst{10000};             // no whole packet this long after connecting: closed
    std::size_t backendQueueBytes = 4 * 1024 * 1024;          // unsent to the backend: every client pauses
    std::size_t maxClients = 1024;                            // per relay thread, not counting those ended
    std::size_t maxClientsPerAddress = 0;                     // over every thread; 0: no limit
    std::chrono::milliseconds backoffMin{100};                // first wait before a reconnect
    std::chrono::milliseconds backoffMax{5000};               // the wait doubles up to this
    std::chrono::milliseconds drainTimeout{10000};            // after SIGINT/SIGTERM
    std::chrono::milliseconds replyTimeout{10000};            // a packet unanswered this long: given up
};

struct Options {
    HostPort listen;
    HostPort backend;
    Limits limits;
    bool acceptProxy = false;  // every connection starts with a PROXY header (v1 or v2)
    LogLevel logLevel = LogLevel::Info;
    LogFormat logFormat = LogFormat::Text;
    unsigned threads = 1;
    HostPort metrics;  // no host: no metrics served
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
// served by --metrics. Each client ends once, under one end code, and adds
// to that code's counter (endedCounter).
struct Counters {
    std::uint64_t clientsAccepted = 0;
    std::uint64_t clientsRefused = 0;         // over --max-clients
    std::uint64_t clientsRefusedAddress = 0;  // over --max-clients-per-address
    std::uint64_t clientsByClient = 0;        // ended: it closed, or its connection failed
    std::uint64_t clientsNotPackets = 0;      // closed: bytes that are not a packet
    std::uint64_t bytesRefused = 0;           // those bytes
    std::uint64_t clientsProxy = 0;           // closed: a malformed or missing PROXY header
    std::uint64_t clientsNoPacket = 0;        // closed: no whole packet within --client-first
    std::uint64_t clientsIdle = 0;            // closed: --client-idle
    std::uint64_t clientsSlow = 0;            // closed: replies left unread
    std::uint64_t clientsBackendLost = 0;     // closed: packets in flight when the backend went
    std::uint64_t clientsTimedOut = 0;        // closed: a reply did not come within --reply-timeout
    std::uint64_t clientsShutdown = 0;        // closed: the relay stopped
    std::uint64_t packetsIn = 0;              // packets from clients, queued to the backend
    std::uint64_t bytesIn = 0;
    std::uint64_t repliesOut = 0;  // replies queued to their clients
    std::uint64_t bytesOut = 0;
    std::uint64_t repliesUnknown = 0;    // SN of no packet in flight, or another command
    std::uint64_t repliesOrphaned = 0;   // for a client that has gone
    std::uint64_t lostInFlight = 0;      // written to a backend that went before replying
    std::uint64_t repliesTimedOut = 0;   // written, no reply within --reply-timeout
    std::uint64_t expiredUnsent = 0;     // not written to the backend within --reply-timeout: never sent
    std::uint64_t unansweredAtExit = 0;  // still without a reply when the relay stopped
    std::uint64_t backendConnects = 0;   // the first connection and every reconnect
    std::uint64_t backendLost = 0;
    std::uint64_t backendSkippedBytes = 0;  // backend bytes that are not a packet
    std::uint64_t clientDeciphered = 0;     // bytes deciphered to frame the clients' streams
    std::uint64_t backendDeciphered = 0;    // and the backend's
    // Gauges, as they stand when the counters are read.
    std::uint64_t clientsOpen = 0;
    std::uint64_t inFlight = 0;
    std::uint64_t backendUp = 0;  // backend connections up (one per relay thread)
    LatencyHistogram replyLatency;

    Counters& operator+=(const Counters& other);
    // The counter a session that ended so, or a connection refused so, adds to.
    static std::uint64_t Counters::*endedCounter(zrnet::EndCode code);
    // name=value, in the order of the counters' list.
    std::vector<LogField> fields() const;
};

// The counters in the Prometheus text format (version 0.0.4).
std::string prometheusText(const Counters& counters);

class MetricsServer;
struct GroupIo;

// The relays of every thread, the listening socket, the signals and the
// metrics. SIGINT or SIGTERM drains every relay (a second stops them at
// once); SIGUSR1 prints the summed counters, which are printed again at exit.
class RelayGroup {
public:
    explicit RelayGroup(const Options& options);
    ~RelayGroup();
    RelayGroup(const RelayGroup&) = delete;
    RelayGroup& operator=(const RelayGroup&) = delete;

    // Binds the listening socket, alone on its port, and the metrics'
    // (throws asio::system_error when one cannot be bound).
    void start();
    // Until every relay has stopped.
    void run();
    Counters counters();
    // Whether a backend connection is up (GET /health).
    bool healthy() const;

private:
    struct Thread;
    void accept();
    Thread& nextThread();
    void waitForSignals();
    void waitForUsr1();
    void logCounters();

    Options m_options;
    Logger m_log;
    std::shared_ptr<zrnet::AddressPlaces> m_places;
    std::vector<std::unique_ptr<Thread>> m_threads;
    std::unique_ptr<GroupIo> m_io;  // the calling thread's: listening, signals, metrics; goes before the threads
    std::size_t m_turn = 0;         // round robin among equals
    std::unique_ptr<MetricsServer> m_metrics;
};

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_H

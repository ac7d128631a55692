// The counters: one list of them drives the SIGUSR1 line, the sum over
// threads and the Prometheus text that --metrics serves.
#include "relay_parts.h"

#include <iomanip>

namespace zrrelay {

namespace {

enum class Kind { Counter, Gauge };

struct CounterField {
    const char* name;
    std::uint64_t Counters::*member;
    Kind kind;
    const char* help;
};

const CounterField kCounterFields[] = {
    {"clients_accepted", &Counters::clientsAccepted, Kind::Counter, "Client connections accepted"},
    {"clients_open", &Counters::clientsOpen, Kind::Gauge, "Client connections open"},
    {"clients_refused", &Counters::clientsRefused, Kind::Counter, "Clients closed on connecting: --max-clients"},
    {"clients_closed_not_packets", &Counters::clientsNotPackets, Kind::Counter,
     "Clients closed for bytes that are not a packet"},
    {"bytes_refused", &Counters::bytesRefused, Kind::Counter, "Client bytes that are not a packet"},
    {"clients_closed_slow", &Counters::clientsSlow, Kind::Counter, "Clients closed for leaving replies unread"},
    {"clients_closed_backend_lost", &Counters::clientsBackendLost, Kind::Counter,
     "Clients closed: packets in flight when the backend connection went"},
    {"clients_closed_timed_out", &Counters::clientsTimedOut, Kind::Counter,
     "Clients closed: a reply did not come within --reply-timeout"},
    {"packets_in", &Counters::packetsIn, Kind::Counter, "Packets from clients queued to the backend"},
    {"bytes_in", &Counters::bytesIn, Kind::Counter, "Bytes of those packets"},
    {"replies_out", &Counters::repliesOut, Kind::Counter, "Replies queued to their clients"},
    {"bytes_out", &Counters::bytesOut, Kind::Counter, "Bytes of those replies"},
    {"in_flight", &Counters::inFlight, Kind::Gauge, "Packets awaiting their reply"},
    {"replies_unknown", &Counters::repliesUnknown, Kind::Counter, "Replies whose SN matches no packet in flight"},
    {"replies_orphaned", &Counters::repliesOrphaned, Kind::Counter, "Replies for a client that has gone"},
    {"replies_timed_out", &Counters::repliesTimedOut, Kind::Counter, "Packets given up after --reply-timeout"},
    {"lost_in_flight", &Counters::lostInFlight, Kind::Counter,
     "Packets written to a backend connection that went before replying"},
    {"unanswered_at_exit", &Counters::unansweredAtExit, Kind::Counter, "Packets unanswered when the relay stopped"},
    {"backend_connects", &Counters::backendConnects, Kind::Counter, "Backend connections made"},
    {"backend_lost", &Counters::backendLost, Kind::Counter, "Backend connections lost"},
    {"backend_skipped_bytes", &Counters::backendSkippedBytes, Kind::Counter,
     "Backend bytes that are not a packet"},
};

}  // namespace

Counters& Counters::operator+=(const Counters& other) {
    for (const CounterField& field : kCounterFields) this->*field.member += other.*field.member;
    replyLatency += other.replyLatency;
    return *this;
}

std::string Counters::line() const {
    std::ostringstream out;
    out << "counters:";
    for (const CounterField& field : kCounterFields) out << ' ' << field.name << '=' << this->*field.member;
    return out.str();
}

// The text format of Prometheus, version 0.0.4: counters end in _total.
std::string prometheusText(const Counters& counters) {
    std::ostringstream out;
    for (const CounterField& field : kCounterFields) {
        const bool counter = field.kind == Kind::Counter;
        const std::string name = std::string("zrrelay_") + field.name + (counter ? "_total" : "");
        out << "# HELP " << name << ' ' << field.help << ".\n"
            << "# TYPE " << name << (counter ? " counter\n" : " gauge\n") << name << ' ' << counters.*field.member
            << '\n';
    }
    const LatencyHistogram& latency = counters.replyLatency;
    const char* const name = "zrrelay_reply_latency_seconds";
    out << "# HELP " << name << " Time from a packet's queueing to the backend to its reply.\n"
        << "# TYPE " << name << " histogram\n";
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i <= LatencyHistogram::kBuckets; ++i) {
        cumulative += latency.counts[i];
        out << name << "_bucket{le=\"";
        if (i < LatencyHistogram::kBuckets) {
            out << LatencyHistogram::kBounds[i];
        } else {
            out << "+Inf";
        }
        out << "\"} " << cumulative << '\n';
    }
    out << name << "_sum " << std::setprecision(9) << latency.sum << '\n' << name << "_count " << cumulative << '\n';
    return out.str();
}

}  // namespace zrrelay

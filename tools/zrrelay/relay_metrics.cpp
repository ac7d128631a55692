// The counters: one list of them drives the SIGUSR1 line, the sum over
// threads and the Prometheus text that --metrics serves over HTTP.
#include <iomanip>

#include "metrics_server.h"
#include "relay.h"
#include "relay_parts.h"
#include "zr_net_server.h"

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
    {"clients_refused_address", &Counters::clientsRefusedAddress, Kind::Counter,
     "Clients closed on connecting: --max-clients-per-address"},
    {"clients_closed_by_client", &Counters::clientsByClient, Kind::Counter,
     "Clients that ended their stream or whose connection failed"},
    {"clients_closed_not_packets", &Counters::clientsNotPackets, Kind::Counter,
     "Clients closed for bytes that are not a packet"},
    {"bytes_refused", &Counters::bytesRefused, Kind::Counter, "Client bytes that are not a packet"},
    {"clients_closed_proxy", &Counters::clientsProxy, Kind::Counter,
     "Clients closed for a malformed or missing PROXY header"},
    {"clients_closed_no_packet", &Counters::clientsNoPacket, Kind::Counter,
     "Clients closed: no whole packet within --client-first"},
    {"clients_closed_idle", &Counters::clientsIdle, Kind::Counter, "Clients closed: idle for --client-idle"},
    {"clients_closed_slow", &Counters::clientsSlow, Kind::Counter, "Clients closed for leaving replies unread"},
    {"clients_closed_backend_lost", &Counters::clientsBackendLost, Kind::Counter,
     "Clients closed: packets in flight when the backend connection went"},
    {"clients_closed_timed_out", &Counters::clientsTimedOut, Kind::Counter,
     "Clients closed: a reply did not come, or its packet was not sent, within --reply-timeout"},
    {"clients_closed_shutdown", &Counters::clientsShutdown, Kind::Counter, "Clients closed as the relay stopped"},
    {"packets_in", &Counters::packetsIn, Kind::Counter, "Packets from clients queued to the backend"},
    {"bytes_in", &Counters::bytesIn, Kind::Counter, "Bytes of those packets"},
    {"replies_out", &Counters::repliesOut, Kind::Counter, "Replies queued to their clients"},
    {"bytes_out", &Counters::bytesOut, Kind::Counter, "Bytes of those replies"},
    {"in_flight", &Counters::inFlight, Kind::Gauge, "Packets awaiting their reply"},
    {"replies_unknown", &Counters::repliesUnknown, Kind::Counter,
     "Replies whose SN matches no packet in flight, or whose command is not their packet's"},
    {"replies_orphaned", &Counters::repliesOrphaned, Kind::Counter, "Replies for a client that has gone"},
    {"replies_timed_out", &Counters::repliesTimedOut, Kind::Counter,
     "Packets sent to the backend and given up after --reply-timeout"},
    {"expired_unsent", &Counters::expiredUnsent, Kind::Counter,
     "Packets given up after --reply-timeout before they were sent to the backend, never sent"},
    {"lost_in_flight", &Counters::lostInFlight, Kind::Counter,
     "Packets written to a backend connection that went before replying"},
    {"unanswered_at_exit", &Counters::unansweredAtExit, Kind::Counter, "Packets unanswered when the relay stopped"},
    {"backend_up", &Counters::backendUp, Kind::Gauge, "Backend connections up, one per relay thread"},
    {"backend_connects", &Counters::backendConnects, Kind::Counter, "Backend connections made"},
    {"backend_lost", &Counters::backendLost, Kind::Counter, "Backend connections lost"},
    {"backend_skipped_bytes", &Counters::backendSkippedBytes, Kind::Counter,
     "Backend bytes that are not a packet, passed over"},
    {"client_deciphered_bytes", &Counters::clientDeciphered, Kind::Counter,
     "Bytes deciphered to find where the clients' enciphered packets end"},
    {"backend_deciphered_bytes", &Counters::backendDeciphered, Kind::Counter,
     "Bytes deciphered to find where the backend's enciphered packets end"},
};

}  // namespace

Counters& Counters::operator+=(const Counters& other) {
    for (const CounterField& field : kCounterFields) this->*field.member += other.*field.member;
    replyLatency += other.replyLatency;
    return *this;
}

std::uint64_t Counters::*Counters::endedCounter(zrnet::EndCode code) {
    static std::uint64_t Counters::*const kByCode[zrnet::kEndCodes] = {
        &Counters::clientsByClient, &Counters::clientsNotPackets,  &Counters::clientsProxy,
        &Counters::clientsNoPacket, &Counters::clientsIdle,        &Counters::clientsTimedOut,
        &Counters::clientsBackendLost, &Counters::clientsSlow,     &Counters::clientsShutdown,
        &Counters::clientsRefused,  &Counters::clientsRefusedAddress,
    };
    return kByCode[static_cast<std::size_t>(code)];
}

std::vector<LogField> Counters::fields() const {
    std::vector<LogField> out;
    for (const CounterField& field : kCounterFields) out.push_back(zrnet::numberField(field.name, this->*field.member));
    return out;
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

// --- the HTTP endpoint ------------------------------------------------------------

namespace {

constexpr std::size_t kMaxRequest = 8192;                   // a request's head; longer: closed
constexpr std::chrono::milliseconds kRequestTimeout{5000};  // to send it and take the answer
constexpr char kUsage[] = "GET /metrics or /health\n";

std::string httpResponse(const char* status, const char* contentType, const std::string& body) {
    return text("HTTP/1.1 ", status, "\r\nContent-Type: ", contentType, "\r\nContent-Length: ", body.size(),
                "\r\nConnection: close\r\n\r\n", body);
}

}  // namespace

struct MetricsServer::Session {
    explicit Session(asio::ip::tcp::socket s) : socket(std::move(s)), timer(socket.get_executor()) {}

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    asio::streambuf request{kMaxRequest};
    std::string response;
};

MetricsServer::MetricsServer(asio::io_context& io, const Logger& log, std::function<std::string()> metrics,
                             std::function<bool()> healthy)
    : m_io(io),
      m_log(log),
      m_acceptor(io),
      m_acceptRetry(io),
      m_metrics(std::move(metrics)),
      m_healthy(std::move(healthy)) {}

void MetricsServer::start(const HostPort& address) {
    asio::ip::tcp::resolver resolver(m_io);
    const asio::ip::tcp::endpoint endpoint =
        resolver.resolve(address.host, std::to_string(address.port), asio::ip::tcp::resolver::passive)
            .begin()
            ->endpoint();
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_log.line(LogLevel::Info, text("metrics on http://", zrnet::endpointText(m_acceptor.local_endpoint()), "/metrics"));
    accept();
}

void MetricsServer::accept() {
    m_acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (error) {
            m_acceptRetry.expires_after(zrnet::kAcceptRetry);
            m_acceptRetry.async_wait([this](const asio::error_code& e) {
                if (!e) accept();
            });
            return;
        }
        {
            auto session = std::make_shared<Session>(std::move(socket));
            session->timer.expires_after(kRequestTimeout);
            session->timer.async_wait([session](const asio::error_code& e) {
                asio::error_code ignored;
                if (!e) session->socket.close(ignored);
            });
            asio::async_read_until(session->socket, session->request, "\r\n\r\n",
                                   [this, session](const asio::error_code& e, std::size_t) {
                                       if (!e) answer(session);
                                   });
        }
        accept();
    });
}

void MetricsServer::answer(const std::shared_ptr<Session>& session) {
    std::istream in(&session->request);
    std::string method, target;
    in >> method >> target;
    if (method != "GET" && method != "HEAD") {
        session->response = httpResponse("405 Method Not Allowed", "text/plain", kUsage);
    } else if (target == "/metrics") {
        session->response = httpResponse("200 OK", "text/plain; version=0.0.4; charset=utf-8", m_metrics());
    } else if (target == "/health") {
        session->response = m_healthy() ? httpResponse("200 OK", "text/plain", "backend up\n")
                                        : httpResponse("503 Service Unavailable", "text/plain", "backend down\n");
    } else {
        session->response = httpResponse("404 Not Found", "text/plain", kUsage);
    }
    if (method == "HEAD") session->response.resize(session->response.find("\r\n\r\n") + 4);
    asio::async_write(session->socket, asio::buffer(session->response),
                      [session](const asio::error_code&, std::size_t) {
                          asio::error_code ignored;
                          session->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
                          session->socket.close(ignored);
                          session->timer.cancel();
                      });
}

}  // namespace zrrelay

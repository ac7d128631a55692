// The relay's life: starting, signals, its counters, and stopping.
#include "relay_parts.h"

#include <cstdio>

namespace zrrelay {

Relay::Relay(asio::io_context& io, const Options& options)
    : m_io(io),
      m_options(options),
      m_acceptor(io),
      m_acceptRetry(io),
      m_signals(io, SIGINT, SIGTERM),
      m_usr1(io, SIGUSR1),
      m_drainTimer(io) {
    ZrPacketMeter::Options meter;
    meter.maxPacketLength = options.limits.maxPacketLength;
    m_meterOptions = meter;
    m_backend = std::make_unique<Backend>(io, meter);
}

Relay::~Relay() = default;

void Relay::log(LogLevel level, const std::string& line) const {
    if (level > m_options.logLevel) return;
    const std::string out = text("zrrelay: ", kLevelNames[static_cast<int>(level)], ": ", line, "\n");
    std::fwrite(out.data(), 1, out.size(), stderr);
}

void Relay::logClient(const Client& client, LogLevel level, const std::string& line) const {
    log(level, text("client ", client.id, " (", client.peer, "): ", line));
}

std::uint16_t Relay::listeningPort() const {
    asio::error_code ignored;
    return m_acceptor.local_endpoint(ignored).port();
}

void Relay::start() {
    asio::ip::tcp::resolver resolver(m_io);
    const asio::ip::tcp::endpoint endpoint =
        resolver
            .resolve(m_options.listen.host, std::to_string(m_options.listen.port),
                     asio::ip::tcp::resolver::passive)
            .begin()
            ->endpoint();
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    log(LogLevel::Info, text("listening on ", endpointText(m_acceptor.local_endpoint()), ", backend ",
                             m_options.backend.text()));
    waitForStop();
    waitForUsr1();
    accept();
    connectBackend();
}

void Relay::waitForStop() {
    m_signals.async_wait([this](const asio::error_code& error, int signal) {
        if (error || m_stopped) return;
        log(LogLevel::Info, text(signal == SIGINT ? "SIGINT" : "SIGTERM", " received"));
        drain();
        waitForStop();
    });
}

void Relay::waitForUsr1() {
    m_usr1.async_wait([this](const asio::error_code& error, int) {
        if (error || m_stopped) return;
        printCounters();
        waitForUsr1();
    });
}

void Relay::printCounters() const {
    const std::string line = "zrrelay: " + countersLine() + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string Relay::countersLine() const {
    const Counters& c = m_counters;
    return text("counters: clients_accepted=", c.clientsAccepted, " clients_open=", m_clients.size(),
                " clients_refused=", c.clientsRefused, " clients_closed_not_packets=", c.clientsNotPackets,
                " bytes_refused=", c.bytesRefused,
                " clients_closed_slow=", c.clientsSlow, " clients_closed_backend_lost=", c.clientsBackendLost,
                " packets_in=", c.packetsIn, " bytes_in=", c.bytesIn, " replies_out=", c.repliesOut,
                " bytes_out=", c.bytesOut, " in_flight=", m_routes.size(), " replies_unknown=", c.repliesUnknown,
                " replies_orphaned=", c.repliesOrphaned, " lost_in_flight=", c.lostInFlight,
                " unanswered_at_exit=", c.unansweredAtExit, " backend_connects=", c.backendConnects,
                " backend_lost=", c.backendLost, " backend_skipped_bytes=", c.backendSkippedBytes);
}

void Relay::drain() {
    if (m_stopped) return;
    if (m_draining) {
        log(LogLevel::Warn, "stopping now, without waiting for the packets in flight");
        stopNow();
        return;
    }
    m_draining = true;
    asio::error_code ignored;
    m_acceptor.close(ignored);
    m_acceptRetry.cancel();
    log(LogLevel::Info, text("draining: ", m_clients.size(), " clients, ", m_routes.size(),
                             " packets in flight, at most ", m_options.limits.drainTimeout.count(), " ms"));
    std::vector<ClientPtr> clients;
    for (const auto& entry : m_clients) clients.push_back(entry.second);
    for (const ClientPtr& client : clients) beginFinish(client, LogLevel::Debug, "closed: the relay is stopping", true);
    m_drainTimer.expires_after(m_options.limits.drainTimeout);
    m_drainTimer.async_wait([this](const asio::error_code& error) {
        if (error || m_stopped) return;
        log(LogLevel::Warn, text("drain timeout: ", m_clients.size(), " clients still open, ", m_routes.size(),
                                 " packets unanswered"));
        stopNow();
    });
    checkDrained();
}

void Relay::checkDrained() {
    if (m_draining && !m_stopped && m_clients.empty()) {
        asio::post(m_io, [this] { stopNow(); });
    }
}

void Relay::stopNow() {
    if (m_stopped) return;
    m_stopped = true;
    m_counters.unansweredAtExit = m_routes.size();
    asio::error_code ignored;
    m_acceptor.close(ignored);
    for (const auto& entry : m_clients) entry.second->socket.close(ignored);
    m_backend->socket.close(ignored);
    m_io.stop();
}

}  // namespace zrrelay

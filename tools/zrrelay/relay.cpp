// The relay's life: starting, its counters, and stopping.
#include "relay_parts.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace zrrelay {

std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char out[32];
    const std::size_t n = std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(out + n, sizeof out - n, ".%03dZ", static_cast<int>(ms));
    return out;
}

void writeLog(const std::string& line) {
    const std::string out = utcNow() + " zrrelay: " + line + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
}

Relay::Relay(asio::io_context& io, const Options& options)
    : m_io(io),
      m_options(options),
      m_acceptor(io),
      m_acceptRetry(io),
      m_deadlineTimer(io),
      m_drainTimer(io) {
    ZrPacketMeter::Options meter;
    meter.maxPacketLength = options.limits.maxPacketLength;
    m_meterOptions = meter;
    m_backend = std::make_unique<Backend>(io, meter);
}

Relay::~Relay() = default;

void Relay::log(LogLevel level, const std::string& line) const {
    if (level > m_options.logLevel) return;
    if (m_options.threads > 1) {
        writeLog(text(kLevelNames[static_cast<int>(level)], ": thread ", m_options.thread, ": ", line));
    } else {
        writeLog(text(kLevelNames[static_cast<int>(level)], ": ", line));
    }
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
    if (m_options.threads > 1) {  // every thread's relay listens on the port
        const int one = 1;
        if (setsockopt(m_acceptor.native_handle(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0) {
            throw asio::system_error(asio::error_code(errno, asio::system_category()), "SO_REUSEPORT");
        }
    }
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    log(m_options.thread == 0 ? LogLevel::Info : LogLevel::Debug,
        text("listening on ", endpointText(m_acceptor.local_endpoint()), ", backend ", m_options.backend.text()));
    accept();
    connectBackend();
}

Counters Relay::counters() const {
    Counters c = m_counters;
    c.clientsOpen = m_clients.size();
    c.inFlight = m_routes.size();
    return c;
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

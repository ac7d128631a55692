// A relay's life: its clients coming and going, and stopping.
#include "relay_core.h"
#include "relay_parts.h"

namespace zrrelay {

namespace {

ZrPacketMeter::Options meterOptions(const Limits& limits) {
    ZrPacketMeter::Options meter;
    meter.maxPacketLength = limits.maxPacketLength;
    return meter;
}

}  // namespace

Relay::Relay(asio::io_context& io, const Options& options, int thread, AddressPlaces& places)
    : m_io(io),
      m_options(options),
      m_log(options.logLevel, options.logFormat, thread),
      m_places(places),
      m_clientSettings{options.limits, meterOptions(options.limits), options.acceptProxy, m_log, m_counters},
      m_backend(io, options, *this, m_counters, m_log),
      m_deadlineTimer(io),
      m_drainTimer(io) {}

Relay::~Relay() = default;

void Relay::start() { m_backend.start(); }

void Relay::adopt(asio::ip::tcp::socket socket) {
    asio::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error || m_draining || m_stopped) return;  // gone already, or too late: the socket closes here
    const std::string who = endpointText(peer);
    // A client that has ended its stream holds no place: what it still
    // waits for is bounded by the reply deadline.
    if (m_clients.size() - m_clientsEnded >= m_options.limits.maxClients) {
        ++m_counters.clientsRefused;
        if (worthLogging(m_counters.clientsRefused)) {
            m_log.line(LogLevel::Warn, text("refused ", who, ": ", m_clients.size() - m_clientsEnded,
                                            " clients already (--max-clients)"));
        }
        return;
    }
    std::optional<AddressPlaces::Place> place;
    if (!m_options.acceptProxy) {  // else the address is the header's
        place = placeFor(who, peer.address());
        if (!place) return;
    }
    socket.set_option(asio::ip::tcp::no_delay(true), error);
    auto client = std::make_shared<ClientConnection>(static_cast<ClientHost&>(*this), m_clientSettings,
                                                     std::move(socket), m_nextClientId++, peer, std::move(place));
    m_clients.emplace(client->id(), client);
    m_clientCount.store(m_clients.size(), std::memory_order_relaxed);
    ++m_counters.clientsAccepted;
    if (m_log.enabled(LogLevel::Debug))
        m_log.line(LogLevel::Debug, text("client ", client->id(), " (", who, "): connected"));
    client->start();
}

std::optional<AddressPlaces::Place> Relay::admit(ClientConnection& client, const asio::ip::address& address) {
    return placeFor(client.peer(), address);
}

std::optional<AddressPlaces::Place> Relay::placeFor(const std::string& who, const asio::ip::address& address) {
    std::optional<AddressPlaces::Place> place = m_places.take(address);
    if (!place) {
        ++m_counters.clientsRefusedAddress;
        if (worthLogging(m_counters.clientsRefusedAddress)) {
            m_log.line(LogLevel::Warn, text("refused ", who, ": ", m_options.limits.maxClientsPerAddress,
                                            " clients of its address already (--max-clients-per-address)"));
        }
    }
    return place;
}

void Relay::inputEnded(ClientConnection&) { ++m_clientsEnded; }

void Relay::closed(ClientConnection& client) {
    if (client.inputEnded()) --m_clientsEnded;
    m_clients.erase(client.id());
    m_clientCount.store(m_clients.size(), std::memory_order_relaxed);
    checkDrained();
}

Relay::ClientPtr Relay::findClient(std::uint64_t id) const {
    const auto it = m_clients.find(id);
    return it == m_clients.end() ? nullptr : it->second;
}

Counters Relay::counters() const {
    Counters c = m_counters;
    c.clientsOpen = m_clients.size();
    c.inFlight = m_routes.size();
    c.backendUp = m_backend.up() ? 1 : 0;
    return c;
}

void Relay::drain() {
    if (m_stopped) return;
    if (m_draining) {
        m_log.line(LogLevel::Warn, "stopping now, without waiting for the packets in flight");
        stopNow();
        return;
    }
    m_draining = true;
    m_log.line(LogLevel::Info, text("draining: ", m_clients.size(), " clients, ", m_routes.size(),
                                    " packets in flight, at most ", m_options.limits.drainTimeout.count(), " ms"));
    std::vector<ClientPtr> clients;
    for (const auto& entry : m_clients) clients.push_back(entry.second);
    for (const ClientPtr& client : clients)
        client->finish(EndCode::Shutdown, LogLevel::Info, "the relay is stopping", true);
    m_drainTimer.expires_after(m_options.limits.drainTimeout);
    m_drainTimer.async_wait([this](const asio::error_code& error) {
        if (error || m_stopped) return;
        m_log.line(LogLevel::Warn, text("drain timeout: ", m_clients.size(), " clients still open, ", m_routes.size(),
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
    std::vector<ClientPtr> clients;
    for (const auto& entry : m_clients) clients.push_back(entry.second);
    for (const ClientPtr& client : clients) client->close(EndCode::Shutdown, LogLevel::Info, "the relay stopped");
    m_backend.stop();
    m_deadlineTimer.cancel();
    m_drainTimer.cancel();
    m_io.stop();
}

}  // namespace zrrelay

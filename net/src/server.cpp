// zrnet::Server: its connections coming and going, its handlers, draining;
// the Responder's and the Listener's members.
#include "server_core.h"

namespace zrnet {
namespace detail {

ServerCore::ServerCore(asio::io_context& io, ServerOptions options, std::shared_ptr<AddressPlaces> places)
    : m_io(io),
      m_options(std::move(options)),
      m_places(places ? std::move(places) : std::make_shared<AddressPlaces>(m_options.maxClientsPerAddress)),
      m_drainTimer(io) {}

void ServerCore::adopt(asio::ip::tcp::socket socket) {
    asio::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error || m_state != State::Serving) return;  // gone already, or too late: the socket closes here
    // A client that has ended its stream holds no place: what it still
    // waits for is bounded by its handlers.
    const std::size_t holding = m_peers.size() - m_ended;
    if (holding >= m_options.maxClients) {
        refuse(peer, EndCode::RefusedFull, std::to_string(holding) + " clients already");
        return;
    }
    std::optional<AddressPlaces::Place> place;
    if (!m_options.acceptProxy) {  // else the address is the header's
        place = m_places->take(peer.address());
        if (!place) {
            refuse(peer, EndCode::RefusedAddress, std::to_string(m_places->limit()) + " clients of its address already");
            return;
        }
    }
    const std::uint64_t id = m_nextId++;
    auto connection = std::make_shared<Peer>(shared_from_this(), id, peer, std::move(place));
    m_peers.emplace(id, connection);
    m_count.store(m_peers.size(), std::memory_order_relaxed);
    ++m_counters.accepted;
    connection->start(std::move(socket));
}

void ServerCore::refuse(const asio::ip::tcp::endpoint& peer, EndCode code, std::string reason) {
    ++m_counters.ended[static_cast<std::size_t>(code)];
    Session session;
    session.client = endpointText(peer);
    session.start = Clock::now();
    session.end = code;
    session.reason = std::move(reason);
    tell(session);
}

void ServerCore::tell(const Session& session) {
    if (onSession) callHandler([&] { onSession(session); });
}

const char* ServerCore::dispatch(const ZrSplitItem& request, Responder&& responder) {
    if (!handlers.empty()) {
        const auto it =
            handlers.find(ZrCPacketHead::fastGetCmdID(request.chars(), static_cast<unsigned int>(request.length)));
        if (it != handlers.end()) {
            const char* error = nullptr;
            callHandler([&] { error = it->second->call(request, std::move(responder)); });
            if (error != nullptr) ++m_counters.undecoded;
            return error;
        }
    }
    if (raw) {
        callHandler([&] { raw(request, std::move(responder)); });
    } else {
        ++m_counters.unhandled;  // the responder goes unanswered
    }
    return nullptr;
}

void ServerCore::ended(Peer&, const Session& session, bool inputEnded) {
    if (inputEnded) --m_ended;
    ++m_counters.ended[static_cast<std::size_t>(session.end)];
    tell(session);
    m_peers.erase(session.id);
    m_count.store(m_peers.size(), std::memory_order_relaxed);
    checkDrained();
}

void ServerCore::drain(std::chrono::milliseconds timeout, std::unique_ptr<WaitOp> op) {
    const auto complete = [this](std::unique_ptr<WaitOp> o, std::error_code error) {
        asio::post(m_io, [o = std::move(o), error] { o->complete(error); });
    };
    if (m_state == State::Closed) return complete(std::move(op), asio::error::operation_aborted);
    if (m_drained) return complete(std::move(op), asio::error::already_started);
    m_state = State::Draining;
    m_drained = std::move(op);
    if (listener) listener->close();
    std::vector<std::shared_ptr<Peer>> peers;
    for (const auto& entry : m_peers) peers.push_back(entry.second);
    for (const auto& peer : peers) peer->finish(EndCode::Shutdown, "the server is stopping", true);
    m_drainTimer.expires_after(timeout);
    m_drainTimer.async_wait([weak = weak_from_this()](const asio::error_code& error) {
        const auto core = weak.lock();
        if (!core || error || !core->m_drained) return;
        auto o = std::move(core->m_drained);
        core->close();
        asio::post(core->m_io, [o = std::move(o)] { o->complete(asio::error::timed_out); });
    });
    checkDrained();
}

void ServerCore::checkDrained() {
    if (m_state != State::Draining || !m_peers.empty() || !m_drained) return;
    m_drainTimer.cancel();
    asio::post(m_io, [o = std::move(m_drained)] { o->complete(std::error_code()); });
}

void ServerCore::close() {
    if (m_state == State::Closed) return;
    m_state = State::Closed;
    if (listener) listener->close();
    m_drainTimer.cancel();
    std::vector<std::shared_ptr<Peer>> peers;
    for (const auto& entry : m_peers) peers.push_back(entry.second);
    for (const auto& peer : peers) peer->close(EndCode::Shutdown, "the server stopped");
    if (m_drained) asio::post(m_io, [o = std::move(m_drained)] { o->complete(asio::error::operation_aborted); });
}

}  // namespace detail

// --- Responder ---------------------------------------------------------------

Responder& Responder::operator=(Responder&& other) noexcept {
    if (this != &other) {
        Responder gone(std::move(*this));
        m_peer = std::move(other.m_peer);
        m_seq = other.m_seq;
        m_sn = other.m_sn;
    }
    return *this;
}

void Responder::release() {
    const detail::IoExecutor executor = m_peer->executor();
    if (executor.running_in_this_thread()) {
        m_peer->unanswered(m_seq);
    } else {
        asio::post(executor, [peer = std::move(m_peer), seq = m_seq] { peer->unanswered(seq); });
    }
}

std::size_t Responder::maxReplyLength() const { return m_peer->maxPacketLength(); }
std::uint64_t Responder::session() const { return m_peer ? m_peer->id() : 0; }

bool Responder::replyRaw(const void* bytes, std::size_t length) {
    if (!m_peer || !packetShaped(static_cast<const char*>(bytes), length, maxReplyLength())) return false;
    send(static_cast<const char*>(bytes), length);
    return true;
}

void Responder::send(const char* bytes, std::size_t length) {
    const std::shared_ptr<detail::Peer> peer = std::move(m_peer);
    if (peer->executor().running_in_this_thread()) {
        peer->reply(m_seq, m_sn, bytes, length);
    } else {
        asio::post(peer->executor(), [peer, seq = m_seq, sn = m_sn, copy = std::vector<char>(bytes, bytes + length)] {
            peer->reply(seq, sn, copy.data(), copy.size());
        });
    }
}

void Responder::giveUp(Unanswered why, std::string reason) {
    if (!m_peer) return;
    const std::shared_ptr<detail::Peer> peer = std::move(m_peer);
    if (peer->executor().running_in_this_thread()) {
        peer->giveUp(m_seq, why, std::move(reason));
    } else {
        asio::post(peer->executor(), [peer, seq = m_seq, why, reason = std::move(reason)]() mutable {
            peer->giveUp(seq, why, std::move(reason));
        });
    }
}

void Resume::operator()() const {
    if (const std::shared_ptr<detail::Peer> peer = m_peer.lock()) peer->takeTurn();
}

// --- Server ------------------------------------------------------------------

Server::Server(asio::io_context& io, ServerOptions options, std::shared_ptr<AddressPlaces> places)
    : m_core(std::make_shared<detail::ServerCore>(io, std::move(options), std::move(places))) {}

Server::~Server() { close(); }

Server::executor_type Server::get_executor() const noexcept { return m_core->executor(); }
const ServerOptions& Server::options() const { return m_core->options(); }
void Server::onRaw(RawHandler handler) { m_core->raw = std::move(handler); }
void Server::setGate(Gate gate) { m_core->gate = std::move(gate); }
void Server::onSession(std::function<void(const Session&)> handler) { m_core->onSession = std::move(handler); }
void Server::addHandler(unsigned int command, std::unique_ptr<detail::Dispatch> dispatch) {
    m_core->handlers[command] = std::move(dispatch);
}

asio::ip::tcp::endpoint Server::listen(const std::string& host, std::uint16_t port) {
    m_core->listener = std::make_unique<Listener>(m_core->executor().context(), host, port);
    m_core->listener->start([this]() -> Server& { return *this; });
    return m_core->listener->localEndpoint();
}

void Server::adopt(asio::ip::tcp::socket socket) {
    asio::dispatch(m_core->executor(),
                   [core = m_core, s = std::move(socket)]() mutable { core->adopt(std::move(s)); });
}

void Server::drain(std::chrono::milliseconds timeout, std::unique_ptr<detail::WaitOp> op) {
    m_core->drain(timeout, std::move(op));
}

void Server::close() { m_core->close(); }
std::size_t Server::connectionCount() const { return m_core->connectionCount(); }
const ServerCounters& Server::counters() const { return m_core->counters(); }

// --- Listener ----------------------------------------------------------------

struct Listener::State {
    explicit State(asio::io_context& io) : acceptor(io), retry(io) {}

    void accept(const std::shared_ptr<State>& self) {
        Server& target = choose();
        acceptor.async_accept(target.get_executor(), [self, &target](const asio::error_code& error,
                                                                     asio::ip::tcp::socket socket) {
            if (self->closed || error == asio::error::operation_aborted) return;
            if (error) {
                if (self->failed) self->failed(error);
                self->retry.expires_after(kAcceptRetry);
                self->retry.async_wait([self](const asio::error_code& e) {
                    if (!e && !self->closed) self->accept(self);
                });
                return;
            }
            target.adopt(std::move(socket));
            self->accept(self);
        });
    }

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;
    std::function<Server&()> choose;
    std::function<void(const std::error_code&)> failed;
    bool closed = false;
};

Listener::Listener(asio::io_context& io, const std::string& host, std::uint16_t port)
    : m_state(std::make_shared<State>(io)) {
    asio::ip::tcp::resolver resolver(io);
    const asio::ip::tcp::endpoint endpoint =
        resolver.resolve(host, std::to_string(port), asio::ip::tcp::resolver::passive).begin()->endpoint();
    asio::ip::tcp::acceptor& acceptor = m_state->acceptor;
    acceptor.open(endpoint.protocol());
    // Lets a restarted server bind while its old connections linger; on
    // Linux it never lets two sockets listen on one port.
    acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen();
}

Listener::~Listener() { close(); }

asio::ip::tcp::endpoint Listener::localEndpoint() const { return m_state->acceptor.local_endpoint(); }

void Listener::start(std::function<Server&()> choose, std::function<void(const std::error_code&)> failed) {
    m_state->choose = std::move(choose);
    m_state->failed = std::move(failed);
    m_state->accept(m_state);
}

void Listener::close() {
    m_state->closed = true;
    asio::error_code ignored;
    m_state->acceptor.close(ignored);
    m_state->retry.cancel();
}

}  // namespace zrnet

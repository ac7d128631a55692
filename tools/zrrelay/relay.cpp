// The relay's event handlers. A client goes through these states:
//   reading    its packets are split and forwarded; reading pauses while
//              one of its limits, or the backend's, is reached (pump)
//   finishing  no more packets are taken from it (it ended its stream, the
//              relay is stopping, or the backend lost some of its packets);
//              what it sends is read and dropped
//   closing    every reply it is owed has been written; the relay has shut
//              its sending side and waits for the client's end (bounded by
//              the grace time), so that no reply is lost to a reset
// and is closed at once when it sends bytes that are not a packet, leaves
// its replies unread too long, or its connection fails.
#include "relay.h"

#include <cstdio>
#include <sstream>
#include <utility>

namespace zrrelay {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::chrono::milliseconds kAcceptRetry{100};  // after a failed accept (EMFILE and the like)
// A write buffer that grew past this for a burst is given back once written.
constexpr std::size_t kKeptBufferCapacity = 1024 * 1024;

const char* const kLevelNames[] = {"error", "warn", "info", "debug"};

template <class... Args>
std::string text(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

std::string endpointText(const asio::ip::tcp::endpoint& endpoint) {
    const asio::ip::address address = endpoint.address();
    return HostPort{address.to_string(), endpoint.port()}.text();
}

// Repeated events are logged the first ten times, then every thousandth.
bool worthLogging(std::uint64_t count) { return count <= 10 || count % 1000 == 0; }

}  // namespace

struct Relay::Client {
    Client(asio::io_context& io, asio::ip::tcp::socket s, std::uint64_t clientId,
           const ZrPacketMeter::Options& meter)
        : id(clientId), socket(std::move(s)), splitter(meter), grace(io) {}

    std::size_t queued() const { return replies.size() + writing.size(); }

    std::uint64_t id;
    asio::ip::tcp::socket socket;
    std::string peer;
    ZrStreamSplitter splitter;
    std::vector<unsigned char> readBuffer = std::vector<unsigned char>(kReadChunk);
    bool reading = false;    // a read is outstanding
    bool haveItems = false;  // the splitter may still hold packets of the last read
    bool eof = false;        // the client has sent its last byte
    bool waiting = false;    // in m_waiting
    bool open = true;
    bool finishing = false;
    bool waitInFlight = false;  // finishing: close only once every packet in flight is answered
    bool closing = false;
    LogLevel finishLevel = LogLevel::Debug;
    std::string finishWhy;
    std::size_t inFlight = 0;
    std::vector<char> replies, writing;  // replies queued; replies being written
    bool writeOutstanding = false;
    asio::steady_timer grace;
    std::uint64_t graceRound = 0;  // a grace timer's handler acts only if no later start or cancel came
};

struct Relay::Backend {
    Backend(asio::io_context& io, const ZrPacketMeter::Options& meter)
        : socket(io), resolver(io), retry(io), meterOptions(meter) {}

    std::size_t queued() const { return queue.size() + writing.size(); }

    asio::ip::tcp::socket socket;
    asio::ip::tcp::resolver resolver;
    asio::steady_timer retry;
    ZrPacketMeter::Options meterOptions;
    std::unique_ptr<ZrStreamSplitter> splitter;  // new for each connection
    std::vector<unsigned char> readBuffer = std::vector<unsigned char>(kReadChunk);
    std::vector<char> queue, writing;  // packets queued; packets being written
    bool writeOutstanding = false;
    bool connected = false;
    std::uint64_t generation = 0;  // handlers of an earlier connection do nothing
    std::uint64_t lastSeq = 0;     // of the last packet queued
    std::uint64_t writtenSeq = 0;  // packets up to this one have been handed to a connection
    std::chrono::milliseconds backoff{0};
};

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

// --- clients -------------------------------------------------------------------

void Relay::accept() {
    m_acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (m_draining || m_stopped) return;
        if (error) {
            log(LogLevel::Warn, text("accept failed: ", error.message()));
            m_acceptRetry.expires_after(kAcceptRetry);
            m_acceptRetry.async_wait([this](const asio::error_code& e) {
                if (!e && !m_draining && !m_stopped) accept();
            });
            return;
        }
        asio::error_code ignored;
        const asio::ip::tcp::endpoint peer = socket.remote_endpoint(ignored);
        if (m_clients.size() >= m_options.limits.maxClients) {
            ++m_counters.clientsRefused;
            if (worthLogging(m_counters.clientsRefused)) {
                log(LogLevel::Warn, text("refused ", endpointText(peer), ": ", m_clients.size(),
                                         " clients already (--max-clients)"));
            }
            socket.close(ignored);
        } else {
            socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            auto client = std::make_shared<Client>(m_io, std::move(socket), m_nextClientId++, m_meterOptions);
            client->peer = endpointText(peer);
            m_clients.emplace(client->id, client);
            ++m_counters.clientsAccepted;
            logClient(*client, LogLevel::Debug, "connected");
            pump(client);
        }
        accept();
    });
}

// Forwards the packets already read while the limits allow, then reads more.
void Relay::pump(const ClientPtr& client) {
    Client& c = *client;
    if (!c.open || c.finishing || c.reading) return;
    bool forwarded = false;
    ZrSplitItem item;
    while (c.haveItems && mayForward(client)) {
        if (!c.splitter.next(item)) {
            c.haveItems = false;
            break;
        }
        if (item.isPacket()) {
            forward(c, item);
            forwarded = true;
        } else if (item.reason != nullptr && item.reason->fault == ZrFrameFault::StreamEnd) {
            logClient(c, LogLevel::Info,
                      text("its stream ended inside a packet: ", item.length, " bytes from offset ", item.offset,
                           " dropped"));
        } else {
            ++m_counters.clientsNotPackets;
            m_counters.bytesRefused += item.length;
            closeClient(client, LogLevel::Warn,
                        text("closed: ", item.length, " bytes at offset ", item.offset, " are not a packet: ",
                             item.why()));
            break;
        }
    }
    if (forwarded) flushBackend();
    if (!c.open || c.haveItems) return;  // closed, or paused at a limit
    if (c.eof) {
        beginFinish(client, LogLevel::Debug, "closed: it ended its stream", true);
    } else {
        startRead(client);
    }
}

// Whether the client may forward one more packet now. Whatever stops it
// calls pump again when it clears: a reply, a write to the client, or the
// backend's queue going down (m_waiting).
bool Relay::mayForward(const ClientPtr& client) {
    const Limits& limits = m_options.limits;
    if (client->inFlight >= limits.clientInFlight || client->queued() >= limits.clientQueueBytes) return false;
    if (backendFull()) {
        if (!client->waiting) {
            client->waiting = true;
            m_waiting.push_back(client->id);
        }
        return false;
    }
    return true;
}

void Relay::startRead(const ClientPtr& client) {
    client->reading = true;
    client->socket.async_read_some(asio::buffer(client->readBuffer), [this, client](const asio::error_code& error,
                                                                                    std::size_t n) {
        Client& c = *client;
        c.reading = false;
        if (!c.open) return;
        if (error && error != asio::error::eof) {
            closeClient(client, LogLevel::Debug, text("closed: read failed: ", error.message()));
            return;
        }
        if (c.finishing) {  // nothing more is forwarded: read to the end and drop
            if (!error) {
                startRead(client);
            } else {
                c.eof = true;
                if (c.closing) {
                    closeClient(client, LogLevel::Debug, std::string());
                } else {
                    maybeFinish(client);
                }
            }
            return;
        }
        if (error) {
            c.eof = true;
            c.splitter.finish();
        } else {
            c.splitter.feed(c.readBuffer.data(), n);
        }
        c.haveItems = true;
        pump(client);
    });
}

// Copies the packet into the backend's queue and stamps the copy with the
// relay's own SN.
void Relay::forward(Client& client, const ZrSplitItem& item) {
    const std::uint32_t sn = takeSN();
    std::vector<char>& queue = m_backend->queue;
    const std::size_t at = queue.size();
    queue.insert(queue.end(), item.chars(), item.chars() + item.length);
    char* packet = queue.data() + at;
    const auto length = static_cast<unsigned int>(item.length);
    const std::uint32_t clientSN = ZrCPacketHead::fastGetSN(packet, length);
    ZrCPacketHead::fastSetSN(packet, length, sn);
    m_routes.emplace(sn, Route{client.id, clientSN, ++m_backend->lastSeq});
    ++client.inFlight;
    ++m_counters.packetsIn;
    m_counters.bytesIn += item.length;
}

// The next SN that no packet in flight carries.
std::uint32_t Relay::takeSN() {
    for (;;) {
        const std::uint32_t sn = m_nextSN++;
        if (m_routes.find(sn) == m_routes.end()) return sn;
    }
}

void Relay::flushReplies(const ClientPtr& client) {
    Client& c = *client;
    if (!c.open || c.writeOutstanding || c.replies.empty()) return;
    std::swap(c.replies, c.writing);
    c.writeOutstanding = true;
    asio::async_write(c.socket, asio::buffer(c.writing), [this, client](const asio::error_code& error, std::size_t) {
        Client& w = *client;
        w.writeOutstanding = false;
        w.writing.clear();
        if (w.writing.capacity() > kKeptBufferCapacity) std::vector<char>().swap(w.writing);
        if (!w.open) return;
        if (error) {
            closeClient(client, LogLevel::Debug, text("closed: write failed: ", error.message()));
            return;
        }
        if (!w.closing && w.queued() < m_options.limits.clientQueueBytes) stopGrace(w);
        flushReplies(client);
        if (w.finishing) {
            maybeFinish(client);
        } else {
            pump(client);
        }
    });
}

void Relay::startGrace(const ClientPtr& client) {
    const std::uint64_t round = ++client->graceRound;
    client->grace.expires_after(m_options.limits.clientGrace);
    client->grace.async_wait([this, client, round](const asio::error_code& error) {
        Client& c = *client;
        if (error || round != c.graceRound || !c.open) return;
        if (c.closing) {
            closeClient(client, LogLevel::Debug, "closed: it did not end its stream within the grace time");
        } else if (c.queued() >= m_options.limits.clientQueueBytes) {
            ++m_counters.clientsSlow;
            closeClient(client, LogLevel::Warn,
                        text("closed: ", c.queued(), " bytes of replies left unread for ",
                             m_options.limits.clientGrace.count(), " ms (--client-queue, --client-grace)"));
        }
    });
}

void Relay::stopGrace(Client& client) {
    ++client.graceRound;
    client.grace.cancel();
}

// Takes no more packets from the client; it is closed once what it is owed
// has been written to it (and, with waitInFlight, once every packet of it in
// flight has been answered).
void Relay::beginFinish(const ClientPtr& client, LogLevel level, const std::string& why, bool waitInFlight) {
    Client& c = *client;
    if (!c.open || c.closing) return;
    if (c.finishing && waitInFlight) return;  // already finishing; a reason that waits less wins
    c.finishing = true;
    c.waitInFlight = waitInFlight;
    c.finishLevel = level;
    c.finishWhy = why;
    if (!c.reading && !c.eof) startRead(client);  // to see the client's end
    maybeFinish(client);
}

void Relay::maybeFinish(const ClientPtr& client) {
    Client& c = *client;
    if (!c.open || !c.finishing || c.closing) return;
    if ((c.waitInFlight && c.inFlight > 0) || c.queued() > 0) return;
    c.closing = true;
    logClient(c, c.finishLevel, c.finishWhy);
    if (c.eof) {
        closeClient(client, LogLevel::Debug, std::string());
        return;
    }
    asio::error_code ignored;
    c.socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    startGrace(client);
}

void Relay::closeClient(const ClientPtr& client, LogLevel level, const std::string& why) {
    Client& c = *client;
    if (!c.open) return;
    c.open = false;
    if (!why.empty()) logClient(c, level, why);
    asio::error_code ignored;
    c.socket.close(ignored);
    stopGrace(c);
    m_clients.erase(c.id);
    checkDrained();
}

Relay::ClientPtr Relay::findClient(std::uint64_t id) const {
    const auto it = m_clients.find(id);
    return it == m_clients.end() ? nullptr : it->second;
}

// The backend's queue has room again: the clients paused for it go on.
void Relay::resumeWaiting() {
    if (m_waiting.empty() || backendFull()) return;
    std::vector<std::uint64_t> waiting;
    waiting.swap(m_waiting);
    for (const std::uint64_t id : waiting) {
        if (const ClientPtr client = findClient(id)) {
            client->waiting = false;
            pump(client);
        }
    }
}

// --- the backend -----------------------------------------------------------------

// Full when its unsent bytes reach their limit, or when the table holds as
// many packets as all clients together may have in flight (packets of
// clients that have gone stay in it until their replies come).
bool Relay::backendFull() const {
    const Limits& limits = m_options.limits;
    return m_backend->queued() >= limits.backendQueueBytes ||
           m_routes.size() >= limits.maxClients * limits.clientInFlight;
}

void Relay::connectBackend() {
    Backend& b = *m_backend;
    b.resolver.async_resolve(
        m_options.backend.host, std::to_string(m_options.backend.port),
        [this](const asio::error_code& error, const asio::ip::tcp::resolver::results_type& results) {
            if (m_stopped) return;
            if (error) {
                log(LogLevel::Warn, text("backend ", m_options.backend.text(), ": ", error.message()));
                scheduleReconnect();
                return;
            }
            asio::async_connect(m_backend->socket, results,
                                [this](const asio::error_code& e, const asio::ip::tcp::endpoint& endpoint) {
                                    if (m_stopped) return;
                                    if (e) {
                                        log(LogLevel::Warn, text("backend ", m_options.backend.text(),
                                                                 ": connect failed: ", e.message()));
                                        scheduleReconnect();
                                        return;
                                    }
                                    backendConnected(endpoint);
                                });
        });
}

void Relay::backendConnected(const asio::ip::tcp::endpoint& endpoint) {
    Backend& b = *m_backend;
    asio::error_code ignored;
    b.socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    b.connected = true;
    ++b.generation;
    b.backoff = std::chrono::milliseconds(0);
    b.splitter = std::make_unique<ZrStreamSplitter>(b.meterOptions);
    ++m_counters.backendConnects;
    log(LogLevel::Info, text("backend connected: ", endpointText(endpoint), " (", b.queue.size(), " bytes queued)"));
    readBackend();
    flushBackend();
}

void Relay::scheduleReconnect() {
    Backend& b = *m_backend;
    const Limits& limits = m_options.limits;
    b.backoff = b.backoff.count() == 0 ? limits.backoffMin : std::min(2 * b.backoff, limits.backoffMax);
    log(LogLevel::Info, text("reconnecting to the backend in ", b.backoff.count(), " ms"));
    b.retry.expires_after(b.backoff);
    b.retry.async_wait([this](const asio::error_code& error) {
        if (!error && !m_stopped) connectBackend();
    });
}

void Relay::readBackend() {
    Backend& b = *m_backend;
    const std::uint64_t generation = b.generation;
    b.socket.async_read_some(asio::buffer(b.readBuffer), [this, generation](const asio::error_code& error,
                                                                            std::size_t n) {
        Backend& r = *m_backend;
        if (m_stopped || generation != r.generation) return;
        if (error) {
            backendFailed(generation, error);
            return;
        }
        r.splitter->feed(r.readBuffer.data(), n);
        for (ZrSplitItem item; r.splitter->next(item);) {
            if (item.isPacket()) {
                routeReply(item);
            } else {
                m_counters.backendSkippedBytes += item.length;
                log(LogLevel::Warn, text("backend: ", item.length, " bytes at offset ", item.offset,
                                         " are not a packet, dropped: ", item.why()));
            }
        }
        resumeWaiting();
        if (!m_stopped) readBackend();
    });
}

void Relay::flushBackend() {
    Backend& b = *m_backend;
    if (!b.connected || b.writeOutstanding || b.queue.empty()) return;
    std::swap(b.queue, b.writing);
    b.writtenSeq = b.lastSeq;
    b.writeOutstanding = true;
    const std::uint64_t generation = b.generation;
    asio::async_write(b.socket, asio::buffer(b.writing), [this, generation](const asio::error_code& error,
                                                                            std::size_t) {
        Backend& w = *m_backend;
        w.writeOutstanding = false;
        w.writing.clear();
        if (w.writing.capacity() > kKeptBufferCapacity) std::vector<char>().swap(w.writing);
        if (m_stopped) return;
        if (error && generation == w.generation) {
            backendFailed(generation, error);
            return;
        }
        flushBackend();
        resumeWaiting();
    });
}

// The backend connection is gone. Packets written to it will get no reply:
// their clients are closed once the replies they have are written. Packets
// queued but not written wait for the next connection.
void Relay::backendFailed(std::uint64_t generation, const asio::error_code& error) {
    Backend& b = *m_backend;
    if (generation != b.generation || !b.connected) return;
    b.connected = false;
    ++b.generation;
    ++m_counters.backendLost;
    asio::error_code ignored;
    b.socket.close(ignored);
    b.splitter.reset();

    std::unordered_map<std::uint64_t, std::size_t> lostByClient;
    std::size_t lost = 0;
    for (auto it = m_routes.begin(); it != m_routes.end();) {
        if (it->second.seq <= b.writtenSeq) {
            ++lostByClient[it->second.client];
            ++lost;
            it = m_routes.erase(it);
        } else {
            ++it;
        }
    }
    m_counters.lostInFlight += lost;
    std::size_t closed = 0;
    for (const auto& [id, count] : lostByClient) {
        const ClientPtr client = findClient(id);
        if (!client) continue;
        client->inFlight -= count;
        if (client->closing) continue;
        ++closed;
        ++m_counters.clientsBackendLost;
        beginFinish(client, LogLevel::Warn,
                    text("closed: ", count, " of its packets were in flight when the backend connection was lost"),
                    false);
    }
    log(LogLevel::Warn, text("backend connection lost (", error.message(), "): ", lost, " packets in flight lost, ",
                             closed, " clients closed, ", b.queue.size(), " bytes queued for the next connection"));
    scheduleReconnect();
    resumeWaiting();
}

void Relay::routeReply(const ZrSplitItem& item) {
    char* packet = item.chars();
    const auto length = static_cast<unsigned int>(item.length);
    const std::uint32_t sn = ZrCPacketHead::fastGetSN(packet, length);
    const auto it = m_routes.find(sn);
    if (it == m_routes.end()) {
        ++m_counters.repliesUnknown;
        if (worthLogging(m_counters.repliesUnknown)) {
            log(LogLevel::Warn, text("backend: a reply with SN ", sn, " matches no packet in flight, dropped (",
                                     m_counters.repliesUnknown, " so far)"));
        }
        return;
    }
    const Route route = it->second;
    m_routes.erase(it);
    const ClientPtr client = findClient(route.client);
    if (!client || client->closing) {
        ++m_counters.repliesOrphaned;
        if (m_options.logLevel >= LogLevel::Debug) {
            log(LogLevel::Debug, text("backend: the reply with SN ", sn, " is for client ", route.client,
                                      ", which has gone; dropped"));
        }
        return;
    }
    Client& c = *client;
    --c.inFlight;
    const Limits& limits = m_options.limits;
    const std::size_t before = c.queued();
    const std::size_t at = c.replies.size();
    c.replies.insert(c.replies.end(), packet, packet + item.length);
    ZrCPacketHead::fastSetSN(c.replies.data() + at, length, route.clientSN);
    ++m_counters.repliesOut;
    m_counters.bytesOut += item.length;
    if (c.queued() > limits.clientQueueHardBytes) {
        ++m_counters.clientsSlow;
        closeClient(client, LogLevel::Warn,
                    text("closed: ", c.queued(), " bytes of replies unread, over --client-queue-hard"));
        return;
    }
    if (before < limits.clientQueueBytes && c.queued() >= limits.clientQueueBytes) startGrace(client);
    flushReplies(client);
    pump(client);  // an answered packet may let it forward again
}

// --- stopping --------------------------------------------------------------------

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

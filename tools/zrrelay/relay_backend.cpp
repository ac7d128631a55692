// The one backend connection: connecting and reconnecting, writing the
// queued packets, reading the replies, and what its loss does to clients.
#include "relay_parts.h"

#include <cstdio>

namespace zrrelay {

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
        const Clock::time_point now = Clock::now();
        for (ZrSplitItem item; r.splitter->next(item);) {
            if (item.isPacket()) {
                routeReply(item, now);
            } else {
                m_counters.backendSkippedBytes += item.length;
                log(LogLevel::Warn, text("backend: ", item.length, " bytes at offset ", item.offset,
                                         " are not a packet, dropped: ", item.why()));
            }
        }
        for (const ClientPtr& client : m_answered) {  // only routing adds to it
            client->answered = false;
            flushReplies(client);
            pump(client);  // an answered packet may let it forward again
        }
        m_answered.clear();
        resumeWaiting();
        if (!m_stopped) readBackend();
    });
}

// Once the handlers ready now have run: the packets of every client read in
// this round go in one write.
void Relay::flushBackendSoon() {
    if (m_flushPosted) return;
    m_flushPosted = true;
    asio::post(m_io, [this] {
        m_flushPosted = false;
        if (!m_stopped) flushBackend();
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

}  // namespace zrrelay

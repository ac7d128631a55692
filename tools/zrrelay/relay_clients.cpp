// Clients: accepting, reading and forwarding, the limits, finishing and
// closing. A client goes through these states:
//   reading    its packets are split and forwarded; reading pauses while
//              one of its limits, or the backend's, is reached (pump)
//   finishing  no more packets are taken from it (it ended its stream, sent
//              bytes that are not a packet, a reply to it did not come in
//              time, the relay is stopping, or the backend lost some of its
//              packets); what it sends is read and dropped, and the replies
//              it is owed are still sent (each within the reply deadline)
//   closing    every reply it is owed has been written; the relay has shut
//              its sending side and waits for the client's end (bounded by
//              the grace time), so that no reply is lost to a reset
// and is closed at once when it leaves its replies unread too long or its
// connection fails.
#include "relay_parts.h"

#include <cstdio>

namespace zrrelay {

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
        // A client that has ended its stream holds no place: what it still
        // waits for is bounded by the reply deadline.
        if (m_clients.size() - m_clientsEnded >= m_options.limits.maxClients) {
            ++m_counters.clientsRefused;
            if (worthLogging(m_counters.clientsRefused)) {
                log(LogLevel::Warn, text("refused ", endpointText(peer), ": ", m_clients.size() - m_clientsEnded,
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

// Forwards the packets already read while the limits allow (at most
// `budget` of them: its turn when resumed), then reads more.
void Relay::pump(const ClientPtr& client, std::size_t budget) {
    Client& c = *client;
    if (!c.open || c.finishing || c.reading) return;
    bool forwarded = false;
    const Clock::time_point now = c.haveItems ? Clock::now() : Clock::time_point();
    ZrSplitItem item;
    while (c.haveItems && mayForward(client)) {
        if (budget == 0) {
            wait(client);  // its turn is over
            break;
        }
        if (!c.splitter.next(item)) {
            c.haveItems = false;
            break;
        }
        if (item.isPacket()) {
            forward(c, item, now);
            forwarded = true;
            --budget;
        } else if (item.reason != nullptr && item.reason->fault == ZrFrameFault::StreamEnd) {
            logClient(c, LogLevel::Info,
                      text("its stream ended inside a packet: ", item.length, " bytes from offset ", item.offset,
                           " dropped"));
        } else {
            ++m_counters.clientsNotPackets;
            m_counters.bytesRefused += item.length;
            beginFinish(client, LogLevel::Warn,
                        text("closed: ", item.length, " bytes at offset ", item.offset, " are not a packet: ",
                             item.why()),
                        true);
            break;
        }
    }
    if (forwarded) flushBackendSoon();
    if (!c.open || c.finishing || c.haveItems) return;  // closed, finishing, or paused
    if (c.eof) {
        beginFinish(client, LogLevel::Debug, "closed: it ended its stream", true);
    } else {
        startRead(client);
    }
}

// Whether the client may forward one more packet now. Whatever stops it
// calls pump again when it clears: a reply, a write to the client, or its
// turn for the backend's queue (m_waiting). While others wait for that turn,
// a client does not pass them.
bool Relay::mayForward(const ClientPtr& client) {
    const Limits& limits = m_options.limits;
    if (client->inFlight >= limits.clientInFlight || client->queued() >= limits.clientQueueBytes) return false;
    if (backendFull() || (!m_resuming && !m_waiting.empty())) {
        wait(client);
        return false;
    }
    return true;
}

void Relay::markEnded(Client& client) {
    if (!client.eof) ++m_clientsEnded;
    client.eof = true;
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
                markEnded(c);
                if (c.closing) {
                    closeClient(client, LogLevel::Debug, std::string());
                } else {
                    maybeFinish(client);
                }
            }
            return;
        }
        if (error) {
            markEnded(c);
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
        if (!w.closing && w.overQueue && w.unread() < m_options.limits.clientQueueBytes) stopGrace(w);
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
        } else if (c.unread() >= m_options.limits.clientQueueBytes) {
            ++m_counters.clientsSlow;
            closeClient(client, LogLevel::Warn,
                        text("closed: ", c.unread(), " bytes of replies left unread for ",
                             m_options.limits.clientGrace.count(), " ms (--client-queue, --client-grace)"));
        } else {
            c.overQueue = false;  // it read in time; the next time over starts a new grace
        }
    });
}

void Relay::stopGrace(Client& client) {
    ++client.graceRound;
    client.overQueue = false;
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
    if (c.eof) --m_clientsEnded;
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

}  // namespace zrrelay

// Routes: each packet in flight stamped with the relay's own SN, the reply
// carrying it sent back to its client with the client's SN, the deadline by
// which that reply must come, the turns of the clients waiting for room in
// the backend's queue, and what the backend's loss does to clients.
#include "relay_core.h"
#include "relay_parts.h"

namespace zrrelay {

// Copies the packet into the backend's queue and stamps the copy with the
// relay's own SN.
void Relay::forward(ClientConnection& client, const ZrSplitItem& item, Clock::time_point now) {
    const std::uint32_t sn = takeSN();
    char* packet = m_backend.queue(item.chars(), item.length);
    const auto length = static_cast<unsigned int>(item.length);
    const std::uint32_t clientSN = ZrCPacketHead::fastGetSN(packet, length);
    ZrCPacketHead::fastSetSN(packet, length, sn);
    const std::uint64_t seq = m_backend.lastSeq();
    m_routes.emplace(sn, Route{client.id(), clientSN, seq, now});
    m_deadlines.push_back(Deadline{sn, seq, now + m_options.limits.replyTimeout});
    armDeadline();
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

void Relay::reply(const ZrSplitItem& item, Clock::time_point now) {
    const char* packet = item.chars();
    const std::uint32_t sn = ZrCPacketHead::fastGetSN(packet, static_cast<unsigned int>(item.length));
    const auto it = m_routes.find(sn);
    if (it == m_routes.end()) {
        ++m_counters.repliesUnknown;
        if (worthLogging(m_counters.repliesUnknown)) {
            m_log.line(LogLevel::Warn, text("backend: a reply with SN ", sn, " matches no packet in flight, dropped (",
                                            m_counters.repliesUnknown, " so far)"));
        }
        return;
    }
    const Route route = it->second;
    m_routes.erase(it);
    m_counters.replyLatency.add(std::chrono::duration<double>(now - route.queued).count());
    while (!m_deadlines.empty() && !pending(m_deadlines.front())) m_deadlines.pop_front();
    const ClientPtr client = findClient(route.client);
    if (!client || client->state() >= ClientConnection::State::Closing) {
        ++m_counters.repliesOrphaned;
        if (m_log.enabled(LogLevel::Debug)) {
            m_log.line(LogLevel::Debug, text("backend: the reply with SN ", sn, " is for client ", route.client,
                                             ", which has gone; dropped"));
        }
        return;
    }
    ++m_counters.repliesOut;
    m_counters.bytesOut += item.length;
    // Written once the whole read is routed: one write for its replies (a
    // client with a write outstanding writes them when it completes).
    const bool first = client->writeIdle();
    if (client->queueReply(packet, item.length, route.clientSN, now) && first) m_answered.push_back(client);
}

void Relay::repliesRouted() {
    for (const ClientPtr& client : m_answered) client->repliesQueued();  // only routing adds to it
    m_answered.clear();
    resumeWaiting();
}

bool Relay::pending(const Deadline& deadline) const {
    const auto it = m_routes.find(deadline.sn);
    return it != m_routes.end() && it->second.seq == deadline.seq;
}

// The timer waits for the oldest packet still in flight.
void Relay::armDeadline() {
    if (m_deadlineArmed || m_deadlines.empty() || m_stopped) return;
    m_deadlineArmed = true;
    m_deadlineTimer.expires_at(m_deadlines.front().when);
    m_deadlineTimer.async_wait([this](const asio::error_code& error) {
        m_deadlineArmed = false;
        if (error || m_stopped) return;
        expireReplies();
        armDeadline();
    });
}

// Packets whose deadline has passed leave the table: their SN's reply, if
// it ever comes, is unknown. One not yet written to the backend leaves its
// queue and is never sent, so that a client that gives up and sends it again
// does not have it executed twice. Their clients get what they are owed and
// are closed, for they cannot tell which packet went unanswered.
void Relay::expireReplies() {
    const Clock::time_point now = Clock::now();
    const auto timeout = m_options.limits.replyTimeout.count();
    while (!m_deadlines.empty() && m_deadlines.front().when <= now) {
        const Deadline deadline = m_deadlines.front();
        m_deadlines.pop_front();
        if (!pending(deadline)) continue;  // answered or lost
        const Route route = m_routes.at(deadline.sn);
        m_routes.erase(deadline.sn);
        const bool sent = route.seq <= m_backend.writtenSeq();
        const char* const notSent = m_backend.up() ? "backend queue full" : "backend down";
        if (sent) {
            ++m_counters.repliesTimedOut;
            if (worthLogging(m_counters.repliesTimedOut)) {
                m_log.line(LogLevel::Warn,
                           text("backend: no reply to SN ", deadline.sn, " (client ", route.client, ", its SN ",
                                route.clientSN, ") within ", timeout, " ms (--reply-timeout); given up (",
                                m_counters.repliesTimedOut, " so far)"));
            }
        } else {
            m_backend.dropOldestUnsent(route.seq);
            ++m_counters.expiredUnsent;
            if (worthLogging(m_counters.expiredUnsent)) {
                m_log.line(LogLevel::Warn, text("backend: SN ", deadline.sn, " (client ", route.client, ", its SN ",
                                                route.clientSN, ") not sent: ", notSent, "; given up after ", timeout,
                                                " ms (--reply-timeout, ", m_counters.expiredUnsent, " so far)"));
            }
        }
        const ClientPtr client = findClient(route.client);
        if (!client) continue;
        client->giveUp(1, ClientConnection::Unanswered::TimedOut);
        if (client->finishing()) {
            client->tryFinish();
        } else if (sent) {
            client->finish(
                EndCode::Deadline, LogLevel::Warn,
                text("no reply to its packet SN ", route.clientSN, " within ", timeout, " ms (--reply-timeout)"), true);
        } else {
            client->finish(EndCode::Deadline, LogLevel::Warn,
                           text("its packet SN ", route.clientSN, " not sent within ", timeout,
                                " ms (--reply-timeout): ", notSent),
                           true);
        }
    }
    resumeWaiting();
}

bool Relay::backendHasRoom() { return !backendFull() && (m_resuming || m_waiting.empty()); }

// Full when its unsent bytes reach their limit, or when the table holds as
// many packets as all clients together may have in flight (packets of
// clients that have gone stay in it until their replies come).
bool Relay::backendFull() const {
    const Limits& limits = m_options.limits;
    return m_backend.queued() >= limits.backendQueueBytes ||
           m_routes.size() >= limits.maxClients * limits.clientInFlight;
}

void Relay::waitForTurn(ClientConnection& client) {
    m_waiting.push_back(client.id());
    // Room already: the turns are taken once this handler is done.
    if (!backendFull() && !m_resumePosted) {
        m_resumePosted = true;
        asio::post(m_io, [this] {
            m_resumePosted = false;
            if (!m_stopped) resumeWaiting();
        });
    }
}

// The backend's queue has room: the waiting clients forward a packet each,
// in turn, while it lasts; a client with more waits again behind the others.
void Relay::resumeWaiting() {
    if (m_resuming) return;
    m_resuming = true;
    while (!m_waiting.empty() && !backendFull()) {
        const ClientPtr client = findClient(m_waiting.front());
        m_waiting.pop_front();
        if (client && client->state() == ClientConnection::State::Waiting) client->resume(1);
    }
    m_resuming = false;
}

void Relay::backendConnected() { m_backendUp.store(true, std::memory_order_relaxed); }

// Packets written to the lost connection will get no reply: their clients
// are closed once the replies they have are written.
void Relay::backendLost(std::uint64_t writtenSeq, const std::string& why) {
    m_backendUp.store(false, std::memory_order_relaxed);
    std::unordered_map<std::uint64_t, std::size_t> lostByClient;
    std::size_t lost = 0;
    for (auto it = m_routes.begin(); it != m_routes.end();) {
        if (it->second.seq <= writtenSeq) {
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
        client->giveUp(count, ClientConnection::Unanswered::Lost);
        if (client->state() >= ClientConnection::State::Closing) continue;
        ++closed;
        client->finish(EndCode::BackendLost, LogLevel::Warn,
                       text(count, " of its packets were in flight when the backend connection was lost"), false);
    }
    m_log.line(LogLevel::Warn, text("backend connection lost (", why, "): ", lost, " packets in flight lost, ", closed,
                                    " clients closed, ", m_backend.unsent(), " bytes queued for the next connection"));
    resumeWaiting();
}

}  // namespace zrrelay

// Routes: each packet in flight stamped with the relay's own SN, the reply
// carrying it sent back to its client with the client's SN, the deadline by
// which that reply must come, and the turns of the clients waiting for room
// in the backend's queue.
#include "relay_parts.h"

#include <cstdio>

namespace zrrelay {

// Copies the packet into the backend's queue and stamps the copy with the
// relay's own SN.
void Relay::forward(Client& client, const ZrSplitItem& item, Clock::time_point now) {
    const std::uint32_t sn = takeSN();
    std::vector<char>& queue = m_backend->queue;
    const std::size_t at = queue.size();
    queue.insert(queue.end(), item.chars(), item.chars() + item.length);
    char* packet = queue.data() + at;
    const auto length = static_cast<unsigned int>(item.length);
    const std::uint32_t clientSN = ZrCPacketHead::fastGetSN(packet, length);
    ZrCPacketHead::fastSetSN(packet, length, sn);
    const std::uint64_t seq = ++m_backend->lastSeq;
    m_routes.emplace(sn, Route{client.id, clientSN, seq, now});
    m_deadlines.push_back(Deadline{sn, seq, now + m_options.limits.replyTimeout});
    armDeadline();
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

void Relay::routeReply(const ZrSplitItem& item, Clock::time_point now) {
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
    m_counters.replyLatency.add(std::chrono::duration<double>(now - route.queued).count());
    while (!m_deadlines.empty() && !pending(m_deadlines.front())) m_deadlines.pop_front();
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
    if (!c.overQueue && c.queued() >= limits.clientQueueBytes) {
        c.overQueue = true;
        startGrace(client);
    }
    if (!c.answered) {  // written once the whole read is routed: one write for its replies
        c.answered = true;
        m_answered.push_back(client);
    }
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
// it ever comes, is unknown. Their clients get what they are owed and are
// closed, for they cannot tell which packet went unanswered.
void Relay::expireReplies() {
    const Clock::time_point now = Clock::now();
    const Limits& limits = m_options.limits;
    while (!m_deadlines.empty() && m_deadlines.front().when <= now) {
        const Deadline deadline = m_deadlines.front();
        m_deadlines.pop_front();
        const auto it = m_routes.find(deadline.sn);
        if (it == m_routes.end() || it->second.seq != deadline.seq) continue;  // answered or lost
        const Route route = it->second;
        m_routes.erase(it);
        ++m_counters.repliesTimedOut;
        if (worthLogging(m_counters.repliesTimedOut)) {
            log(LogLevel::Warn, text("backend: no reply to SN ", deadline.sn, " (client ", route.client, ", its SN ",
                                     route.clientSN, ") within ", limits.replyTimeout.count(),
                                     " ms (--reply-timeout); given up (", m_counters.repliesTimedOut, " so far)"));
        }
        const ClientPtr client = findClient(route.client);
        if (!client) continue;
        --client->inFlight;
        if (!client->finishing) {
            ++m_counters.clientsTimedOut;
            beginFinish(client, LogLevel::Warn,
                        text("closed: no reply to its packet SN ", route.clientSN, " within ",
                             limits.replyTimeout.count(), " ms (--reply-timeout)"),
                        true);
        } else {
            maybeFinish(client);
        }
    }
    resumeWaiting();
}

// Pauses the client until its turn for the backend's queue.
void Relay::wait(const ClientPtr& client) {
    if (!client->waiting) {
        client->waiting = true;
        m_waiting.push_back(client->id);
    }
    // Room already: the turns are taken once this handler is done.
    if (!backendFull() && !m_resumePosted) {
        m_resumePosted = true;
        asio::post(m_io, [this] {
            m_resumePosted = false;
            if (!m_stopped) resumeWaiting();
        });
    }
}

// The backend's queue has room: the paused clients forward a packet each,
// in turn, while it lasts; a client with more is paused again behind the
// others.
void Relay::resumeWaiting() {
    if (m_resuming) return;
    m_resuming = true;
    while (!m_waiting.empty() && !backendFull()) {
        const ClientPtr client = findClient(m_waiting.front());
        m_waiting.pop_front();
        if (!client) continue;
        client->waiting = false;
        pump(client, 1);
    }
    m_resuming = false;
}

}  // namespace zrrelay

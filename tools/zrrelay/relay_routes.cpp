// Routes: each packet in flight stamped with the relay's own SN, and the
// reply carrying it sent back to its client with the client's SN.
#include "relay_parts.h"

#include <cstdio>

namespace zrrelay {

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

}  // namespace zrrelay

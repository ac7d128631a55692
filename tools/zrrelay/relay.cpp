// A relay: each client's packet forwarded to the backend as a raw request,
// its reply sent back to the client; what ends a client and what the
// backend's connection does, in the log.
#include <cstring>

#include "relay_core.h"
#include "relay_parts.h"

namespace zrrelay {

namespace {

zrnet::ServerOptions serverOptions(const Options& options) {
    const Limits& limits = options.limits;
    zrnet::ServerOptions o;
    o.meter.maxPacketLength = limits.maxPacketLength;
    o.acceptProxy = options.acceptProxy;
    o.maxClients = limits.maxClients;
    o.firstPacket = limits.clientFirst;
    o.idle = limits.clientIdle;
    o.maxInFlight = limits.clientInFlight;
    o.maxQueuedBytes = limits.clientQueueBytes;
    o.maxQueuedBytesHard = limits.clientQueueHardBytes;
    o.grace = limits.clientGrace;
    return o;
}

// The backend's queue: requests written and awaiting replies, at most as
// many as all clients together may have in flight (packets of clients that
// have gone stay in it until their replies come or their deadline passes).
zrnet::ClientOptions clientOptions(const Options& options) {
    const Limits& limits = options.limits;
    zrnet::ClientOptions o(options.backend.host, options.backend.port);
    o.timeout = limits.replyTimeout;
    o.maxInFlight = limits.maxClients * limits.clientInFlight;
    o.maxQueuedBytes = limits.backendQueueBytes;
    o.backoffMin = limits.backoffMin;
    o.backoffMax = limits.backoffMax;
    o.meter.maxPacketLength = limits.maxPacketLength;
    return o;
}

// The option behind a limit that ended or refused a client, for its line.
const char* optionOf(zrnet::EndCode code) {
    switch (code) {
        case zrnet::EndCode::NoPacket:
            return " (--client-first)";
        case zrnet::EndCode::Idle:
            return " (--client-idle)";
        case zrnet::EndCode::RefusedFull:
            return " (--max-clients)";
        case zrnet::EndCode::RefusedAddress:
            return " (--max-clients-per-address)";
        default:
            return "";
    }
}

}  // namespace

void ReplyArea::grow(std::size_t n) {
    Bytes& b = *m_bytes;
    if (b.capacity - b.size < n) {
        const std::size_t capacity = std::max(b.size + n, 2 * b.capacity);
        std::unique_ptr<char[]> data(new char[capacity]);
        if (b.size > 0) std::memcpy(data.get(), b.data.get(), b.size);
        b.data = std::move(data);
        b.capacity = capacity;
    }
    b.size += n;
}

void ReplyArea::consume(std::size_t n) {
    Bytes& b = *m_bytes;
    n = std::min(n, b.size);
    std::memmove(b.data.get(), b.data.get() + n, b.size - n);
    b.size -= n;
}

Relay::Relay(asio::io_context& io, const Options& options, int thread, std::shared_ptr<zrnet::AddressPlaces> places)
    : m_io(io),
      m_options(options),
      m_log(options.logLevel, options.logFormat, thread),
      m_server(io, serverOptions(options), std::move(places)),
      m_backend(io, clientOptions(options)) {
    m_server.onRaw([this](const ZrSplitItem& packet, zrnet::Responder responder) {
        forward(packet, std::move(responder));
    });
    // The clients waiting for room in the backend's queue resume in turn,
    // a packet each, and a client that was not waiting does not pass them.
    m_server.setGate({[this] { return m_backend.hasRoom(); },
                      [this](zrnet::Resume resume) {
                          m_backend.asyncWaitForRoom([resume](std::error_code error) {
                              if (!error) resume();
                          });
                      }});
    m_server.onSession([this](const zrnet::Session& session) { sessionEnded(session); });
    m_backend.onLink([this](const zrnet::LinkEvent& event) { linked(event); });
    m_backend.onUnmatched([this](const ZrSplitItem& item, zrnet::Unmatched why) { unmatched(item, why); });
}

void Relay::start() { m_backend.start(); }

// The packet goes to the backend under an SN of the client's own; its reply
// goes back under the client's SN.
void Relay::forward(const ZrSplitItem& packet, zrnet::Responder responder) {
    const Clock::time_point queued = Clock::now();
    m_backend.asyncRawRequest(asio::buffer(packet.data, packet.length), ReplyArea(m_reply),
                              [this, responder = std::move(responder), queued](std::error_code error,
                                                                               std::size_t length) mutable {
                                  if (error) {
                                      giveUp(error, responder);
                                      return;
                                  }
                                  // Called inside the backend's read: the reply is the buffer's last bytes.
                                  m_counters.replyLatency.add(
                                      std::chrono::duration<double>(Clock::now() - queued).count());
                                  responder.replyRaw(m_reply.data.get() + m_reply.size - length, length);
                                  m_reply.size = 0;
                              });
}

// A packet that will get no reply: its client is sent what it is owed and
// closed, for it cannot tell which packet went unanswered.
void Relay::giveUp(const std::error_code& error, zrnet::Responder& responder) {
    const auto timeout = m_options.limits.replyTimeout.count();
    const zrnet::ClientCounters& backend = m_backend.counters();
    if (error == zrnet::Error::TimedOut) {
        if (worthLogging(backend.timedOut)) {
            m_log.line(LogLevel::Warn, text("backend: no reply to client ", responder.session(), "'s SN ",
                                            responder.sn(), " within ", timeout, " ms (--reply-timeout); given up (",
                                            backend.timedOut, " so far)"));
        }
        responder.giveUp(zrnet::Unanswered::TimedOut, text("no reply to its packet SN ", responder.sn(), " within ",
                                                           timeout, " ms (--reply-timeout)"));
    } else if (error == zrnet::Error::NotSent) {
        // Never sent, and never will be: a client that sends it again once
        // closed does not have it executed twice.
        const char* const why =
            m_backend.state() == zrnet::LinkState::Connected ? "backend queue full" : "backend down";
        if (worthLogging(backend.notSent)) {
            m_log.line(LogLevel::Warn, text("backend: client ", responder.session(), "'s SN ", responder.sn(),
                                            " not sent: ", why, "; given up after ", timeout, " ms (--reply-timeout, ",
                                            backend.notSent, " so far)"));
        }
        responder.giveUp(zrnet::Unanswered::TimedOut, text("its packet SN ", responder.sn(), " not sent within ",
                                                           timeout, " ms (--reply-timeout): ", why));
    } else if (error == zrnet::Error::ConnectionLost) {
        responder.giveUp(zrnet::Unanswered::Lost, "its packets were in flight when the backend connection was lost");
    } else if (error != asio::error::operation_aborted) {  // refused by the client: never sent
        m_log.line(LogLevel::Warn, text("backend: client ", responder.session(), "'s SN ", responder.sn(),
                                        " not sent: ", error.message()));
        responder.giveUp(zrnet::Unanswered::TimedOut,
                         text("its packet SN ", responder.sn(), " not sent: ", error.message()));
    }
    // Aborted: the relay is stopping, and the packet goes unanswered with its client.
}

void Relay::linked(const zrnet::LinkEvent& event) {
    const std::string backend = m_options.backend.text();
    switch (event.kind) {
        case zrnet::LinkEvent::Kind::Connected:
            m_backendUp.store(true, std::memory_order_relaxed);
            m_log.line(LogLevel::Info, text("backend connected: ", zrnet::endpointText(event.endpoint), " (",
                                            event.requests, " packets queued)"));
            return;
        case zrnet::LinkEvent::Kind::ConnectFailed:
            m_log.line(LogLevel::Warn, text("backend ", backend, ": connect failed: ", event.error.message()));
            break;
        case zrnet::LinkEvent::Kind::Lost:
            m_backendUp.store(false, std::memory_order_relaxed);
            m_counters.lostInFlight += event.requests;
            m_log.line(LogLevel::Warn, text("backend connection lost (", event.error.message(), "): ", event.requests,
                                            " packets in flight lost, their clients closed"));
            break;
    }
    m_log.line(LogLevel::Info, text("reconnecting to the backend in ", event.retryIn.count(), " ms"));
}

// Bytes from the backend that are not a packet are passed over: the splitter
// resyncs at the next byte where a packet may start, and the replies around
// them are routed as usual. Reconnecting instead would lose every packet in
// flight for what is most likely one damaged reply, whose packet then times
// out alone.
void Relay::unmatched(const ZrSplitItem& item, zrnet::Unmatched why) {
    const zrnet::ClientCounters& backend = m_backend.counters();
    const auto sn = [&] { return ZrCPacketHead::fastGetSN(item.chars(), static_cast<unsigned int>(item.length)); };
    switch (why) {
        case zrnet::Unmatched::NotAPacket:
            if (worthLogging(++m_skippedRuns)) {
                m_log.line(LogLevel::Warn, text("backend: ", item.length, " bytes at offset ", item.offset,
                                                " are not a packet, passed over: ", item.why()));
            }
            return;
        case zrnet::Unmatched::UnknownSN:
            if (worthLogging(backend.repliesUnknown)) {
                m_log.line(LogLevel::Warn, text("backend: a reply with SN ", sn(),
                                                " matches no packet in flight, dropped (", backend.repliesUnknown,
                                                " so far)"));
            }
            return;
        case zrnet::Unmatched::OtherCommand:
            if (worthLogging(backend.repliesMismatched)) {
                m_log.line(LogLevel::Warn,
                           text("backend: a reply with SN ", sn(), " has command ",
                                ZrCPacketHead::fastGetCmdID(item.chars(), static_cast<unsigned int>(item.length)),
                                ", not its packet's, dropped (", backend.repliesMismatched, " so far)"));
            }
            return;
    }
}

// One line per session; a refused connection is a warning, the first ten
// times and every thousandth.
void Relay::sessionEnded(const zrnet::Session& session) {
    if (zrnet::refused(session.end)) {
        if (worthLogging(m_server.counters().count(session.end))) {
            m_log.line(LogLevel::Warn, text("refused ", session.client, ": ", session.reason, optionOf(session.end)));
        }
        return;
    }
    const LogLevel level = zrnet::endedByFault(session.end) ? LogLevel::Warn : LogLevel::Info;
    if (!m_log.enabled(level)) return;
    std::vector<LogField> fields = session.fields(Clock::now());
    fields.back().value += optionOf(session.end);  // the reason
    m_log.event(level, "session", fields);
}

Counters Relay::counters() const {
    Counters c = m_counters;
    const zrnet::ServerCounters& clients = m_server.counters();
    c.clientsAccepted = clients.accepted;
    for (std::size_t code = 0; code < zrnet::kEndCodes; ++code) {
        c.*Counters::endedCounter(static_cast<zrnet::EndCode>(code)) = clients.ended[code];
    }
    c.bytesRefused = clients.skippedBytes;
    c.packetsIn = clients.requests;
    c.bytesIn = clients.requestBytes;
    c.repliesOut = clients.replies;
    c.bytesOut = clients.replyBytes;
    c.repliesOrphaned = clients.repliesDropped;
    c.clientDeciphered = clients.deciphered;
    c.clientsOpen = m_server.connectionCount();
    const zrnet::ClientCounters& backend = m_backend.counters();
    c.repliesUnknown = backend.repliesUnknown + backend.repliesMismatched;
    c.repliesTimedOut = backend.timedOut;
    c.expiredUnsent = backend.notSent;
    c.backendConnects = backend.connects;
    c.backendLost = backend.losses;
    c.backendSkippedBytes = backend.skippedBytes;
    c.backendDeciphered = backend.deciphered;
    c.inFlight = m_backend.inFlight();
    c.backendUp = backendUp() ? 1 : 0;
    return c;
}

void Relay::drain() {
    if (m_life == Life::Stopped) return;
    if (m_life == Life::Draining) {
        m_log.line(LogLevel::Warn, "stopping now, without waiting for the packets in flight");
        stopNow();
        return;
    }
    m_life = Life::Draining;
    m_log.line(LogLevel::Info, text("draining: ", m_server.connectionCount(), " clients, ", m_backend.inFlight(),
                                    " packets in flight, at most ", m_options.limits.drainTimeout.count(), " ms"));
    m_server.asyncDrain(m_options.limits.drainTimeout, [this](std::error_code error) {
        if (m_life == Life::Stopped) return;
        if (error == asio::error::timed_out) {
            m_log.line(LogLevel::Warn, text("drain timeout: the clients left closed, ", m_backend.inFlight(),
                                            " packets unanswered"));
        }
        stopNow();
    });
}

void Relay::stopNow() {
    if (m_life == Life::Stopped) return;
    m_life = Life::Stopped;
    m_counters.unansweredAtExit = m_backend.inFlight();
    m_server.close();
    m_backend.close();
    m_io.stop();
}

}  // namespace zrrelay

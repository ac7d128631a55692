// A client's connection: every change of its State is made here.
#include "client.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>

#include "proxy_header.h"
#include "relay_parts.h"

namespace zrrelay {

ClientConnection::ClientConnection(ClientHost& host, const ClientSettings& settings, asio::ip::tcp::socket socket,
                                   std::uint64_t id, const asio::ip::tcp::endpoint& peer,
                                   std::optional<AddressPlaces::Place> place)
    : m_host(host),
      m_settings(settings),
      m_socket(std::move(socket)),
      m_state(settings.acceptProxy ? State::Header : State::Reading),
      m_place(std::move(place)),
      m_readBuffer(kReadChunk),
      m_timer(m_socket.get_executor()) {
    m_session.id = id;
    m_session.client = endpointText(peer);
    m_session.start = m_lastActivity = Clock::now();
    if (!settings.acceptProxy) m_splitter.emplace(settings.meter);
}

void ClientConnection::start() {
    armTimer();
    read();
}

void ClientConnection::read() {
    if (m_state != State::Header && !m_header.empty()) std::vector<unsigned char>().swap(m_header);  // all split
    m_input = Input::Outstanding;
    m_socket.async_read_some(
        asio::buffer(m_readBuffer),
        [self = shared_from_this()](const asio::error_code& error, std::size_t n) { self->onRead(error, n); });
}

void ClientConnection::onRead(const asio::error_code& error, std::size_t n) {
    if (m_state == State::Closed) return;
    if (error && error != asio::error::eof) {
        m_input = Input::Idle;
        close(EndCode::ClientClosed, LogLevel::Info, text("read failed: ", error.message()));
        return;
    }
    if (error) {  // its last byte: it no longer holds a place
        m_input = Input::Ended;
        m_place.reset();
        m_host.inputEnded(*this);
    } else {
        m_input = Input::Idle;
    }
    switch (m_state) {
        case State::Header:
            onHeader(error ? 0 : n);
            return;
        case State::Reading:
            if (error) {
                m_splitter->finish();
            } else {
                m_splitter->feed(m_readBuffer.data(), n);
            }
            pump(SIZE_MAX);
            return;
        case State::Finishing:  // nothing more is forwarded: read to its end and drop
            if (error) {
                tryFinish();
            } else {
                read();
            }
            return;
        case State::Closing:
            if (error) {
                shut();
            } else {
                read();
            }
            return;
        case State::Paused:
        case State::Waiting:
        case State::Closed:
            return;  // no read is outstanding in these
    }
}

// --accept-proxy: the header first; the bytes after it are the stream's.
void ClientConnection::onHeader(std::size_t n) {
    m_header.insert(m_header.end(), m_readBuffer.begin(), m_readBuffer.begin() + static_cast<std::ptrdiff_t>(n));
    const ProxyHeader header = parseProxyHeader(m_header.data(), m_header.size());
    if (header.status == ProxyHeader::Status::Invalid) {
        close(EndCode::BadProxy, LogLevel::Warn, describe(header.fault));
        return;
    }
    if (header.status == ProxyHeader::Status::Incomplete) {
        if (m_input == Input::Ended) {
            close(EndCode::BadProxy, LogLevel::Warn, "its stream ended inside its PROXY header");
        } else {
            read();
        }
        return;
    }
    asio::error_code ignored;
    asio::ip::address address = m_socket.remote_endpoint(ignored).address();
    if (header.hasSource) {
        address = header.source.address();
        m_session.client = endpointText(header.source);
    }
    if (m_input != Input::Ended) {
        m_place = m_host.admit(*this, address);
        if (!m_place) {
            close(EndCode::Refused, LogLevel::Debug, "--max-clients-per-address");
            return;
        }
    }
    // Offsets count in the client's stream, the header's bytes included.
    m_splitter.emplace(m_settings.meter, header.length);
    m_state = State::Reading;
    if (header.length < m_header.size())
        m_splitter->feed(m_header.data() + header.length, m_header.size() - header.length);
    if (m_input == Input::Ended) m_splitter->finish();
    pump(SIZE_MAX);
}

void ClientConnection::resume(std::size_t turn) {
    if (m_state == State::Paused || m_state == State::Waiting) pump(turn);
}

// Forwards the packets already read while the limits allow (at most
// `budget` of them: its turn when resumed), then reads more. Whatever stops
// it resumes it when it clears: a reply or a write (Paused), its turn for
// the backend's queue (Waiting).
void ClientConnection::pump(std::size_t budget) {
    const Limits& limits = m_settings.limits;
    m_state = State::Reading;
    bool forwarded = false;
    Clock::time_point now;
    for (ZrSplitItem item;;) {
        if (m_inFlight >= limits.clientInFlight || queued() >= limits.clientQueueBytes) {
            m_state = State::Paused;
            break;
        }
        if (budget == 0 || !m_host.backendHasRoom()) {
            m_state = State::Waiting;
            m_host.waitForTurn(*this);
            break;
        }
        if (!m_splitter->next(item)) {
            if (m_input == Input::Ended) {
                finish(EndCode::ClientClosed, LogLevel::Info, "it ended its stream", true);
            } else {
                read();
            }
            break;
        }
        if (item.isPacket()) {
            if (!forwarded) now = Clock::now();  // once for the packets of a read
            forwarded = true;
            m_host.forward(*this, item, now);
            ++m_inFlight;
            ++m_session.packetsIn;
            m_session.bytesIn += item.length;
            m_lastActivity = now;
            --budget;
        } else if (item.reason != nullptr && item.reason->fault == ZrFrameFault::StreamEnd) {
            m_settings.log.line(LogLevel::Info, text("client ", id(), " (", peer(),
                                                     "): its stream ended inside a packet: ", item.length,
                                                     " bytes from offset ", item.offset, " dropped"));
        } else {
            m_settings.counters.bytesRefused += item.length;
            finish(EndCode::BadBytes, LogLevel::Warn,
                   text(item.length, " bytes at offset ", item.offset, " are not a packet: ", item.why()), true);
            break;
        }
    }
    if (forwarded) m_host.forwarded();
    countWork();
}

void ClientConnection::countWork() {
    const std::uint64_t deciphered = m_splitter->meter().work().deciphered;
    m_settings.counters.clientDeciphered += deciphered - m_workSeen;
    m_workSeen = deciphered;
}

bool ClientConnection::queueReply(const char* packet, std::size_t length, std::uint32_t sn, Clock::time_point now) {
    const Limits& limits = m_settings.limits;
    --m_inFlight;
    const std::size_t at = m_replies.size();
    m_replies.insert(m_replies.end(), packet, packet + length);
    ZrCPacketHead::fastSetSN(m_replies.data() + at, static_cast<unsigned int>(length), sn);
    ++m_session.packetsOut;
    m_session.bytesOut += length;
    m_lastActivity = now;
    if (queued() > limits.clientQueueHardBytes) {
        close(EndCode::Slow, LogLevel::Warn, text(queued(), " bytes of replies unread, over --client-queue-hard"));
        return false;
    }
    if (!m_overQueue && queued() >= limits.clientQueueBytes) {
        m_overQueue = now;  // closed if still over when --client-grace has passed
        armTimer();
    }
    return true;
}

void ClientConnection::repliesQueued() {
    write();
    if (m_state == State::Paused) pump(SIZE_MAX);  // an answered packet may let it forward again
}

void ClientConnection::write() {
    if (m_state == State::Closed || !m_writing.empty() || m_replies.empty()) return;
    std::swap(m_replies, m_writing);
    asio::async_write(m_socket, asio::buffer(m_writing),
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                          ClientConnection& c = *self;
                          c.m_writing.clear();
                          if (c.m_writing.capacity() > kKeptBufferCapacity) std::vector<char>().swap(c.m_writing);
                          if (c.m_state == State::Closed) return;
                          if (error) {
                              c.close(EndCode::ClientClosed, LogLevel::Info, text("write failed: ", error.message()));
                              return;
                          }
                          c.m_lastActivity = Clock::now();  // it takes its replies
                          if (c.m_overQueue && c.unread() < c.m_settings.limits.clientQueueBytes) c.m_overQueue.reset();
                          c.write();
                          if (c.m_state == State::Finishing) {
                              c.tryFinish();
                          } else if (c.m_state == State::Paused) {
                              c.pump(SIZE_MAX);
                          }
                          c.armTimer();
                      });
}

void ClientConnection::giveUp(std::size_t count, Unanswered why) {
    m_inFlight -= count;
    (why == Unanswered::TimedOut ? m_session.timedOut : m_session.lost) += count;
}

void ClientConnection::finish(EndCode code, LogLevel level, std::string why, bool waitInFlight) {
    if (m_state == State::Closing || m_state == State::Closed) return;
    if (m_state == State::Finishing && waitInFlight) return;  // already finishing; a reason that waits less wins
    m_ending = Ending{code, level, std::move(why), waitInFlight};
    m_state = State::Finishing;
    if (m_input == Input::Idle) read();  // to see the client's end
    tryFinish();
}

void ClientConnection::tryFinish() {
    if (m_state != State::Finishing) return;
    if ((m_ending.waitInFlight && m_inFlight > 0) || queued() > 0) return;
    m_state = State::Closing;
    m_closingSince = Clock::now();
    m_overQueue.reset();
    if (m_input == Input::Ended) {
        shut();
        return;
    }
    asio::error_code ignored;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    armTimer();
}

void ClientConnection::close(EndCode code, LogLevel level, std::string why) {
    if (m_state == State::Closed) return;
    if (!finishing()) m_ending = Ending{code, level, std::move(why), true};
    shut();
}

// The end of the session: its line, its counter, its place given back.
void ClientConnection::shut() {
    const auto self = shared_from_this();  // the host may hold the last other reference
    m_state = State::Closed;
    m_place.reset();
    asio::error_code ignored;
    m_socket.close(ignored);
    ++m_timerRound;
    m_timer.cancel();
    m_session.end = m_ending.code;
    m_session.reason = m_ending.why;
    if (std::uint64_t Counters::*counter = Counters::closedCounter(m_ending.code)) {
        ++(m_settings.counters.*counter);
        m_settings.log.event(m_ending.level, "session", m_session.fields(Clock::now()));
    }
    m_host.closed(*this);
}

// Replies not yet taken by the client: those queued here and those the
// system holds unsent (what a client that stopped reading leaves there grows
// with the socket's send buffer, megabytes; bytes sent and not yet
// acknowledged are on their way, not left unread).
std::size_t ClientConnection::unread() {
    int unsent = 0;
    if (ioctl(m_socket.native_handle(), SIOCOUTQNSD, &unsent) != 0 || unsent < 0) unsent = 0;
    return queued() + static_cast<std::size_t>(unsent);
}

// The limit on a client that sends nothing: --client-first until its first
// packet, then --client-idle while nothing of it is in flight (replies it
// does not take included); none while the relay holds it (Paused, Waiting).
std::optional<ClientConnection::QuietLimit> ClientConnection::quietLimit() const {
    const Limits& limits = m_settings.limits;
    if (m_state != State::Header && m_state != State::Reading && m_state != State::Finishing) return std::nullopt;
    if (m_session.packetsIn == 0) return QuietLimit{EndCode::NoPacket, m_session.start + limits.clientFirst};
    if (m_inFlight > 0) return std::nullopt;
    return QuietLimit{EndCode::Idle, m_lastActivity + limits.clientIdle};
}

// The earliest time limit that applies in its state.
ClientConnection::Clock::time_point ClientConnection::nextDeadline() const {
    const Limits& limits = m_settings.limits;
    if (m_state == State::Closed) return Clock::time_point::max();
    if (m_state == State::Closing) return m_closingSince + limits.clientGrace;
    Clock::time_point at = Clock::time_point::max();
    if (m_overQueue) at = *m_overQueue + limits.clientGrace;
    if (const std::optional<QuietLimit> quiet = quietLimit()) at = std::min(at, quiet->at);
    return at;
}

// Sets the timer for the earliest limit unless it waits for one earlier
// still; a timer that fires early finds nothing due and waits again.
void ClientConnection::armTimer() {
    const Clock::time_point at = nextDeadline();
    if (at >= m_timerAt) return;
    m_timerAt = at;
    const std::uint64_t round = ++m_timerRound;
    m_timer.expires_at(at);
    m_timer.async_wait([self = shared_from_this(), round](const asio::error_code& error) {
        if (error || round != self->m_timerRound) return;
        self->m_timerAt = Clock::time_point::max();
        self->onTimer();
    });
}

void ClientConnection::onTimer() {
    const Limits& limits = m_settings.limits;
    const Clock::time_point now = Clock::now();
    if (m_state == State::Closed) return;
    if (m_state == State::Closing) {
        if (now >= m_closingSince + limits.clientGrace) {  // it did not end its stream within the grace time
            shut();
            return;
        }
    } else {
        if (m_overQueue && now >= *m_overQueue + limits.clientGrace) {
            const std::size_t unread = this->unread();
            if (unread >= limits.clientQueueBytes) {
                close(EndCode::Slow, LogLevel::Warn,
                      text(unread, " bytes of replies left unread for ", limits.clientGrace.count(),
                           " ms (--client-queue, --client-grace)"));
                return;
            }
            m_overQueue.reset();  // it read in time; the next time over starts a new grace
        }
        if (const std::optional<QuietLimit> quiet = quietLimit(); quiet && now >= quiet->at) {
            close(quiet->code, LogLevel::Info,
                  quiet->code == EndCode::NoPacket
                      ? text("no whole packet within ", limits.clientFirst.count(), " ms (--client-first)")
                      : text("idle for ", limits.clientIdle.count(), " ms (--client-idle)"));
            return;
        }
    }
    armTimer();
}

}  // namespace zrrelay

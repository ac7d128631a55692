// A client's connection on a zrnet::Server: every change of its State is
// made here.
#include <algorithm>
#include <sstream>

#include "server_core.h"

namespace zrnet::detail {
namespace {

template <class... Args>
std::string text(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

}  // namespace

Peer::Peer(std::shared_ptr<ServerCore> core, std::uint64_t id, const asio::ip::tcp::endpoint& peer,
           std::optional<AddressPlaces::Place> place)
    : m_core(std::move(core)),
      m_options(m_core->options()),
      m_state(m_options.acceptProxy ? State::Header : State::Reading),
      m_place(std::move(place)),
      m_timer(m_core->executor()) {
    m_session.id = id;
    m_session.client = endpointText(peer);
    m_session.start = m_lastActivity = Clock::now();
}

void Peer::start(asio::ip::tcp::socket socket) {
    m_connection = std::make_shared<Connection>(std::move(socket), weak_from_this(), m_queue, m_options.meter);
    armTimer();
    m_connection->start(m_options.acceptProxy ? Connection::Start::ProxyHeader : Connection::Start::Packets);
}

// --- requests ---------------------------------------------------------------

// Before each request: its own limits, then the gate's room (its turn, when
// it had to wait for one, passes the gate once).
bool Peer::ready(Connection&) {
    if (m_inFlight >= m_options.maxInFlight || queued() >= m_options.maxQueuedBytes) {
        m_state = State::Paused;
        m_turn = 0;  // a turn is not kept for later: it asks the gate again once it reads
        return false;
    }
    if (m_turn == 0 && m_core->gated() && !m_core->gate.hasRoom()) {
        m_state = State::Waiting;
        m_core->gate.wait(Resume(weak_from_this()));
        if (m_turn == 0) return false;  // unless the wait gave its turn at once
    }
    if (m_turn > 0) --m_turn;
    m_state = State::Reading;
    return true;
}

void Peer::takeTurn() {
    if (m_state != State::Waiting) return;
    m_turn = 1;
    m_connection->resume();  // inside ready() (a turn given at once) it is not held yet: ready() takes the turn
}

void Peer::received(Connection&, const ZrSplitItem& item) {
    ServerCounters& counters = m_core->counters();
    if (!item.isPacket()) {
        if (item.reason != nullptr && item.reason->fault == ZrFrameFault::StreamEnd) {
            m_streamEnd = text("its stream ended inside a packet: ", item.length, " bytes from offset ", item.offset,
                               " dropped");
            return;
        }
        counters.skippedBytes += item.length;
        if (m_options.badBytes == BadBytes::Close) {
            finish(EndCode::BadBytes,
                   text(item.length, " bytes at offset ", item.offset, " are not a packet: ", item.why()), true);
        }
        return;
    }
    ++m_inFlight;
    ++m_session.packetsIn;
    m_session.bytesIn += item.length;
    ++counters.requests;
    counters.requestBytes += item.length;
    m_tookPacket = true;
    if (m_options.order == ReplyOrder::AsAsked) m_pending.emplace_back();
    const std::uint32_t sn = ZrCPacketHead::fastGetSN(item.chars(), static_cast<unsigned int>(item.length));
    const char* error = m_core->dispatch(item, Responder(shared_from_this(), m_nextSeq++, sn));
    if (error != nullptr) {
        finish(EndCode::BadBytes, text("the packet at offset ", item.offset, " did not decode: ", error), true);
    }
}

void Peer::readDone(Connection& connection) {
    const std::uint64_t deciphered = connection.deciphered();
    m_core->counters().deciphered += deciphered - m_decipheredSeen;
    m_decipheredSeen = deciphered;
    if (m_tookPacket) {  // once for the packets of a read
        m_tookPacket = false;
        m_lastActivity = Clock::now();
    }
}

// acceptProxy: the header names the client, whose address takes the place.
void Peer::headerRead(Connection& connection, const ProxyHeader& header) {
    if (header.status != ProxyHeader::Status::Complete) {
        close(EndCode::BadProxy, describe(header.fault));
        return;
    }
    asio::error_code ignored;
    asio::ip::address address = connection.socket().remote_endpoint(ignored).address();
    if (header.hasSource) {
        address = header.source.address();
        m_session.client = endpointText(header.source);
    }
    m_place = m_core->place(address);
    if (!m_place) {
        close(EndCode::RefusedAddress, text(m_core->addressLimit(), " clients of its address already"));
        return;
    }
    m_state = State::Reading;
}

// --- replies ----------------------------------------------------------------

void Peer::reply(std::uint64_t seq, std::uint32_t sn, const char* bytes, std::size_t length) {
    --m_inFlight;
    if (m_state == State::Closing || m_state == State::Closed ||
        (m_options.order == ReplyOrder::AsAsked && seq < m_firstPending)) {  // held replies dropped
        ++m_core->counters().repliesDropped;
        answered(seq);
        return;
    }
    if (m_inFlight == 0) m_lastActivity = Clock::now();  // the idle time counts from its last answer
    if (m_options.order == ReplyOrder::AsAnswered || seq == m_firstPending) {
        queueReply(bytes, length, sn);
    } else {  // held for its turn
        Pending& pending = m_pending[seq - m_firstPending];
        pending.reply.assign(bytes, bytes + length);
        pending.sn = sn;
        m_heldBytes += length;
    }
    answered(seq);
}

void Peer::unanswered(std::uint64_t seq) {
    --m_inFlight;
    answered(seq);
}

void Peer::giveUp(std::uint64_t seq, Unanswered why, std::string reason) {
    ++(why == Unanswered::TimedOut ? m_session.timedOut : m_session.lost);
    unanswered(seq);
    if (why == Unanswered::TimedOut) {
        finish(EndCode::Deadline, std::move(reason), true);
    } else {
        finish(EndCode::BackendLost, std::move(reason), false);
    }
}

// The request has its answer (or none): AsAsked, the answers now first in
// line go out. Then a connection paused for it reads again, and one
// finishing may be done.
void Peer::answered(std::uint64_t seq) {
    if (m_options.order == ReplyOrder::AsAsked && seq >= m_firstPending) {
        m_pending[seq - m_firstPending].answered = true;
        while (!m_pending.empty() && m_pending.front().answered && m_state != State::Closed) {
            Pending& first = m_pending.front();
            if (!first.reply.empty()) {
                m_heldBytes -= first.reply.size();
                if (m_state != State::Closing) queueReply(first.reply.data(), first.reply.size(), first.sn);
            }
            m_pending.pop_front();
            ++m_firstPending;
        }
    }
    if (m_state == State::Closed || m_state == State::Closing) return;
    m_connection->flushSoon();
    if (m_state == State::Paused) {
        m_connection->resume();
    } else if (m_state == State::Finishing) {
        tryFinish();
    }
}

void Peer::queueReply(const char* bytes, std::size_t length, std::uint32_t sn) {
    std::vector<char>& queue = m_queue.queued();
    const std::size_t at = queue.size();
    queue.insert(queue.end(), bytes, bytes + length);
    ZrCPacketHead::fastSetSN(queue.data() + at, static_cast<unsigned int>(length), sn);
    ++m_session.packetsOut;
    m_session.bytesOut += length;
    ServerCounters& counters = m_core->counters();
    ++counters.replies;
    counters.replyBytes += length;
    if (queued() > m_options.maxQueuedBytesHard) {
        close(EndCode::Slow, text(queued(), " bytes of replies unread, over the hard limit"));
        return;
    }
    if (!m_overQueue && queued() >= m_options.maxQueuedBytes) {
        m_overQueue = Clock::now();  // closed if still over when the grace time has passed
        armTimer();
    }
}

void Peer::written(Connection& connection) {
    m_lastActivity = Clock::now();  // it takes its replies
    if (m_overQueue && queued() + connection.unsentInSystem() < m_options.maxQueuedBytes) m_overQueue.reset();
    if (m_state == State::Finishing) {
        tryFinish();
    } else if (m_state == State::Paused) {
        connection.resume();
    }
    armTimer();
}

// --- the end ------------------------------------------------------------------

void Peer::ended(Connection&) {
    m_inputEnded = true;
    m_place.reset();  // a client that ended its stream holds no place
    m_core->inputEnded();
    switch (m_state) {
        case State::Closing:  // the end it was waiting for
            shut();
            return;
        case State::Finishing:
            tryFinish();
            return;
        default:
            finish(EndCode::ClientClosed, m_streamEnd.empty() ? "it ended its stream" : m_streamEnd, true);
            return;
    }
}

void Peer::closed(Connection&, const std::error_code& why) {
    close(EndCode::ClientClosed, text("its connection failed: ", why.message()));
}

void Peer::finish(EndCode code, std::string why, bool waitInFlight) {
    if (m_state == State::Closing || m_state == State::Closed) return;
    if (m_state == State::Finishing && waitInFlight) return;  // already finishing; a reason that waits less wins
    m_ending = Ending{code, std::move(why), waitInFlight};
    m_state = State::Finishing;
    if (!waitInFlight && !m_pending.empty()) {  // the replies held for an unanswered one are not waited for
        m_core->counters().repliesDropped += static_cast<std::uint64_t>(
            std::count_if(m_pending.begin(), m_pending.end(), [](const Pending& p) { return !p.reply.empty(); }));
        m_firstPending += m_pending.size();
        m_pending.clear();
        m_heldBytes = 0;
    }
    m_connection->dropInput();
    tryFinish();
}

void Peer::tryFinish() {
    if (m_state != State::Finishing) return;
    if ((m_ending.waitInFlight && m_inFlight > 0) || queued() > 0) return;
    m_state = State::Closing;
    m_closingSince = Clock::now();
    m_overQueue.reset();
    if (m_connection->input() == Connection::Input::Ended) {
        shut();
        return;
    }
    m_connection->shutdownSend();
    armTimer();
}

void Peer::close(EndCode code, std::string why) {
    if (m_state == State::Closed) return;
    if (m_state != State::Finishing && m_state != State::Closing) m_ending = Ending{code, std::move(why), true};
    shut();
}

// The end of the session: its record, its place given back.
void Peer::shut() {
    const auto self = shared_from_this();  // the core holds the last other reference
    m_state = State::Closed;
    m_place.reset();
    m_connection->close();
    ++m_timerRound;
    m_timer.cancel();
    m_session.end = m_ending.code;
    m_session.reason = m_ending.why;
    m_core->ended(*this, m_session, m_inputEnded);
}

// --- time limits ----------------------------------------------------------------

// The limit on a client that sends nothing: firstPacket until its first
// packet, then idle while nothing of it is in flight (replies it does not
// take included); none while the server holds it (Paused, Waiting).
std::optional<Peer::QuietLimit> Peer::quietLimit() const {
    if (m_state != State::Header && m_state != State::Reading && m_state != State::Finishing) return std::nullopt;
    if (m_session.packetsIn == 0) return QuietLimit{EndCode::NoPacket, m_session.start + m_options.firstPacket};
    if (m_inFlight > 0) return std::nullopt;
    return QuietLimit{EndCode::Idle, m_lastActivity + m_options.idle};
}

// The earliest time limit that applies in its state.
Clock::time_point Peer::nextDeadline() const {
    if (m_state == State::Closed) return Clock::time_point::max();
    if (m_state == State::Closing) return m_closingSince + m_options.grace;
    Clock::time_point at = Clock::time_point::max();
    if (m_overQueue) at = *m_overQueue + m_options.grace;
    if (const std::optional<QuietLimit> quiet = quietLimit()) at = std::min(at, quiet->at);
    return at;
}

// Sets the timer for the earliest limit unless it waits for one earlier
// still; a timer that fires early finds nothing due and waits again.
void Peer::armTimer() {
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

void Peer::onTimer() {
    const Clock::time_point now = Clock::now();
    if (m_state == State::Closed) return;
    if (m_state == State::Closing) {
        if (now >= m_closingSince + m_options.grace) {  // it did not end its stream within the grace time
            shut();
            return;
        }
    } else {
        if (m_overQueue && now >= *m_overQueue + m_options.grace) {
            const std::size_t unread = queued() + m_connection->unsentInSystem();
            if (unread >= m_options.maxQueuedBytes) {
                close(EndCode::Slow,
                      text(unread, " bytes of replies left unread for ", m_options.grace.count(), " ms"));
                return;
            }
            m_overQueue.reset();  // it read in time; the next time over starts a new grace
        }
        if (const std::optional<QuietLimit> quiet = quietLimit(); quiet && now >= quiet->at) {
            close(quiet->code, quiet->code == EndCode::NoPacket
                                   ? text("no whole packet within ", m_options.firstPacket.count(), " ms")
                                   : text("idle for ", m_options.idle.count(), " ms"));
            return;
        }
    }
    armTimer();
}

}  // namespace zrnet::detail

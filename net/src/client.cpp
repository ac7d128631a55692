// zrnet::Client: the connection's life (connect, back off, reconnect), and
// each request's (queued, written, answered or expired).
#include "zr_net_client.h"

#include <array>
#include <cstring>
#include <deque>
#include <utility>

#include "request_table.h"
#include "zr_basic_packets.h"
#include "zr_net_connection.h"

namespace zrnet {
namespace detail {

using State = RequestSlot::State;

class ClientCore final : public Connection::Owner, public std::enable_shared_from_this<ClientCore> {
public:
    ClientCore(asio::io_context& io, ClientOptions options)
        : m_io(io),
          m_options(std::move(options)),
          m_resolver(io),
          m_socket(io),
          m_linkTimer(io),
          m_deadlineTimer(io) {}
    ~ClientCore() {
        if (m_connection) m_connection->close();
        m_table.forEach([this](std::uint32_t slot) { m_table[slot].op->destroy(); });
    }

    void start() {
        if (m_state == LinkState::Idle) connect();
    }
    void close();
    std::error_code submit(const char* bytes, std::size_t length, const RequestOptions& options, MakeOp make,
                           void* context, std::error_code refused);
    void waitForRoom(std::unique_ptr<WaitOp> op) {
        if (m_state == LinkState::Closed) {
            complete(std::move(op), asio::error::operation_aborted);
        } else if (m_waiters.empty() && m_woken == 0 && roomFor(1)) {
            complete(std::move(op), std::error_code());
        } else {
            m_waiters.push_back(std::move(op));
        }
    }

    bool onThread() const { return m_io.get_executor().running_in_this_thread(); }
    IoExecutor executor() const { return m_io.get_executor(); }
    const ClientOptions& options() const { return m_options; }
    LinkState state() const { return m_state; }
    std::size_t inFlight() const { return m_table.size(); }
    // Room that no waiter has been told of, and none waits for.
    bool hasRoom() const { return m_state != LinkState::Closed && m_waiters.empty() && m_woken == 0 && roomFor(1); }
    const ClientCounters& counters() const { return m_counters; }
    void onLink(std::function<void(const LinkEvent&)> handler) { m_onLink = std::move(handler); }
    void onUnmatched(std::function<void(const ZrSplitItem&, Unmatched)> handler) { m_onUnmatched = std::move(handler); }

private:
    // Connection::Owner
    void received(Connection& connection, const ZrSplitItem& item) override;
    void readDone(Connection& connection) override;
    void writing(Connection& connection, std::size_t bytes) override;
    void written(Connection&) override { wakeWaiters(); }
    void ended(Connection& connection) override {  // the server ended its stream: the connection is lost
        connection.close();
        closed(connection, asio::error::eof);
    }
    void closed(Connection& connection, const std::error_code& why) override;

    // The connection.
    void connect();
    template <class Endpoints>
    void connectTo(const Endpoints& endpoints, std::uint64_t attempt);
    void connected(const asio::ip::tcp::endpoint& endpoint);
    void tryFailed(const std::error_code& why);
    std::chrono::milliseconds waitThenConnect();
    void emit(const LinkEvent& event) {
        if (m_onLink) m_onLink(event);
    }
    void unmatched(const ZrSplitItem& item, Unmatched why) {
        if (m_onUnmatched) m_onUnmatched(item, why);
    }

    // Requests.
    std::error_code admit(const char* bytes, std::size_t length, const RequestOptions& options) const;
    std::uint32_t takeSN();
    void finish(std::uint32_t slot, const std::error_code& error, const ZrSplitItem* reply = nullptr);
    void armDeadline();
    void expire();
    void dropLeftFromQueue();
    std::size_t failAll(State state, const std::error_code& error);

    // Room.
    bool roomFor(std::size_t requests) const {
        return m_table.size() + requests <= m_options.maxInFlight && m_queue.bytes() < m_options.maxQueuedBytes;
    }
    void wakeWaiters();
    void complete(std::unique_ptr<WaitOp> op, const std::error_code& error);

    asio::io_context& m_io;
    const ClientOptions m_options;
    LinkState m_state = LinkState::Idle;
    std::uint64_t m_attempt = 0;  // handlers of an earlier try do nothing
    std::chrono::milliseconds m_backoff{0};
    asio::ip::tcp::resolver m_resolver;
    asio::ip::tcp::socket m_socket;  // the one being connected
    asio::steady_timer m_linkTimer;  // Connecting: the connect timeout; Waiting: the backoff
    std::shared_ptr<Connection> m_connection;
    std::uint64_t m_decipheredSeen = 0;  // of the connection's deciphering, counted so far
    WriteQueue m_queue;  // outlives connections: what is queued waits for the next one

    RequestTable m_table;
    std::vector<std::uint32_t> m_unsent;  // Queued slots, in the order of their bytes in the queue
    std::uint32_t m_nextSN = 1;
    asio::steady_timer m_deadlineTimer;
    Clock::time_point m_timerAt = Clock::time_point::max();  // what it waits for; max: nothing

    std::deque<std::unique_ptr<WaitOp>> m_waiters;
    std::size_t m_woken = 0;  // waiters told of room whose handlers have not run yet

    ClientCounters m_counters;
    std::function<void(const LinkEvent&)> m_onLink;
    std::function<void(const ZrSplitItem&, Unmatched)> m_onUnmatched;
};

// --- the connection -------------------------------------------------------

void ClientCore::connect() {
    m_state = LinkState::Connecting;
    const std::uint64_t attempt = ++m_attempt;
    m_linkTimer.expires_after(m_options.connectTimeout);
    m_linkTimer.async_wait([weak = weak_from_this(), attempt](const asio::error_code& error) {
        const auto core = weak.lock();
        if (!core || error || attempt != core->m_attempt) return;
        core->tryFailed(asio::error::timed_out);
    });
    asio::error_code notAnAddress;
    const asio::ip::address address = asio::ip::make_address(m_options.host, notAnAddress);
    if (!notAnAddress) {  // no resolver (and no resolver thread) for an address
        connectTo(std::array<asio::ip::tcp::endpoint, 1>{{{address, m_options.port}}}, attempt);
        return;
    }
    m_resolver.async_resolve(m_options.host, std::to_string(m_options.port),
                             [weak = weak_from_this(), attempt](const asio::error_code& error,
                                                                const asio::ip::tcp::resolver::results_type& results) {
                                 const auto core = weak.lock();
                                 if (!core || attempt != core->m_attempt) return;
                                 if (error) {
                                     core->tryFailed(error);
                                 } else {
                                     core->connectTo(results, attempt);
                                 }
                             });
}

template <class Endpoints>
void ClientCore::connectTo(const Endpoints& endpoints, std::uint64_t attempt) {
    m_socket = asio::ip::tcp::socket(m_io);
    asio::async_connect(m_socket, endpoints,
                        [weak = weak_from_this(), attempt](const asio::error_code& error,
                                                           const asio::ip::tcp::endpoint& endpoint) {
                            const auto core = weak.lock();
                            if (!core || attempt != core->m_attempt) return;
                            if (error) {
                                core->tryFailed(error);
                            } else {
                                core->connected(endpoint);
                            }
                        });
}

void ClientCore::connected(const asio::ip::tcp::endpoint& endpoint) {
    ++m_attempt;  // the connect timeout's handler does nothing
    m_linkTimer.cancel();
    m_state = LinkState::Connected;
    m_backoff = std::chrono::milliseconds(0);
    ++m_counters.connects;
    m_connection = std::make_shared<Connection>(std::move(m_socket), weak_from_this(), m_queue, m_options.meter);
    m_decipheredSeen = 0;
    m_connection->start();
    m_connection->flushSoon();
    emit({LinkEvent::Kind::Connected, endpoint, {}, m_unsent.size(), {}});
}

void ClientCore::tryFailed(const std::error_code& why) {
    ++m_counters.connectFailures;
    ++m_attempt;
    m_resolver.cancel();
    asio::error_code ignored;
    m_socket.close(ignored);
    const std::chrono::milliseconds wait = waitThenConnect();
    emit({LinkEvent::Kind::ConnectFailed, {}, why, 0, wait});
}

// Waits backoffMin after a connection, otherwise twice the last wait up to
// backoffMax; then connects.
std::chrono::milliseconds ClientCore::waitThenConnect() {
    m_backoff = m_backoff.count() == 0 ? m_options.backoffMin : std::min(2 * m_backoff, m_options.backoffMax);
    m_state = LinkState::Waiting;
    m_linkTimer.expires_after(m_backoff);
    m_linkTimer.async_wait([weak = weak_from_this(), attempt = m_attempt](const asio::error_code& error) {
        const auto core = weak.lock();
        if (core && !error && attempt == core->m_attempt) core->connect();
    });
    return m_backoff;
}

// Requests written to the connection will get no reply; those queued wait
// for the next one.
void ClientCore::closed(Connection& connection, const std::error_code& why) {
    if (&connection != m_connection.get()) return;
    m_connection.reset();
    ++m_counters.losses;
    const std::size_t lost = failAll(State::Written, Error::ConnectionLost);
    const std::chrono::milliseconds wait = waitThenConnect();
    wakeWaiters();
    emit({LinkEvent::Kind::Lost, {}, why, lost, wait});
}

void ClientCore::close() {
    if (m_state == LinkState::Closed) return;
    m_state = LinkState::Closed;
    ++m_attempt;
    m_resolver.cancel();
    m_linkTimer.cancel();
    m_deadlineTimer.cancel();
    m_timerAt = Clock::time_point::max();
    asio::error_code ignored;
    m_socket.close(ignored);
    if (m_connection) {
        m_connection->close();
        m_connection.reset();
    }
    failAll(State::Written, Error::ConnectionLost);
    failAll(State::Queued, asio::error::operation_aborted);
    m_unsent.clear();
    m_queue.queued().clear();
    while (!m_waiters.empty()) {
        complete(std::move(m_waiters.front()), asio::error::operation_aborted);
        m_waiters.pop_front();
    }
}

// --- requests -------------------------------------------------------------

std::error_code ClientCore::admit(const char* bytes, std::size_t length, const RequestOptions& options) const {
    if (m_state == LinkState::Closed) return asio::error::operation_aborted;
    if (!packetShaped(bytes, length, m_options.meter.maxPacketLength)) return Error::NotAPacket;
    if (!roomFor(m_woken + 1)) return Error::Busy;
    if (options.keepSN &&
        m_table.find(ZrCPacketHead::fastGetSN(bytes, static_cast<unsigned int>(length))) != kNoSlot) {
        return Error::DuplicateSN;
    }
    return {};
}

// The next SN, after the last one given, that no request held has (never 0).
std::uint32_t ClientCore::takeSN() {
    for (;;) {
        const std::uint32_t sn = m_nextSN++;
        if (sn != 0 && m_table.find(sn) == kNoSlot) return sn;
    }
}

std::error_code ClientCore::submit(const char* bytes, std::size_t length, const RequestOptions& options,
                                   MakeOp make, void* context, std::error_code refused) {
    const std::error_code why = refused ? refused : admit(bytes, length, options);
    if (why) {
        ++m_counters.refused;
        return why;
    }
    const auto size = static_cast<unsigned int>(length);
    const std::uint32_t sn = options.keepSN ? ZrCPacketHead::fastGetSN(bytes, size) : takeSN();
    const std::chrono::milliseconds timeout = options.timeout.count() > 0 ? options.timeout : m_options.timeout;
    const std::uint32_t slot = m_table.add(sn, ZrCPacketHead::fastGetCmdID(bytes, size), Clock::now() + timeout);
    RequestSlot& s = m_table[slot];
    try {
        s.op = make(context, s.storage, sizeof s.storage);
    } catch (...) {
        m_table.remove(slot);
        throw;
    }
    std::vector<char>& queue = m_queue.queued();
    s.offset = queue.size();
    s.length = length;
    queue.insert(queue.end(), bytes, bytes + length);
    if (!options.keepSN) ZrCPacketHead::fastSetSN(queue.data() + s.offset, size, sn);
    m_unsent.push_back(slot);
    ++m_counters.requests;
    armDeadline();
    if (m_connection) m_connection->flushSoon();
    return {};
}

// A reply is the packet with the SN and command of a request written.
void ClientCore::received(Connection&, const ZrSplitItem& item) {
    if (!item.isPacket()) {
        m_counters.skippedBytes += item.length;
        unmatched(item, Unmatched::NotAPacket);
        return;
    }
    m_counters.bytesIn += item.length;
    const auto length = static_cast<unsigned int>(item.length);
    const std::uint32_t slot = m_table.find(ZrCPacketHead::fastGetSN(item.chars(), length));
    if (slot == kNoSlot || m_table[slot].state != State::Written) {
        ++m_counters.repliesUnknown;
        unmatched(item, Unmatched::UnknownSN);
        return;
    }
    if (m_table[slot].cmdID != ZrCPacketHead::fastGetCmdID(item.chars(), length)) {
        ++m_counters.repliesMismatched;
        unmatched(item, Unmatched::OtherCommand);
        return;
    }
    ++m_counters.replies;
    finish(slot, std::error_code(), &item);
}

// Frees the slot, then completes its op: inline with a reply, otherwise
// posted (nothing the handler does can then disturb the caller).
void ClientCore::finish(std::uint32_t slot, const std::error_code& error, const ZrSplitItem* reply) {
    RequestOp* op = m_table[slot].op;
    m_table.remove(slot);
    if (reply != nullptr) {
        op->complete(error, reply->chars(), reply->length, true);
    } else {
        op->complete(error, nullptr, 0, false);
    }
}

// Completes every request in `state`; returns how many.
std::size_t ClientCore::failAll(State state, const std::error_code& error) {
    std::vector<std::uint32_t> slots;
    m_table.forEach([&](std::uint32_t slot) {
        if (m_table[slot].state == state) slots.push_back(slot);
    });
    for (const std::uint32_t slot : slots) finish(slot, error);
    (state == State::Written ? m_counters.lost : m_counters.aborted) += slots.size();
    return slots.size();
}

void ClientCore::readDone(Connection& connection) {
    const std::uint64_t deciphered = connection.deciphered();
    m_counters.deciphered += deciphered - m_decipheredSeen;
    m_decipheredSeen = deciphered;
    wakeWaiters();
}

// Handing the queue to the socket sends every request in it.
void ClientCore::writing(Connection&, std::size_t bytes) {
    for (const std::uint32_t slot : m_unsent) m_table[slot].state = State::Written;
    m_unsent.clear();
    ++m_counters.writes;
    m_counters.bytesOut += bytes;
}

// The timer waits for the earliest deadline; arming it again only when a
// request's deadline comes before that.
void ClientCore::armDeadline() {
    if (m_table.empty() || m_state == LinkState::Closed) return;
    const Clock::time_point at = m_table.nextDeadline();
    if (at >= m_timerAt) return;
    m_timerAt = at;
    m_deadlineTimer.expires_at(at);
    m_deadlineTimer.async_wait([weak = weak_from_this(), at](const asio::error_code& error) {
        const auto core = weak.lock();
        if (!core || error || at != core->m_timerAt) return;
        core->m_timerAt = Clock::time_point::max();
        core->expire();
    });
}

// Requests past their deadline: a queued one leaves the queue unsent, a
// written one has timed out (its reply, if it comes, will be unknown).
void ClientCore::expire() {
    const Clock::time_point now = Clock::now();
    bool leftQueue = false;
    while (!m_table.empty() && m_table.nextDeadline() <= now) {
        const std::uint32_t slot = m_table.earliest();
        if (m_table[slot].state == State::Queued) {
            leftQueue = true;
            ++m_counters.notSent;
            finish(slot, Error::NotSent);
        } else {
            ++m_counters.timedOut;
            finish(slot, Error::TimedOut);
        }
    }
    if (leftQueue) dropLeftFromQueue();
    armDeadline();
    wakeWaiters();
}

// The queue holds the bytes of the slots in m_unsent, in order; those of
// slots no longer queued (their requests have left the table, and the
// slots are not reused before this runs) are cut out.
void ClientCore::dropLeftFromQueue() {
    std::vector<char>& queue = m_queue.queued();
    std::size_t to = 0, kept = 0;
    for (const std::uint32_t slot : m_unsent) {
        RequestSlot& s = m_table[slot];
        if (s.state != State::Queued) continue;
        if (s.offset != to) std::memmove(queue.data() + to, queue.data() + s.offset, s.length);
        s.offset = to;
        to += s.length;
        m_unsent[kept++] = slot;
    }
    queue.resize(to);
    m_unsent.resize(kept);
}

// --- room -----------------------------------------------------------------

// Tells the first waiter of room; its handler runs in a turn of its own, and
// the next is told once it has run (a request's bytes are not known before
// it is made, so room is promised to one waiter at a time).
void ClientCore::wakeWaiters() {
    if (!m_waiters.empty() && m_woken == 0 && roomFor(1)) {
        ++m_woken;
        asio::post(m_io, [weak = weak_from_this(), op = std::move(m_waiters.front())]() mutable {
            const auto core = weak.lock();
            if (core) --core->m_woken;
            op->complete(std::error_code());
            if (core) core->wakeWaiters();
        });
        m_waiters.pop_front();
    }
}

void ClientCore::complete(std::unique_ptr<WaitOp> op, const std::error_code& error) {
    asio::post(m_io, [op = std::move(op), error] { op->complete(error); });
}

// --- what the header's templates call ---------------------------------------

std::error_code submit(ClientCore& core, const char* bytes, std::size_t length, const RequestOptions& options,
                       MakeOp make, void* context, std::error_code refused) {
    return core.submit(bytes, length, options, make, context, refused);
}
bool onThread(const ClientCore& core) { return core.onThread(); }
IoExecutor ioExecutor(const ClientCore& core) { return core.executor(); }
std::shared_ptr<ClientCore> share(ClientCore& core) { return core.shared_from_this(); }
std::size_t maxPacketLength(const ClientCore& core) { return core.options().meter.maxPacketLength; }
void waitForRoom(ClientCore& core, std::unique_ptr<WaitOp> op) { core.waitForRoom(std::move(op)); }

std::vector<char>& encodeScratch() {
    thread_local std::vector<char> scratch;
    return scratch;
}

}  // namespace detail

// --- Client ---------------------------------------------------------------

Client::Client(asio::io_context& io, ClientOptions options)
    : m_core(std::make_shared<detail::ClientCore>(io, std::move(options))) {}

Client::~Client() { close(); }

Client::executor_type Client::get_executor() const noexcept { return m_core->executor(); }

void Client::start() {
    asio::dispatch(m_core->executor(), [core = m_core] { core->start(); });
}

void Client::close() {
    asio::dispatch(m_core->executor(), [core = m_core] { core->close(); });
}

void Client::onLink(std::function<void(const LinkEvent&)> handler) { m_core->onLink(std::move(handler)); }
void Client::onUnmatched(std::function<void(const ZrSplitItem&, Unmatched)> handler) {
    m_core->onUnmatched(std::move(handler));
}
LinkState Client::state() const { return m_core->state(); }
std::size_t Client::inFlight() const { return m_core->inFlight(); }
bool Client::hasRoom() const { return m_core->hasRoom(); }
const ClientCounters& Client::counters() const { return m_core->counters(); }

}  // namespace zrnet

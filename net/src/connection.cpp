// A connection's reading (its Input) and batched writes: every change of
// its Input is made here.
#include "zr_net_connection.h"

#ifdef __linux__
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

#include <utility>

#include "zr_basic_packets.h"

namespace zrnet {

bool packetShaped(const char* bytes, std::size_t length, std::size_t maxLength) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    return length >= ZrCkeepAlivePacket::PACKET_LEN && length <= maxLength && p[0] == _STX_ && p[length - 1] == _ETX_;
}

Connection::Connection(asio::ip::tcp::socket socket, std::weak_ptr<Owner> owner, WriteQueue& queue,
                       const ZrPacketMeter::Options& meter)
    : m_socket(std::move(socket)), m_owner(std::move(owner)), m_queue(queue), m_meter(meter) {}

void Connection::start(Start with) {
    asio::error_code ignored;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (with == Start::ProxyHeader) {
        m_input = Input::Header;
    } else {
        m_splitter.emplace(m_meter);
    }
    read();
}

void Connection::read() {
    if (m_input != Input::Header && !m_header.empty()) std::vector<unsigned char>().swap(m_header);  // all split
    m_socket.async_read_some(asio::buffer(m_readBuffer),
                             [self = shared_from_this()](const asio::error_code& error, std::size_t n) {
                                 self->onRead(error, n);
                             });
}

void Connection::onRead(const std::error_code& error, std::size_t n) {
    if (m_state == State::Closed) return;
    const std::shared_ptr<Owner> owner = m_owner.lock();
    if (!owner) return;  // an owner closes its connection before it goes; the socket goes with the last handler
    if (error && error != asio::error::eof) {
        fail(error);
        return;
    }
    const bool end = static_cast<bool>(error);
    switch (m_input) {
        case Input::Header:
            onHeader(owner, end ? 0 : n, end);
            return;
        case Input::Reading:
            if (end) {
                m_splitter->finish();
            } else {
                m_splitter->feed(m_readBuffer.data(), n);
            }
            handOut(owner, end);
            return;
        case Input::Dropping:
            if (!end) {
                read();
                return;
            }
            m_input = Input::Ended;
            owner->ended(*this);
            return;
        case Input::Held:
        case Input::HeldAtEnd:
        case Input::Ended:
            return;  // no read is outstanding in these
    }
}

// The header first; the bytes after it are the stream's, whose offsets
// count from the connection's first byte.
void Connection::onHeader(const std::shared_ptr<Owner>& owner, std::size_t n, bool end) {
    m_header.insert(m_header.end(), m_readBuffer.begin(), m_readBuffer.begin() + static_cast<std::ptrdiff_t>(n));
    ProxyHeader header = parseProxyHeader(m_header.data(), m_header.size());
    if (header.status == ProxyHeader::Status::Incomplete) {
        if (!end) {
            read();
            return;
        }
        header.status = ProxyHeader::Status::Invalid;
        header.fault = ProxyFault::Truncated;
    }
    owner->headerRead(*this, header);
    if (m_state == State::Closed) return;
    if (header.status != ProxyHeader::Status::Complete) {
        close();  // the owner was to close it
        return;
    }
    m_splitter.emplace(m_meter, header.length);
    if (header.length < m_header.size()) {
        m_splitter->feed(m_header.data() + header.length, m_header.size() - header.length);
    }
    if (end) m_splitter->finish();
    if (m_input == Input::Header) m_input = Input::Reading;
    handOut(owner, end);
}

// Hands out items while the owner is ready for them, then reads on, or
// tells the end.
void Connection::handOut(const std::shared_ptr<Owner>& owner, bool end) {
    if (m_flush == Flush::Idle) m_flush = Flush::AfterItems;
    for (ZrSplitItem item; m_state == State::Open && m_input == Input::Reading;) {
        if (!owner->ready(*this)) {
            if (m_state == State::Open && m_input == Input::Reading) m_input = end ? Input::HeldAtEnd : Input::Held;
            break;
        }
        if (!m_splitter->next(item)) break;
        owner->received(*this, item);
    }
    if (m_state == State::Closed) return;
    owner->readDone(*this);
    if (m_state == State::Closed) return;
    if (m_flush == Flush::AfterItems) {
        m_flush = Flush::Idle;
        flush();
    }
    if (m_input != Input::Reading && m_input != Input::Dropping) return;
    if (!end) {
        read();
        return;
    }
    m_input = Input::Ended;
    owner->ended(*this);
}

void Connection::resume() {
    if (m_state == State::Closed || (m_input != Input::Held && m_input != Input::HeldAtEnd)) return;
    const std::shared_ptr<Owner> owner = m_owner.lock();
    if (!owner) return;
    const bool end = m_input == Input::HeldAtEnd;
    m_input = Input::Reading;
    const auto self = shared_from_this();  // the owner may let go of it meanwhile
    handOut(owner, end);
}

void Connection::dropInput() {
    switch (m_input) {
        case Input::Header:
        case Input::Reading:  // a read is outstanding, or the items' loop reads on
            m_input = Input::Dropping;
            return;
        case Input::Held:
            m_input = Input::Dropping;
            if (m_state == State::Open) read();
            return;
        case Input::HeldAtEnd:
            m_input = Input::Ended;
            return;
        case Input::Dropping:
        case Input::Ended:
            return;
    }
}

void Connection::flushSoon() {
    if (m_flush != Flush::Idle || m_state == State::Closed) return;
    m_flush = Flush::Posted;
    asio::post(m_socket.get_executor(), [self = shared_from_this()] {
        self->m_flush = Flush::Idle;
        self->flush();
    });
}

void Connection::flush() {
    if (m_state == State::Closed || m_queue.batchOut() || m_queue.queued().empty()) return;
    const std::shared_ptr<Owner> owner = m_owner.lock();
    if (!owner) return;
    owner->writing(*this, m_queue.queued().size());
    asio::async_write(m_socket, m_queue.startBatch(), [self = shared_from_this()](const asio::error_code& error,
                                                                                   std::size_t) {
        Connection& c = *self;
        if (c.m_state == State::Closed) return;  // close() dropped the batch
        c.m_queue.endBatch();
        if (error) {
            c.fail(error);
            return;
        }
        if (const std::shared_ptr<Owner> o = c.m_owner.lock()) o->written(c);
        c.flush();
    });
}

void Connection::shutdownSend() {
    asio::error_code ignored;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

void Connection::close() {
    if (m_state == State::Closed) return;
    m_state = State::Closed;
    asio::error_code ignored;
    m_socket.close(ignored);  // pending operations end without touching their buffers
    if (m_queue.batchOut()) m_queue.endBatch();
}

void Connection::fail(const std::error_code& why) {
    close();
    if (const std::shared_ptr<Owner> owner = m_owner.lock()) owner->closed(*this, why);
}

// What a peer that stopped reading leaves in the socket grows with its send
// buffer, megabytes; bytes sent and not yet acknowledged are on their way.
std::size_t Connection::unsentInSystem() {
#ifdef __linux__
    int unsent = 0;
    if (m_state == State::Open && ioctl(m_socket.native_handle(), SIOCOUTQNSD, &unsent) == 0 && unsent > 0) {
        return static_cast<std::size_t>(unsent);
    }
#endif
    return 0;
}

}  // namespace zrnet

#include "zr_net_connection.h"

#include <utility>

namespace zrnet {

Connection::Connection(asio::ip::tcp::socket socket, std::weak_ptr<Owner> owner, WriteQueue& queue,
                       const ZrPacketMeter::Options& meter)
    : m_socket(std::move(socket)), m_owner(std::move(owner)), m_queue(queue), m_splitter(meter) {}

void Connection::start() {
    asio::error_code ignored;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    read();
}

void Connection::read() {
    m_socket.async_read_some(asio::buffer(m_readBuffer), [self = shared_from_this()](const asio::error_code& error,
                                                                                      std::size_t n) {
        Connection& c = *self;
        if (c.m_state == State::Closed) return;
        const std::shared_ptr<Owner> owner = c.m_owner.lock();
        if (!owner) return;  // an owner closes its connection before it goes; the socket goes with the last handler
        if (error && error != asio::error::eof) {
            c.fail(error);
            return;
        }
        if (error) {
            c.m_splitter.finish();
        } else {
            c.m_splitter.feed(c.m_readBuffer.data(), n);
        }
        if (c.m_flush == Flush::Idle) c.m_flush = Flush::AfterItems;
        for (ZrSplitItem item; c.m_state == State::Open && c.m_splitter.next(item);) owner->received(c, item);
        if (c.m_state == State::Closed) return;
        if (error) {
            c.fail(error);
            return;
        }
        owner->readDone(c);
        if (c.m_state == State::Closed) return;
        if (c.m_flush == Flush::AfterItems) {
            c.m_flush = Flush::Idle;
            c.flush();
        }
        c.read();
    });
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

}  // namespace zrnet

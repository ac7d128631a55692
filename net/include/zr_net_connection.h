// One TCP connection that carries packets, the part a client and a server
// share: it owns its socket, splits what it reads into packets, and writes
// what its owner queues in batches. zrnet::Client makes one for each
// connection to its server.
#ifndef ZRPACKET_ZR_NET_CONNECTION_H
#define ZRPACKET_ZR_NET_CONNECTION_H

#include <asio.hpp>
#include <cstddef>
#include <memory>
#include <system_error>
#include <vector>

#include "zr_stream_splitter.h"

namespace zrnet {

// Bytes asked of the socket by each read.
constexpr std::size_t kReadChunk = 64 * 1024;
// A batch buffer that grew past this for a burst is given back once written.
constexpr std::size_t kKeptBatchCapacity = 1024 * 1024;

// Bytes waiting to go out on a connection: those queued now, and the batch
// being written. What is queued while a batch is out goes in the next one,
// so the bytes queued in one turn of the event loop leave in one write.
class WriteQueue {
public:
    // Append here; the bytes already queued may be moved or cut by their owner.
    std::vector<char>& queued() { return m_queued; }
    // Bytes not yet written: queued, and in the batch that is out.
    std::size_t bytes() const { return m_queued.size() + m_batch.size(); }
    bool batchOut() const { return !m_batch.empty(); }

    // Moves what is queued into a batch (none may be out, and something must
    // be queued) and returns its bytes, valid until endBatch().
    asio::const_buffer startBatch() {
        std::swap(m_queued, m_batch);
        return asio::buffer(m_batch);
    }
    // The batch has been written, or its connection has gone.
    void endBatch() {
        m_batch.clear();
        if (m_batch.capacity() > kKeptBatchCapacity) std::vector<char>().swap(m_batch);
    }

private:
    std::vector<char> m_queued, m_batch;
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
    // What a connection tells its owner, on the connection's executor. Once
    // the connection is closed, by either side, it tells nothing more.
    class Owner {
    public:
        // Each packet, or run of bytes that are not a packet, in stream order;
        // the bytes are valid during the call. The owner may close the
        // connection here.
        virtual void received(Connection& connection, const ZrSplitItem& item) = 0;
        // The items of one read have all been handed over.
        virtual void readDone(Connection&) {}
        // What is queued is about to be handed to the socket: from now on it
        // counts as sent, whatever becomes of the connection.
        virtual void writing(Connection&, std::size_t bytes) = 0;
        // A batch has been written.
        virtual void written(Connection&) {}
        // The connection failed, or the peer ended its stream
        // (asio::error::eof) and the items it left were handed over; the
        // connection is closed.
        virtual void closed(Connection& connection, const std::error_code& why) = 0;

    protected:
        ~Owner() = default;
    };

    enum class State : unsigned char { Open, Closed };

    // `queue` is the owner's and outlives the connection's writes: an owner
    // closes its connection before it goes.
    Connection(asio::ip::tcp::socket socket, std::weak_ptr<Owner> owner, WriteQueue& queue,
               const ZrPacketMeter::Options& meter);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts reading; reads go on until the connection is closed.
    void start();
    // Writes what is queued once the handlers ready now have run, so that
    // what several of them queue leaves in one write; what the owner queues
    // while a read's items are handed over leaves right after them.
    void flushSoon();
    // Closes the socket and drops the batch that is out; no call to the
    // owner follows.
    void close();

    State state() const { return m_state; }
    asio::ip::tcp::socket& socket() { return m_socket; }

private:
    void read();
    void flush();
    void fail(const std::error_code& why);

    asio::ip::tcp::socket m_socket;
    std::weak_ptr<Owner> m_owner;
    WriteQueue& m_queue;
    ZrStreamSplitter m_splitter;
    std::vector<unsigned char> m_readBuffer = std::vector<unsigned char>(kReadChunk);
    // When what is queued will be written.
    enum class Flush : unsigned char {
        Idle,        // when flushSoon() is called
        Posted,      // by a handler posted for it
        AfterItems,  // once the read's items have been handed over
    };

    State m_state = State::Open;
    Flush m_flush = Flush::Idle;
};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_CONNECTION_H

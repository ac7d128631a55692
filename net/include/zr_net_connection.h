// One TCP connection that carries packets, the part a client and a server
// share: it owns its socket, splits what it reads into packets (after a
// PROXY header, when it starts with one), hands them to its owner while the
// owner is ready for them, and writes what its owner queues in batches.
// zrnet::Client makes one for each connection to its server, zrnet::Server
// one for each client.
//
// Its reading, one Input:
//
//   Header ──> Reading <──> Held ──> HeldAtEnd
//                 │           │          │
//                 └──> Dropping ──> Ended <┘
//
//   Header     a PROXY header is read (started with one); nothing handed out yet
//   Reading    a read is outstanding; what it brings is split and handed out
//   Held       the owner was not ready for an item: nothing is read or handed
//              out until resume()
//   HeldAtEnd  the same, the peer's end already read
//   Dropping   the owner takes nothing more: what comes is read and dropped,
//              to see the peer's end
//   Ended      the peer ended its stream, and every item it left was handed
//              out or dropped; the connection is open for writing
#ifndef ZRPACKET_ZR_NET_CONNECTION_H
#define ZRPACKET_ZR_NET_CONNECTION_H

#include <asio.hpp>
#include <cstddef>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "zr_net_proxy.h"
#include "zr_stream_splitter.h"

namespace zrnet {

// Bytes asked of the socket by each read.
constexpr std::size_t kReadChunk = 64 * 1024;
// A batch buffer that grew past this for a burst is given back once written.
constexpr std::size_t kKeptBatchCapacity = 1024 * 1024;

// Whether the bytes can be one packet as a peer is sent it: at least a
// keep-alive's length and at most `maxLength`, 0x02 first and 0x03 last.
bool packetShaped(const char* bytes, std::size_t length, std::size_t maxLength);

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
        // Before each item: whether the owner takes one now. False holds the
        // connection (Held) until resume().
        virtual bool ready(Connection&) { return true; }
        // Each packet, or run of bytes that are not a packet, in stream order;
        // the bytes are valid during the call. The owner may close the
        // connection, or drop what follows (dropInput), here.
        virtual void received(Connection& connection, const ZrSplitItem& item) = 0;
        // The items of one read have been handed over, as far as the owner was ready.
        virtual void readDone(Connection&) {}
        // Started with a PROXY header: the header, Complete or Invalid (the
        // stream ended inside it: fault Truncated). After an Invalid one the
        // owner closes the connection.
        virtual void headerRead(Connection&, const ProxyHeader&) {}
        // What is queued is about to be handed to the socket: from now on it
        // counts as sent, whatever becomes of the connection.
        virtual void writing(Connection&, std::size_t bytes) = 0;
        // A batch has been written.
        virtual void written(Connection&) {}
        // The peer ended its stream (Ended); the connection stays open for
        // writing until the owner closes it.
        virtual void ended(Connection&) = 0;
        // The connection failed; it is closed.
        virtual void closed(Connection& connection, const std::error_code& why) = 0;

    protected:
        ~Owner() = default;
    };

    enum class State : unsigned char { Open, Closed };
    enum class Input : unsigned char { Header, Reading, Held, HeldAtEnd, Dropping, Ended };
    enum class Start : unsigned char { Packets, ProxyHeader };

    // `queue` is the owner's and outlives the connection's writes: an owner
    // closes its connection before it goes.
    Connection(asio::ip::tcp::socket socket, std::weak_ptr<Owner> owner, WriteQueue& queue,
               const ZrPacketMeter::Options& meter);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts reading; reads go on until the peer's end or the connection is closed.
    void start(Start with = Start::Packets);
    // Held: asks the owner again and hands out what is left, then reads on.
    void resume();
    // Nothing more is handed out: what is left and what comes is dropped
    // until the peer's end, which ended() tells (unless it was read
    // already: then input() is Ended at the return, and nothing is told).
    void dropInput();
    // Writes what is queued once the handlers ready now have run, so that
    // what several of them queue leaves in one write; what the owner queues
    // while a read's items are handed over leaves right after them.
    void flushSoon();
    // Ends the stream to the peer (what is queued and not yet written is lost).
    void shutdownSend();
    // Closes the socket and drops the batch that is out; no call to the
    // owner follows.
    void close();

    State state() const { return m_state; }
    Input input() const { return m_input; }
    asio::ip::tcp::socket& socket() { return m_socket; }
    // Bytes written to the socket that the system still holds unsent (0
    // where the system does not say).
    std::size_t unsentInSystem();
    // Bytes the splitter has deciphered so far to find where packets end.
    std::uint64_t deciphered() const { return m_splitter ? m_splitter->meter().work().deciphered : 0; }

private:
    void read();
    void onRead(const std::error_code& error, std::size_t n);
    void onHeader(const std::shared_ptr<Owner>& owner, std::size_t n, bool end);
    void handOut(const std::shared_ptr<Owner>& owner, bool end);
    void flush();
    void fail(const std::error_code& why);

    asio::ip::tcp::socket m_socket;
    std::weak_ptr<Owner> m_owner;
    WriteQueue& m_queue;
    const ZrPacketMeter::Options m_meter;
    std::optional<ZrStreamSplitter> m_splitter;  // made once a PROXY header, if any, is read
    std::vector<unsigned char> m_header;         // Header: its bytes so far
    std::vector<unsigned char> m_readBuffer = std::vector<unsigned char>(kReadChunk);
    // When what is queued will be written.
    enum class Flush : unsigned char {
        Idle,        // when flushSoon() is called
        Posted,      // by a handler posted for it
        AfterItems,  // once the read's items have been handed over
    };

    State m_state = State::Open;
    Input m_input = Input::Reading;
    Flush m_flush = Flush::Idle;
};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_CONNECTION_H

// zrnet::Server: a server of packets on Asio. It takes connections (on a
// socket of its own, or handed to it by a Listener), splits each stream into
// packets, and hands each request to the handler registered for its class,
// or to one handler of raw bytes; each reply goes back under its request's
// SN.
//
//   asio::io_context io;
//   zrnet::Server server(io, zrnet::ServerOptions());
//   server.on<ZrBillUserBalancePacket>([](ZrBillUserBalancePacket& request, zrnet::Responder responder) {
//       request.setret_status(0);
//       responder.reply(request);
//   });
//   server.listen("0.0.0.0", 7000);
//   io.run();
//
// - A handler gets the request decoded into an object of its class (reused:
//   valid during the call) and a Responder, which it may keep and answer
//   later, from any thread. Replies leave as they are answered
//   (ReplyOrder::AsAnswered), or in the order of their requests
//   (ReplyOrder::AsAsked: an answer waits for those before it). A request
//   whose Responder goes unanswered gets no reply.
// - Raw (onRaw): each packet's bytes, head included, for a program that
//   forwards rather than decodes. A Gate lets such a program hold the
//   connections while its own queue is full; they resume in turn, one
//   request each.
// - Everything a peer can make it hold or do has a limit (ServerOptions):
//   connections at once and per address, the longest packet, requests in
//   flight and bytes of replies unsent per connection, the time to a first
//   packet, idle time, the time a connection may leave its replies unread.
// - Bytes that are not a packet (BadBytes::Close): nothing more is taken
//   from the connection, it is sent the replies it is owed, then closed; a
//   connection closed at its first bad byte has cost the splitter one
//   start's work. BadBytes::PassOver counts them and goes on.
// - Each connection's session ends in one Session record (onSession), and
//   the counters (counters()) sum them.
//
// A connection's life, one State (server_peer.cpp makes every change):
//
//   Header ──> Reading <──> Paused, Waiting
//      │          │
//      └──────────┴──> Finishing ──> Closing ──> Closed
//
//   Header     acceptProxy: its PROXY header is read; nothing handed over yet
//   Reading    its requests are handed over as they come
//   Paused     at its own limit (maxInFlight, maxQueuedBytes): not read until
//              a reply or a write clears it
//   Waiting    the Gate has no room: not read until its turn
//   Finishing  no more requests are taken (it ended its stream, sent bytes
//              that are not a packet, a request went unanswered, the server
//              is stopping): what it sends is dropped, the replies it is
//              owed are still sent
//   Closing    every reply it is owed has been written and its sending side
//              shut: it waits for the client's end (grace), so that no reply
//              is lost to a reset
// Any state goes to Closed at once when the client leaves its replies unread
// too long, its connection fails, or a time limit passes.
//
// Threads: a server's io_context is run by one thread; for several, run a
// server on each and hand them connections from one Listener. Its members
// are called on that thread, except adopt(), connectionCount() and a
// Responder's, which any thread may call. As with Asio's own objects, the
// io_context must outlive the server and every Responder.
#ifndef ZRPACKET_ZR_NET_SERVER_H
#define ZRPACKET_ZR_NET_SERVER_H

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zr_net_places.h"
#include "zr_net_request.h"
#include "zr_net_session.h"
#include "zr_stream_splitter.h"

namespace zrnet {

enum class ReplyOrder : unsigned char {
    AsAnswered,  // each reply leaves as soon as it is given
    AsAsked,     // in the order of the requests of its connection
};

// What a connection's bytes that are not a packet do.
enum class BadBytes : unsigned char {
    Close,     // nothing more is taken; the replies owed are sent, then it is closed (EndCode::BadBytes)
    PassOver,  // counted and passed over; the packets after them are taken
};

struct ServerOptions {
    // How each stream is split: the longest packet taken (a longer one is
    // bad bytes), a forced class.
    ZrPacketMeter::Options meter;
    bool acceptProxy = false;  // each connection starts with a PROXY header (v1 or v2), whose address is the client's
    std::size_t maxClients = 1024;            // connections at once, not counting those that ended their stream
    std::size_t maxClientsPerAddress = 0;     // the same, from one address; 0: no limit
    std::chrono::milliseconds firstPacket{10000};  // no whole packet this long after connecting: closed
    std::chrono::milliseconds idle{300000};  // nothing in flight, no packet and no reply taken this long: closed
    std::size_t maxInFlight = 64;            // requests of one connection not yet answered: it is not read
    std::size_t maxQueuedBytes = 256 * 1024;           // replies unsent: it is not read, its grace starts
    std::size_t maxQueuedBytesHard = 8 * 1024 * 1024;  // replies unsent: closed at once
    // Over maxQueuedBytes this long (replies the system holds unsent
    // counted): closed; and how long a closing connection waits for the
    // client's end.
    std::chrono::milliseconds grace{5000};
    ReplyOrder order = ReplyOrder::AsAnswered;
    BadBytes badBytes = BadBytes::Close;
};

struct ServerCounters {
    std::uint64_t accepted = 0;           // connections given a session
    std::uint64_t ended[kEndCodes] = {};  // sessions ended, and connections refused, by end code
    std::uint64_t requests = 0;           // handed to a handler
    std::uint64_t requestBytes = 0;
    std::uint64_t replies = 0;  // queued to their connections
    std::uint64_t replyBytes = 0;
    std::uint64_t repliesDropped = 0;  // for a connection closing or gone
    std::uint64_t unhandled = 0;       // requests of a command no handler takes: no reply
    std::uint64_t undecoded = 0;       // requests that did not decode into their handler's class
    std::uint64_t skippedBytes = 0;    // bytes that are not a packet
    std::uint64_t deciphered = 0;      // bytes deciphered to find where enciphered packets end

    std::uint64_t count(EndCode code) const { return ended[static_cast<std::size_t>(code)]; }
};

// Why a request gets no reply (Responder::giveUp). Its connection takes no
// more requests, is sent the replies it is owed, and is closed.
enum class Unanswered : unsigned char {
    TimedOut,  // its answer could not be had in time (EndCode::Deadline); the replies to its other requests are awaited
    Lost,      // lost with what answers it (EndCode::BackendLost); closed once what is queued is written
};

namespace detail {
class Peer;
class ServerCore;
}  // namespace detail

// The answer to one request. Movable, not copyable; each answers once. Its
// calls may be made from any thread (from another one, the reply is handed
// over to the server's).
class Responder {
public:
    Responder() = default;
    Responder(Responder&& other) noexcept = default;
    // Gives up the request it held, if any, unanswered.
    Responder& operator=(Responder&& other) noexcept;
    // Unanswered: the request gets no reply (with ReplyOrder::AsAsked, the
    // replies after it go on).
    ~Responder() {
        if (m_peer) release();
    }

    // Whether it holds a request not yet answered.
    explicit operator bool() const { return m_peer != nullptr; }
    // The request's SN, which its reply is sent under.
    std::uint32_t sn() const { return m_sn; }
    // The id of its connection's session (Session::id); 0 once answered.
    std::uint64_t session() const;

    // Encodes `reply` now (the object may be reused at once) and sends it
    // under the request's SN. False when it did not encode (its
    // getLastErrMsg says why): the request is still held.
    template <class Packet>
    bool reply(Packet& reply) {
        if (!m_peer) return false;
        std::vector<char>& scratch = detail::encodeScratch();
        std::size_t length = 0;
        if (!detail::encodeInto(reply, scratch, maxReplyLength(), length)) return false;
        send(scratch.data(), length);
        return true;
    }
    // A reply's bytes, copied now, sent under the request's SN. False when
    // they are not a packet's (too short or too long, no 0x02 first, no 0x03
    // last): the request is still held.
    bool replyRaw(const void* bytes, std::size_t length);
    // The request gets no reply, and its connection ends (see Unanswered);
    // `reason` goes into its session's line.
    void giveUp(Unanswered why, std::string reason);

private:
    friend class detail::Peer;
    Responder(std::shared_ptr<detail::Peer> peer, std::uint64_t seq, std::uint32_t sn)
        : m_peer(std::move(peer)), m_seq(seq), m_sn(sn) {}
    std::size_t maxReplyLength() const;
    void send(const char* bytes, std::size_t length);
    void release();

    std::shared_ptr<detail::Peer> m_peer;
    std::uint64_t m_seq = 0;  // its place among its connection's requests
    std::uint32_t m_sn = 0;
};

// A connection's turn, given by a Gate's wait (on the server's thread).
class Resume {
public:
    void operator()() const;

private:
    friend class detail::Peer;
    explicit Resume(std::weak_ptr<detail::Peer> peer) : m_peer(std::move(peer)) {}
    std::weak_ptr<detail::Peer> m_peer;
};

// Whether requests may be handed over now, for a program that forwards them
// to a queue of its own. Before each request a connection asks hasRoom();
// without room it waits, unread, and wait() is given its Resume, to call
// once there is room. The connection then hands over one request without
// asking, and asks again for the next, so that waiting connections take
// turns, one request each.
struct Gate {
    std::function<bool()> hasRoom;
    std::function<void(Resume)> wait;
};

namespace detail {

// The handler of one class: decodes a request into its object, then calls it.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Null once the handler has been called; the request's decode error otherwise.
    virtual const char* call(const ZrSplitItem& request, Responder&& responder) = 0;
};

template <class Packet, class Handler>
class TypedDispatch final : public Dispatch {
public:
    explicit TypedDispatch(Handler handler) : m_handler(std::move(handler)) {}
    unsigned int command() const { return m_request.getCmdID(); }
    const char* call(const ZrSplitItem& request, Responder&& responder) override {
        if (m_request.deCode(request.chars(), static_cast<unsigned int>(request.length)) != 0) {
            return m_request.getLastErrMsg();
        }
        m_handler(m_request, std::move(responder));
        return nullptr;
    }

private:
    Packet m_request;  // decoded into for each request (a packet object holds 60 KB: one, reused)
    Handler m_handler;
};

}  // namespace detail

class Server {
public:
    using executor_type = asio::io_context::executor_type;
    using RawHandler = std::function<void(const ZrSplitItem& request, Responder responder)>;

    // `places`: shared with the servers of other threads, in place of one
    // of its own for maxClientsPerAddress.
    Server(asio::io_context& io, ServerOptions options, std::shared_ptr<AddressPlaces> places = nullptr);
    // close()
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    executor_type get_executor() const noexcept;
    const ServerOptions& options() const;

    // The handler of the requests of Packet's class (its default command):
    // void(Packet& request, zrnet::Responder responder). Set before
    // connections come.
    template <class Packet, class Handler>
    void on(Handler handler) {
        auto dispatch = std::make_unique<detail::TypedDispatch<Packet, Handler>>(std::move(handler));
        const unsigned int command = dispatch->command();
        addHandler(command, std::move(dispatch));
    }
    // Every packet that no typed handler takes, as its bytes (valid during
    // the call). Without one such a request gets no reply (counted unhandled).
    void onRaw(RawHandler handler);
    void setGate(Gate gate);
    // Each session as it ends, and each connection refused (EndCode
    // RefusedFull, RefusedAddress), on the server's thread.
    void onSession(std::function<void(const Session&)> handler);

    // Listens on HOST:PORT, alone on its port (port 0: one the system
    // chooses), and takes its connections; returns the address bound.
    // Throws asio::system_error when it cannot be bound.
    asio::ip::tcp::endpoint listen(const std::string& host, std::uint16_t port);
    // A connection accepted elsewhere (by a Listener), on a socket of this
    // server's io_context; from any thread.
    void adopt(asio::ip::tcp::socket socket);

    // Takes no more connections or requests: each connection is sent the
    // replies it is owed and closed. Completes when every connection has
    // gone, or, at the timeout, with asio::error::timed_out once the rest
    // have been closed (asio::error::operation_aborted: close() came first).
    // Completion: void(std::error_code).
    template <class CompletionToken>
    auto asyncDrain(std::chrono::milliseconds timeout, CompletionToken&& token) {
        return asio::async_initiate<CompletionToken, void(std::error_code)>(
            [this, timeout](auto handler) {
                drain(timeout, std::make_unique<detail::WaitOpFor<decltype(handler)>>(std::move(handler),
                                                                                        get_executor()));
            },
            token);
    }
    // Closes every connection now (EndCode::Shutdown) and takes no more.
    void close();

    // Connections open; from any thread.
    std::size_t connectionCount() const;
    const ServerCounters& counters() const;

private:
    void addHandler(unsigned int command, std::unique_ptr<detail::Dispatch> dispatch);
    void drain(std::chrono::milliseconds timeout, std::unique_ptr<detail::WaitOp> op);

    std::shared_ptr<detail::ServerCore> m_core;
};

// One listening socket for the servers of several threads: each connection
// is accepted onto the io_context of the server that `choose` names (called
// on the listener's thread) and adopted by it.
class Listener {
public:
    // Binds HOST:PORT alone on its port (never shared, as SO_REUSEPORT would
    // let another process) and listens. Throws asio::system_error.
    Listener(asio::io_context& io, const std::string& host, std::uint16_t port);
    // close()
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    asio::ip::tcp::endpoint localEndpoint() const;
    // Accepts until close(). A failed accept (too many open files) is told
    // to `failed`, if given, and tried again after kAcceptRetry.
    void start(std::function<Server&()> choose, std::function<void(const std::error_code&)> failed = nullptr);
    void close();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// After a failed accept, before the next.
constexpr std::chrono::milliseconds kAcceptRetry{100};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_SERVER_H

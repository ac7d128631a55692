// zrnet::Client: requests to one server over one TCP connection, each
// matched to its reply.
//
//   asio::io_context io;
//   zrnet::Client client(io, {"billing.example", 7000});
//   client.start();
//   ZrBillUserBalancePacket request, reply;
//   client.asyncRequest(request, reply, [&](std::error_code error) { ... });
//   io.run();
//
// - It connects, and after a failure or the connection's loss connects
//   again, waiting backoffMin, then twice as long each time up to backoffMax.
// - A request is a packet object (encoded at the call, its reply decoded
//   into the caller's reply object) or a packet's bytes (raw: copied at the
//   call, the reply's bytes, head included, appended to the caller's
//   dynamic buffer; nothing decoded). Requests queued in one turn of the
//   event loop leave in one write.
// - The client gives each request an SN no other request in flight has
//   (RequestOptions::keepSN: the request's own, refused if another in
//   flight has it). A reply is the packet that comes with a request's SN
//   and command; any other packet is counted and dropped.
// - Each request has a deadline. One still queued when it passes is never
//   sent (Error::NotSent); one written gets Error::TimedOut, and its reply,
//   if it ever comes, is dropped. A request written to a connection that
//   goes before the reply gets Error::ConnectionLost (it may have run);
//   queued ones wait for the next connection.
// - At most maxInFlight requests (and maxQueuedBytes of unwritten bytes)
//   are held; beyond that a request is refused with Error::Busy, and
//   asyncWaitForRoom says when to try again, to one waiter at a time, in
//   the order they came. Nothing else grows.
// - Completions follow Asio's completion-token convention: a callback,
//   asio::use_future, asio::use_awaitable (C++20), or any other token; a
//   handler runs on its associated executor, by default the io_context's.
//   As with Asio's own objects, the client, the reply object and the reply
//   buffer must outlive the operation.
// - A handler given a reply is called inside the read that brought it (when
//   its executor allows), so that the requests it sends leave with the
//   others of that read; every other completion is posted. An exception
//   from a handler leaves io_context::run() once the read is done (Asio
//   holds it until then); the client goes on when run() is called again.
//
// Threads: the io_context is run by one thread. The async operations,
// start() and close() may be called from any thread (from another one, the
// request's bytes are copied and handed over); the other members only on
// the io_context's thread.
#ifndef ZRPACKET_ZR_NET_CLIENT_H
#define ZRPACKET_ZR_NET_CLIENT_H

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zr_net_error.h"
#include "zr_net_request.h"
#include "zr_stream_splitter.h"

namespace zrnet {

struct ClientOptions {
    ClientOptions() = default;
    ClientOptions(std::string serverHost, std::uint16_t serverPort) : host(std::move(serverHost)), port(serverPort) {}

    std::string host;  // a name or an address
    std::uint16_t port = 0;
    // A request's deadline, from the call that sends it, unless it gives its own.
    std::chrono::milliseconds timeout{10000};
    // Requests accepted and not completed, queued or written: one more is refused (Error::Busy).
    std::size_t maxInFlight = 256;
    // Request bytes not yet written: while they are at this many, a request is refused (Error::Busy).
    std::size_t maxQueuedBytes = 4 * 1024 * 1024;
    std::chrono::milliseconds connectTimeout{5000};  // a connection not made by then is a failed try
    std::chrono::milliseconds backoffMin{100};       // the wait before trying again after a failure or a loss
    std::chrono::milliseconds backoffMax{5000};      // it doubles up to this; a connection made resets it
    // How the server's bytes are split into packets: the longest packet
    // waited for (a request longer is not sent: Error::NotAPacket), a forced class.
    ZrPacketMeter::Options meter;
};

enum class LinkState : unsigned char {
    Idle,        // not started
    Connecting,  // resolving the server's name, or connecting
    Connected,
    Waiting,  // after a failed try or a loss, before the next try
    Closed,   // close() was called
};

// What happened to the connection, for logs and health checks.
struct LinkEvent {
    enum class Kind : unsigned char { Connected, ConnectFailed, Lost };
    Kind kind = Kind::Connected;
    asio::ip::tcp::endpoint endpoint;      // Connected: the server's
    std::error_code error;                 // ConnectFailed, Lost: why
    std::size_t requests = 0;              // Connected: requests queued for it; Lost: those it lost
    std::chrono::milliseconds retryIn{0};  // ConnectFailed, Lost: the wait before the next try
};

struct ClientCounters {
    std::uint64_t requests = 0;           // accepted
    std::uint64_t refused = 0;            // refused at once (Busy, DuplicateSN, NotAPacket, EncodeFailed, closed)
    std::uint64_t replies = 0;            // matched to their requests
    std::uint64_t notSent = 0;            // deadline passed while queued
    std::uint64_t timedOut = 0;           // deadline passed while awaiting the reply
    std::uint64_t lost = 0;               // written to a connection that went, or pending at close()
    std::uint64_t aborted = 0;            // queued at close()
    std::uint64_t repliesUnknown = 0;     // with the SN of no request awaiting a reply (late, twice, never asked)
    std::uint64_t repliesMismatched = 0;  // with a request's SN and another command
    std::uint64_t skippedBytes = 0;       // from the server, not a packet
    std::uint64_t deciphered = 0;         // bytes deciphered to find where the server's enciphered packets end
    std::uint64_t bytesOut = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t writes = 0;  // batches written
    std::uint64_t connects = 0;
    std::uint64_t connectFailures = 0;
    std::uint64_t losses = 0;
};

// Why a packet from the server is no reply (Client::onUnmatched).
enum class Unmatched : unsigned char {
    NotAPacket,    // bytes that are not a packet, passed over
    UnknownSN,     // the SN of no request awaiting a reply (late, twice, never asked)
    OtherCommand,  // a request's SN under another command
};

class Client {
public:
    using executor_type = asio::io_context::executor_type;

    Client(asio::io_context& io, ClientOptions options);
    // close()
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    executor_type get_executor() const noexcept;

    // Connects; requests made before wait, queued, for the connection.
    void start();
    // No more connections. Every request completes: with
    // asio::error::operation_aborted if it was not written (later ones too),
    // with Error::ConnectionLost if it was; room waiters with operation_aborted.
    void close();
    // Called on each event, on the io_context's thread.
    void onLink(std::function<void(const LinkEvent&)> handler);
    // Called for each packet from the server that is no reply, and each run
    // of bytes that is not a packet (the bytes valid during the call), on
    // the io_context's thread; each is also counted.
    void onUnmatched(std::function<void(const ZrSplitItem&, Unmatched)> handler);

    LinkState state() const;
    std::size_t inFlight() const;
    // Whether a request now would be taken (not refused with Error::Busy)
    // without passing a wait for room (asyncWaitForRoom) made before.
    bool hasRoom() const;
    const ClientCounters& counters() const;

    // Sends `request` (encoded at the call: the object may be reused at
    // once) and decodes its reply into `reply`. Completion: void(std::error_code).
    template <class Request, class Reply, class CompletionToken>
    auto asyncRequest(Request& request, Reply& reply, CompletionToken&& token) {
        return asyncRequest(request, reply, RequestOptions(), std::forward<CompletionToken>(token));
    }
    template <class Request, class Reply, class CompletionToken>
    auto asyncRequest(Request& request, Reply& reply, const RequestOptions& options, CompletionToken&& token) {
        return asio::async_initiate<CompletionToken, void(std::error_code)>(
            [core = m_core.get(), request = &request, reply = &reply, options](auto handler) {
                std::vector<char>& scratch = detail::encodeScratch();
                std::size_t length = 0;
                const bool encoded = detail::encodeInto(*request, scratch, detail::maxPacketLength(*core), length);
                detail::launch(*core, std::move(handler), detail::DecodeInto<Reply>{reply}, scratch.data(),
                               encoded ? length : 0, options,
                               encoded ? std::error_code() : make_error_code(Error::EncodeFailed));
            },
            token);
    }

    // Sends the packet's bytes (copied at the call) and appends its reply's
    // bytes to `reply`, an Asio DynamicBuffer (asio::dynamic_buffer(vector)).
    // Completion: void(std::error_code, std::size_t bytes appended).
    template <class DynamicBuffer, class CompletionToken>
    auto asyncRawRequest(asio::const_buffer request, DynamicBuffer&& reply, CompletionToken&& token) {
        return asyncRawRequest(request, std::forward<DynamicBuffer>(reply), RequestOptions(),
                               std::forward<CompletionToken>(token));
    }
    template <class DynamicBuffer, class CompletionToken>
    auto asyncRawRequest(asio::const_buffer request, DynamicBuffer&& reply, const RequestOptions& options,
                         CompletionToken&& token) {
        using Buffer = std::decay_t<DynamicBuffer>;
        static_assert(asio::is_dynamic_buffer_v2<Buffer>::value, "the reply goes to an Asio DynamicBuffer (v2)");
        return asio::async_initiate<CompletionToken, void(std::error_code, std::size_t)>(
            [core = m_core.get(), request, options](auto handler, Buffer buffer) {
                detail::launch(*core, std::move(handler), detail::AppendTo<Buffer>{std::move(buffer)},
                               static_cast<const char*>(request.data()), request.size(), options, {});
            },
            token, Buffer(std::forward<DynamicBuffer>(reply)));
    }

    // Completes when a request would be taken, in the order of the calls.
    // Completion: void(std::error_code).
    template <class CompletionToken>
    auto asyncWaitForRoom(CompletionToken&& token) {
        return asio::async_initiate<CompletionToken, void(std::error_code)>(
            [core = m_core.get()](auto handler) { detail::waitForRoom(*core, std::move(handler)); }, token);
    }

private:
    std::shared_ptr<detail::ClientCore> m_core;
};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_CLIENT_H

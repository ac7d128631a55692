// A request of zrnet::Client: its options, and (in detail, not for direct
// use) how its completion handler is kept, whatever its type (in the
// client's slot for the request, without an allocation when it is small),
// handed its outcome and called.
#ifndef ZRPACKET_ZR_NET_REQUEST_H
#define ZRPACKET_ZR_NET_REQUEST_H

#include <algorithm>
#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <new>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "zr_net_error.h"

namespace zrnet {

struct RequestOptions {
    std::chrono::milliseconds timeout{0};  // 0: the client's
    bool keepSN = false;  // send the request's own SN, refused (Error::DuplicateSN) if another in flight has it
};

namespace detail {

class ClientCore;
using IoExecutor = asio::io_context::executor_type;

// A handler of at most this many bytes (with its executor and where its
// reply goes) is kept in the request's slot.
constexpr std::size_t kInlineOpSize = 128;

// A request's completion.
class RequestOp {
public:
    // Hands the outcome to the handler: the reply's bytes (valid during the
    // call) or why there is none. The op is destroyed first, so the handler
    // may send again; it then runs inline when `now` and its executor is
    // running here, otherwise it is posted.
    virtual void complete(std::error_code error, const char* reply, std::size_t length, bool now) = 0;
    // Destroys the op without calling its handler.
    virtual void destroy() = 0;

protected:
    ~RequestOp() = default;
};

// Where a typed request's reply goes: decoded into the caller's object.
template <class Reply>
struct DecodeInto {
    Reply* reply;
    std::tuple<std::error_code> operator()(std::error_code error, const char* bytes, std::size_t length) const {
        if (!error && reply->deCode(const_cast<char*>(bytes), static_cast<unsigned int>(length)) != 0) {
            error = Error::BadReply;
        }
        return std::tuple<std::error_code>(error);
    }
};

// Where a raw request's reply goes: appended to the caller's dynamic buffer.
template <class DynamicBuffer>
struct AppendTo {
    DynamicBuffer buffer;
    std::tuple<std::error_code, std::size_t> operator()(std::error_code error, const char* bytes,
                                                         std::size_t length) {
        if (error) return {error, 0};
        if (buffer.max_size() - buffer.size() < length) return {asio::error::no_buffer_space, 0};
        const std::size_t at = buffer.size();
        buffer.grow(length);
        asio::buffer_copy(buffer.data(at, length), asio::buffer(bytes, length));
        return {error, length};
    }
};

// Keeps a handler's executor from running out of work while its operation
// is pending; the client's own io_context has work then anyway (the
// deadline timer waits), so its executor goes as it is.
template <class Handler>
using WorkFor = std::conditional_t<
    std::is_same_v<asio::associated_executor_t<Handler, IoExecutor>, IoExecutor>, IoExecutor,
    std::decay_t<decltype(asio::prefer(std::declval<const asio::associated_executor_t<Handler, IoExecutor>&>(),
                                       asio::execution::outstanding_work.tracked))>>;

template <class Handler>
WorkFor<Handler> workFor(const Handler& handler, const IoExecutor& io) {
    if constexpr (std::is_same_v<WorkFor<Handler>, IoExecutor>) {
        return io;
    } else {
        return asio::prefer(asio::get_associated_executor(handler, io), asio::execution::outstanding_work.tracked);
    }
}

template <class Handler, class Deliver>
class RequestOpFor final : public RequestOp {
    using Work = WorkFor<Handler>;
    using Allocator = typename std::allocator_traits<
        asio::associated_allocator_t<Handler>>::template rebind_alloc<RequestOpFor>;

public:
    // In `storage` when it fits, otherwise from the handler's allocator.
    static RequestOp* make(Handler& handler, Deliver& deliver, const IoExecutor& io, void* storage,
                           std::size_t capacity) {
        if (sizeof(RequestOpFor) <= capacity && alignof(RequestOpFor) <= alignof(std::max_align_t)) {
            return new (storage) RequestOpFor(handler, deliver, io, false);
        }
        Allocator allocator(asio::get_associated_allocator(handler));
        RequestOpFor* op = std::allocator_traits<Allocator>::allocate(allocator, 1);
        try {
            return new (op) RequestOpFor(handler, deliver, io, true);
        } catch (...) {
            std::allocator_traits<Allocator>::deallocate(allocator, op, 1);
            throw;
        }
    }

    void complete(std::error_code error, const char* reply, std::size_t length, bool now) override {
        auto args = m_deliver(error, reply, length);
        Allocator allocator(asio::get_associated_allocator(m_handler));
        auto call = [handler = std::move(m_handler), args = std::move(args)]() mutable {
            std::apply(std::move(handler), std::move(args));
        };
        Work work(std::move(m_work));
        release(allocator);
        if (now) {
            asio::dispatch(work, std::move(call));
        } else {
            asio::post(work, std::move(call));
        }
    }

    void destroy() override { release(Allocator(asio::get_associated_allocator(m_handler))); }

private:
    void release(Allocator allocator) {
        const bool heap = m_heap;
        this->~RequestOpFor();
        if (heap) std::allocator_traits<Allocator>::deallocate(allocator, this, 1);
    }

    RequestOpFor(Handler& handler, Deliver& deliver, const IoExecutor& io, bool heap)
        : m_handler(std::move(handler)), m_deliver(std::move(deliver)), m_work(workFor(m_handler, io)), m_heap(heap) {}
    ~RequestOpFor() = default;

    Handler m_handler;
    Deliver m_deliver;
    Work m_work;
    bool m_heap;
};

// Makes a request's op in the storage it is given (see RequestOpFor::make).
using MakeOp = RequestOp* (*)(void* context, void* storage, std::size_t capacity);

// The client's side of a request, on the io_context's thread: takes the
// packet's bytes and the op that `make` builds, or returns why not (then
// `make` was not called). `refused`: refused already, for that reason.
std::error_code submit(ClientCore& core, const char* bytes, std::size_t length, const RequestOptions& options,
                       MakeOp make, void* context, std::error_code refused);
bool onThread(const ClientCore& core);
IoExecutor ioExecutor(const ClientCore& core);
std::shared_ptr<ClientCore> share(ClientCore& core);
std::size_t maxPacketLength(const ClientCore& core);

// This thread's buffer for encoding typed requests.
std::vector<char>& encodeScratch();

// Encodes `request` into `scratch`, growing it up to `maxLength` while the
// encoding does not fit; false if it does not encode.
template <class Request>
bool encodeInto(Request& request, std::vector<char>& scratch, std::size_t maxLength, std::size_t& length) {
    constexpr std::size_t kFirstRoom = 64 * 1024;
    if (scratch.size() < kFirstRoom) scratch.resize(kFirstRoom);
    for (;;) {
        if (request.enCode(scratch.data(), static_cast<unsigned int>(scratch.size())) == 0) {
            length = request.getPacketLength();
            return true;
        }
        if (scratch.size() >= maxLength) return false;
        scratch.resize(std::min(2 * scratch.size(), maxLength));
    }
}

// Submits a request from any thread: on the io_context's thread at once,
// from another with its bytes copied and handed over. A refused request's
// handler is posted with the reason.
template <class Handler, class Deliver>
void launch(ClientCore& core, Handler handler, Deliver deliver, const char* bytes, std::size_t length,
            const RequestOptions& options, std::error_code refused) {
    if (!onThread(core)) {
        std::vector<char> copy(bytes, bytes + length);
        asio::post(ioExecutor(core), [shared = share(core), handler = std::move(handler),
                                      deliver = std::move(deliver), copy = std::move(copy), options,
                                      refused]() mutable {
            launch(*shared, std::move(handler), std::move(deliver), copy.data(), copy.size(), options, refused);
        });
        return;
    }
    struct Parts {
        Handler& handler;
        Deliver& deliver;
        IoExecutor io;
    } parts{handler, deliver, ioExecutor(core)};
    const MakeOp make = [](void* context, void* storage, std::size_t capacity) -> RequestOp* {
        auto& p = *static_cast<Parts*>(context);
        return RequestOpFor<Handler, Deliver>::make(p.handler, p.deliver, p.io, storage, capacity);
    };
    const std::error_code why = submit(core, bytes, length, options, make, &parts, refused);
    if (!why) return;
    const auto executor = asio::get_associated_executor(handler, parts.io);
    asio::post(executor, [handler = std::move(handler), args = deliver(why, nullptr, 0)]() mutable {
        std::apply(std::move(handler), std::move(args));
    });
}

// A wait: for room in a client, for a server's drain. complete()
// dispatches the handler (its owner calls it in a turn of its own); the op
// is then destroyed.
class WaitOp {
public:
    virtual ~WaitOp() = default;
    virtual void complete(std::error_code error) = 0;
};

template <class Handler>
class WaitOpFor final : public WaitOp {
    using Work = WorkFor<Handler>;

public:
    WaitOpFor(Handler handler, const IoExecutor& io) : m_handler(std::move(handler)), m_work(workFor(m_handler, io)) {}

    void complete(std::error_code error) override {
        asio::dispatch(m_work, [handler = std::move(m_handler), error]() mutable { std::move(handler)(error); });
    }

private:
    Handler m_handler;
    Work m_work;
};

void waitForRoom(ClientCore& core, std::unique_ptr<WaitOp> op);

template <class Handler>
void waitForRoom(ClientCore& core, Handler handler) {
    auto op = std::make_unique<WaitOpFor<Handler>>(std::move(handler), ioExecutor(core));
    if (onThread(core)) {
        waitForRoom(core, std::unique_ptr<WaitOp>(std::move(op)));
    } else {
        asio::post(ioExecutor(core), [shared = share(core), op = std::move(op)]() mutable {
            waitForRoom(*shared, std::unique_ptr<WaitOp>(std::move(op)));
        });
    }
}

}  // namespace detail
}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_REQUEST_H

// Why a request of zrnet::Client got no reply, as std::error_code values of
// their own category. A request completes with one of these, with
// asio::error::operation_aborted (the client was closed before the request
// was written), or with no error.
#ifndef ZRPACKET_ZR_NET_ERROR_H
#define ZRPACKET_ZR_NET_ERROR_H

#include <system_error>

namespace zrnet {

enum class Error {
    // Refused at once, nothing sent:
    Busy = 1,      // the limit on requests in flight or bytes queued is reached: wait for room
    DuplicateSN,   // the request keeps its own SN, and another request in flight has it
    NotAPacket,    // raw bytes that do not start with 0x02, end with 0x03, or fit the length limits
    EncodeFailed,  // the request object did not encode (its getLastErrMsg says why)
    // Accepted, then:
    NotSent,         // its deadline passed before it could be written: it was never sent
    TimedOut,        // written, and no reply came by its deadline
    ConnectionLost,  // written, and the connection went before the reply came: it may have run
    BadReply,        // the reply came and did not decode (the reply object's getLastErrMsg says why)
};

const std::error_category& errorCategory() noexcept;

inline std::error_code make_error_code(Error e) noexcept { return {static_cast<int>(e), errorCategory()}; }

}  // namespace zrnet

template <>
struct std::is_error_code_enum<zrnet::Error> : std::true_type {};

#endif  // ZRPACKET_ZR_NET_ERROR_H

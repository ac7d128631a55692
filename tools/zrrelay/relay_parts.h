// Small helpers of the relay's sources: texts of log lines, buffer sizes.
#ifndef ZRRELAY_RELAY_PARTS_H
#define ZRRELAY_RELAY_PARTS_H

#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "host_port.h"

namespace zrrelay {

constexpr std::size_t kReadChunk = 64 * 1024;
// A write buffer that grew past this for a burst is given back once written.
constexpr std::size_t kKeptBufferCapacity = 1024 * 1024;
// After a failed accept (EMFILE and the like), before the next.
constexpr std::chrono::milliseconds kAcceptRetry{100};

template <class... Args>
std::string text(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

inline std::string endpointText(const asio::ip::tcp::endpoint& endpoint) {
    return HostPort{endpoint.address().to_string(), endpoint.port()}.text();
}

// Repeated events are logged the first ten times, then every thousandth.
inline bool worthLogging(std::uint64_t count) { return count <= 10 || count % 1000 == 0; }

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_PARTS_H

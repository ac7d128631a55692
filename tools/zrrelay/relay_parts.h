// Small helpers of the relay's sources: texts of log lines (endpoints as
// zrnet::endpointText writes them).
#ifndef ZRRELAY_RELAY_PARTS_H
#define ZRRELAY_RELAY_PARTS_H

#include <cstdint>
#include <sstream>
#include <string>

#include "zr_net_proxy.h"

namespace zrrelay {

template <class... Args>
std::string text(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

// Repeated events are logged the first ten times, then every thousandth.
inline bool worthLogging(std::uint64_t count) { return count <= 10 || count % 1000 == 0; }

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_PARTS_H

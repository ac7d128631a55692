// "HOST:PORT" as the relay's command line and its test programs take it:
// a name or an IPv4 address, or an IPv6 address in brackets ("[::1]:7633").
#ifndef ZRRELAY_HOST_PORT_H
#define ZRRELAY_HOST_PORT_H

#include <cstdint>
#include <string>

namespace zrrelay {

struct HostPort {
    std::string host;
    std::uint16_t port = 0;

    std::string text() const {
        const bool v6 = host.find(':') != std::string::npos;
        return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    }
};

// False when the text is not HOST:PORT with a port of 0 to 65535.
inline bool parseHostPort(const std::string& text, HostPort& out) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;  // an IPv6 address wants brackets
    }
    unsigned long port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + static_cast<unsigned long>(text[i] - '0');
        if (port > 65535) return false;
    }
    out.host = host;
    out.port = static_cast<std::uint16_t>(port);
    return true;
}

}  // namespace zrrelay

#endif  // ZRRELAY_HOST_PORT_H

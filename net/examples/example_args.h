// The examples' command lines: options given as "--name value".
#ifndef ZRPACKET_NET_EXAMPLES_EXAMPLE_ARGS_H
#define ZRPACKET_NET_EXAMPLES_EXAMPLE_ARGS_H

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

// "--name value" pairs, each of the names known; false for anything else.
inline bool readOptions(int argc, char** argv, std::map<std::string, std::string>& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto known = options.find(argv[i]);
        if (known == options.end()) return false;
        known->second = argv[i + 1];
    }
    return argc % 2 == 1;
}

// HOST:PORT, an IPv6 address in brackets ("[::1]:7000").
inline bool hostPort(const std::string& text, std::string& host, std::uint16_t& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str() + colon + 1, &end, 10);
    port = static_cast<std::uint16_t>(value);
    return *end == '\0' && value <= 65535 && !host.empty();
}

// A count from 1 to `most`, digits only.
inline bool count(const std::string& text, std::size_t most, std::size_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
    value = static_cast<std::size_t>(std::strtoull(text.c_str(), nullptr, 10));
    return value >= 1 && value <= most;
}

#endif  // ZRPACKET_NET_EXAMPLES_EXAMPLE_ARGS_H

#include "zr_net_proxy.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zrnet {

namespace {

constexpr char kV1Prefix[] = "PROXY ";
constexpr std::size_t kV1PrefixLength = sizeof kV1Prefix - 1;
constexpr unsigned char kV2Signature[] = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr std::size_t kV2FixedLength = sizeof kV2Signature + 4;  // version and command, family, length
// Address bytes by family: two IPv4 addresses and two ports; two IPv6
// addresses and two ports; two 108-byte Unix paths.
constexpr std::size_t kV2Inet = 12, kV2Inet6 = 36, kV2Unix = 216;

ProxyHeader invalid(ProxyFault fault) {
    ProxyHeader out;
    out.status = ProxyHeader::Status::Invalid;
    out.fault = fault;
    return out;
}

ProxyHeader incomplete(std::size_t needed) {
    ProxyHeader out;
    out.length = needed;
    return out;
}

// Decimal 0 to 65535, no sign, no leading zero.
bool parsePort(const std::string& text, unsigned short& port) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return false;
    unsigned long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<unsigned short>(value);
    return true;
}

// "PROXY TCP4 SRC DST SPORT DPORT" (the CRLF taken off).
ProxyHeader parseV1(const std::string& line, std::size_t length) {
    std::vector<std::string> words;
    for (std::size_t at = 0;;) {
        const std::size_t space = line.find(' ', at);
        words.push_back(line.substr(at, space == std::string::npos ? std::string::npos : space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    ProxyHeader out;
    out.status = ProxyHeader::Status::Complete;
    out.length = length;
    if (words.size() >= 2 && words[1] == "UNKNOWN") return out;  // the rest of the line is not read
    if (words.size() != 6 || (words[1] != "TCP4" && words[1] != "TCP6")) return invalid(ProxyFault::V1Syntax);
    for (std::size_t i = 2; i < 6; ++i) {
        if (words[i].empty()) return invalid(ProxyFault::V1Syntax);  // two spaces in a row
    }
    asio::error_code error;
    asio::ip::address source, destination;
    if (words[1] == "TCP4") {
        source = asio::ip::make_address_v4(words[2], error);
        if (!error) destination = asio::ip::make_address_v4(words[3], error);
    } else {
        source = asio::ip::make_address_v6(words[2], error);
        if (!error) destination = asio::ip::make_address_v6(words[3], error);
    }
    if (error) return invalid(ProxyFault::V1Address);
    unsigned short sourcePort = 0, destinationPort = 0;
    if (!parsePort(words[4], sourcePort) || !parsePort(words[5], destinationPort)) return invalid(ProxyFault::V1Port);
    out.hasSource = true;
    out.source = asio::ip::tcp::endpoint(source, sourcePort);
    return out;
}

unsigned short load16(const unsigned char* p) { return static_cast<unsigned short>(p[0] << 8 | p[1]); }

ProxyHeader parseV2(const unsigned char* p, std::size_t size) {
    if (size < kV2FixedLength) return incomplete(kV2FixedLength);
    const unsigned char version = p[12] >> 4, command = p[12] & 0x0F;
    const unsigned char family = p[13] >> 4, transport = p[13] & 0x0F;
    const std::size_t body = load16(p + 14);
    if (version != 2) return invalid(ProxyFault::V2Version);
    if (command > 1) return invalid(ProxyFault::V2Command);
    if (body > kProxyV2MaxBody) return invalid(ProxyFault::V2TooLong);
    if (size < kV2FixedLength + body) return incomplete(kV2FixedLength + body);
    const bool local = command == 0;
    std::size_t addresses = 0;
    if (!local) {  // LOCAL: the balancer's own connection (a check); its address block is not read
        if (family > 3 || transport > 2 || (family != 0 && transport != 1)) return invalid(ProxyFault::V2Family);
        addresses = family == 1 ? kV2Inet : family == 2 ? kV2Inet6 : family == 3 ? kV2Unix : 0;
        if (body < addresses) return invalid(ProxyFault::V2Addresses);
        // TLVs: type, 16-bit length, value; they fill the rest exactly.
        const unsigned char* tlv = p + kV2FixedLength + addresses;
        const unsigned char* end = p + kV2FixedLength + body;
        while (tlv != end) {
            if (end - tlv < 3 || static_cast<std::size_t>(end - tlv - 3) < load16(tlv + 1)) {
                return invalid(ProxyFault::V2Tlv);
            }
            tlv += 3 + load16(tlv + 1);
        }
    }
    ProxyHeader out;
    out.status = ProxyHeader::Status::Complete;
    out.length = kV2FixedLength + body;
    const unsigned char* a = p + kV2FixedLength;
    if (!local && family == 1) {
        asio::ip::address_v4::bytes_type bytes;
        std::memcpy(bytes.data(), a, bytes.size());
        out.source = asio::ip::tcp::endpoint(asio::ip::address_v4(bytes), load16(a + 8));
        out.hasSource = true;
    } else if (!local && family == 2) {
        asio::ip::address_v6::bytes_type bytes;
        std::memcpy(bytes.data(), a, bytes.size());
        out.source = asio::ip::tcp::endpoint(asio::ip::address_v6(bytes), load16(a + 32));
        out.hasSource = true;
    }
    return out;
}

}  // namespace

ProxyHeader parseProxyHeader(const unsigned char* data, std::size_t size) {
    // Which signature, as far as the bytes go.
    const std::size_t v1 = std::min(size, kV1PrefixLength), v2 = std::min(size, sizeof kV2Signature);
    if (std::memcmp(data, kV1Prefix, v1) == 0) {
        const std::size_t scan = std::min(size, kProxyV1MaxLength);
        const auto* chars = reinterpret_cast<const char*>(data);
        for (std::size_t i = 0; i < scan; ++i) {
            if (chars[i] == '\r' && i + 1 < scan && chars[i + 1] == '\n') return parseV1(std::string(chars, i), i + 2);
            if (chars[i] == '\n' || chars[i] == '\0') return invalid(ProxyFault::V1Syntax);
        }
        if (size >= kProxyV1MaxLength) return invalid(ProxyFault::V1TooLong);
        return incomplete(std::max(size + 1, kV1PrefixLength + 2));
    }
    if (std::memcmp(data, kV2Signature, v2) == 0) {
        return size < sizeof kV2Signature ? incomplete(kV2FixedLength) : parseV2(data, size);
    }
    return invalid(ProxyFault::Signature);
}

std::string endpointText(const asio::ip::tcp::endpoint& endpoint) {
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

const char* describe(ProxyFault fault) {
    switch (fault) {
        case ProxyFault::None:
            return "a valid PROXY header";
        case ProxyFault::Signature:
            return "no PROXY header";
        case ProxyFault::V1TooLong:
            return "PROXY v1: no CRLF within 107 bytes";
        case ProxyFault::V1Syntax:
            return "PROXY v1: not \"PROXY TCP4|TCP6 SRC DST SPORT DPORT\\r\\n\"";
        case ProxyFault::V1Address:
            return "PROXY v1: an address that is not its protocol's";
        case ProxyFault::V1Port:
            return "PROXY v1: a port that is not 0 to 65535 without a leading zero";
        case ProxyFault::V2Version:
            return "PROXY v2: a version other than 2";
        case ProxyFault::V2Command:
            return "PROXY v2: a command other than LOCAL or PROXY";
        case ProxyFault::V2Family:
            return "PROXY v2: a family that is not a stream";
        case ProxyFault::V2TooLong:
            return "PROXY v2: more bytes of addresses and TLVs than a header may have";
        case ProxyFault::V2Addresses:
            return "PROXY v2: too short for its family's addresses";
        case ProxyFault::V2Tlv:
            return "PROXY v2: TLVs that do not end where the header ends";
        case ProxyFault::Truncated:
            return "its stream ended inside its PROXY header";
    }
    return "PROXY: unknown fault";
}

}  // namespace zrnet

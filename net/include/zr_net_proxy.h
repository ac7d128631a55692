// The PROXY protocol header (versions 1 and 2) that a load balancer sends
// before a client's bytes, saying whom the connection is for. A pure
// function of the bytes received so far: complete (its length and the
// client's address), incomplete (the fewest bytes it can have), or not a
// header (why). Strict: anything outside the grammar is refused.
//
//   v1: "PROXY TCP4 192.0.2.7 198.51.100.1 40112 7633\r\n" (TCP6 likewise;
//       "PROXY UNKNOWN ...\r\n" names no address), at most 107 bytes.
//   v2: 0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A, then version and command
//       (0x21 PROXY, 0x20 LOCAL), family (0x11 TCP over IPv4, 0x21 over
//       IPv6, 0x31 a Unix stream, 0x00 unspecified), the length of what
//       follows (16 bits, big-endian): the addresses, then TLVs.
#ifndef ZRPACKET_ZR_NET_PROXY_H
#define ZRPACKET_ZR_NET_PROXY_H

#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <string>

namespace zrnet {

// The longest v1 header, CRLF included.
constexpr std::size_t kProxyV1MaxLength = 107;
// The most address and TLV bytes a v2 header may carry. A balancer's
// addresses take at most 216 (Unix); the rest leaves room for a few TLVs
// (unique id, authority) without letting a peer make a connection hold
// 64 KiB before its first packet.
constexpr std::size_t kProxyV2MaxBody = 1024;

enum class ProxyFault : unsigned char {
    None,
    Signature,    // neither "PROXY " nor the v2 signature: no header
    V1TooLong,    // no CRLF within 107 bytes
    V1Syntax,     // not PROXY, a protocol, two addresses and two ports, single spaces, CRLF
    V1Address,    // an address that is not the protocol's dotted or colon form
    V1Port,       // a port that is not 0 to 65535 in decimal without a leading zero
    V2Version,    // a version other than 2
    V2Command,    // a command other than LOCAL (0) or PROXY (1)
    V2Family,     // a datagram or unknown family: not a stream
    V2TooLong,    // more than kProxyV2MaxBody bytes after the fixed part
    V2Addresses,  // fewer bytes than the family's addresses take
    V2Tlv,        // TLVs that do not end exactly where the header ends
    Truncated,    // the stream ended inside the header (a connection's verdict, not the parser's)
};

struct ProxyHeader {
    enum class Status : unsigned char { Complete, Incomplete, Invalid };
    Status status = Status::Incomplete;
    // Complete: the header's length; Incomplete: the fewest bytes it can have.
    std::size_t length = 0;
    // Complete: the client's address, when the header names one (not for
    // LOCAL, UNKNOWN, an unspecified family or a Unix socket: then the
    // connection's own address stands).
    bool hasSource = false;
    asio::ip::tcp::endpoint source;
    ProxyFault fault = ProxyFault::None;  // Invalid: why
};

// The header at the start of [data, data + size). Reads nothing outside.
ProxyHeader parseProxyHeader(const unsigned char* data, std::size_t size);

// "no PROXY header", "PROXY v1: a port that is not ..." and the like.
const char* describe(ProxyFault fault);

// An address and port as logs give them: "192.0.2.7:40112", "[2001:db8::7]:40112".
std::string endpointText(const asio::ip::tcp::endpoint& endpoint);

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_PROXY_H

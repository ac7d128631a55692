// What the tests of the component net and of the relay share: raw client
// sockets on 127.0.0.1 for the faults a well-behaved client never makes,
// packets to send, PROXY headers, and the costliest stream known.
#ifndef ZRPACKET_TESTS_NET_NET_KIT_H
#define ZRPACKET_TESTS_NET_NET_KIT_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nettest {

// A connection to the port on 127.0.0.1, from `source` when given (any of
// 127.0.0.0/8: a client of another address); -1 when refused.
int connectTo(std::uint16_t port, int receiveBuffer = 0, const char* source = nullptr);
bool sendAll(int fd, const std::vector<char>& bytes);
// Everything the peer sends until it ends the connection; `ended` is false
// when it did not within the timeout.
std::vector<char> readToEnd(int fd, std::chrono::milliseconds timeout, bool& ended);
// Up to `count` bytes from the peer, less when it ends the connection first
// or the timeout passes.
std::vector<char> readUpTo(int fd, std::size_t count, std::chrono::milliseconds timeout);
// A new connection (from `source`) that sends the packet: its descriptor,
// left open, when the reply (the packet itself) came; -1 when the server
// closed it without one.
int answered(std::uint16_t port, const std::vector<char>& packet, const char* source = nullptr);
// Sends the bytes on a new connection and reads until the server closes it
// (a failure of the test when it does not within the timeout).
std::vector<char> exchange(std::uint16_t port, const std::vector<char>& bytes, std::chrono::milliseconds timeout);
// The same, the client ending its stream once the bytes are sent.
std::vector<char> exchangeEnded(std::uint16_t port, const std::vector<char>& bytes,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Writes the packet over and over, never reading, until the server closes
// the connection; how long that took, or nothing past the timeout.
std::optional<std::chrono::milliseconds> sendUntilClosed(int fd, const std::vector<char>& packet,
                                                         std::chrono::milliseconds timeout);

// A plain packet of the user's with a text of `size` bytes: the same length
// for every user.
std::vector<char> packetOf(unsigned int user, std::size_t size);
// A packet of about 60 KB, for filling queues quickly.
std::vector<char> bigPacket();
std::vector<char> repeated(const std::vector<char>& packet, std::size_t times);
std::vector<char> concat(const std::vector<std::vector<char>>& packets, std::size_t count);

// The stream that stalled a relay (zrtest::craftedStall): every start in
// it deciphers tens of kilobytes to learn that it is no packet.
std::vector<char> craftedStream(std::size_t bytes);

// A PROXY v2 header: the signature, version 2 with `command` (1 PROXY, 0
// LOCAL), `family` (0x11 TCP over IPv4, ...), the length, then `body`.
std::string proxyV2(unsigned char command, unsigned char family, const std::string& body);
// The addresses of TCP over IPv4 in a v2 header: source, destination, their ports.
std::string proxyV2Inet(const std::string& source, std::uint16_t sourcePort, const std::string& destination,
                        std::uint16_t destinationPort);

// A table row's name as a test's: each run of other characters than
// letters and digits one '_'.
std::string testName(const char* rowName);

}  // namespace nettest

#endif  // ZRPACKET_TESTS_NET_NET_KIT_H

#include "net_kit.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>
#include <cctype>
#include <cerrno>
#include <stdexcept>

#include "hostile_streams.h"
#include "zr_encrypt.h"
#include "zr_session_packets.h"

namespace nettest {

using namespace std::chrono_literals;

// A connection to the port on 127.0.0.1, from `source` when given (any of
// 127.0.0.0/8: a client of another address).
int connectTo(std::uint16_t port, int receiveBuffer, const char* source) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (source != nullptr) {
        inet_pton(AF_INET, source, &address.sin_addr);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::vector<char>& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// Everything the peer sends until it ends the connection; `ended` is false
// when it did not within the timeout.
std::vector<char> readToEnd(int fd, std::chrono::milliseconds timeout, bool& ended) {
    std::vector<char> all;
    const auto until = std::chrono::steady_clock::now() + timeout;
    ended = false;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ended = true;
            break;
        }
        all.insert(all.end(), buffer, buffer + n);
    }
    return all;
}

// Up to `count` bytes from the peer, less when it ends the connection first
// or the timeout passes.
std::vector<char> readUpTo(int fd, std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<char> all(count);
    std::size_t got = 0;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (got < count && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = recv(fd, all.data() + got, count - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    all.resize(got);
    return all;
}

// A new connection (from `source`) that sends the packet: its descriptor,
// left open, when the reply came; -1 when the relay closed it without one.
int answered(std::uint16_t port, const std::vector<char>& packet, const char* source) {
    const int fd = connectTo(port, 0, source);
    if (fd < 0) return -1;
    if (sendAll(fd, packet) && readUpTo(fd, packet.size(), 5s) == packet) return fd;
    close(fd);
    return -1;
}

namespace {

std::vector<char> exchangeOn(std::uint16_t port, const std::vector<char>& bytes, std::chrono::milliseconds timeout,
                             bool endStream) {
    const int fd = connectTo(port);
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(sendAll(fd, bytes));
    if (endStream) shutdown(fd, SHUT_WR);
    bool ended = false;
    std::vector<char> received = readToEnd(fd, timeout, ended);
    EXPECT_TRUE(ended) << "the server did not close the connection";
    close(fd);
    return received;
}

}  // namespace

std::vector<char> exchange(std::uint16_t port, const std::vector<char>& bytes, std::chrono::milliseconds timeout) {
    return exchangeOn(port, bytes, timeout, false);
}

std::vector<char> exchangeEnded(std::uint16_t port, const std::vector<char>& bytes, std::chrono::milliseconds timeout) {
    return exchangeOn(port, bytes, timeout, true);
}

// Writes the packet over and over, never reading, until the relay closes
// the connection; how long that took, or nothing past the timeout.
std::optional<std::chrono::milliseconds> sendUntilClosed(int fd, const std::vector<char>& packet,
                                                         std::chrono::milliseconds timeout) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t sent = 0; std::chrono::steady_clock::now() < start + timeout;) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        bool closed = (p.revents & (POLLERR | POLLHUP)) != 0;
        if (!closed) {
            const ssize_t n = send(fd, packet.data() + sent % packet.size(), packet.size() - sent % packet.size(),
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
            closed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
        if (closed) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        }
    }
    return std::nullopt;
}

// A packet of the user's with a text of `size` bytes: the same length for
// every user.
std::vector<char> packetOf(unsigned int user, std::size_t size) {
    ZrHttpMsgPacket packet;
    packet.setUserID(user);
    packet.setRequest(std::string(size, 'x'));
    std::vector<char> wire(size + 1024);
    if (packet.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) throw std::runtime_error(packet.getLastErrMsg());
    wire.resize(packet.getPacketLength());
    return wire;
}

std::vector<char> repeated(const std::vector<char>& packet, std::size_t times) {
    std::vector<char> out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

// A packet of about 60 KB, for filling queues quickly.
std::vector<char> bigPacket() { return packetOf(1, 60000); }

std::vector<char> concat(const std::vector<std::vector<char>>& packets, std::size_t count) {
    std::vector<char> out;
    for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), packets[i].begin(), packets[i].end());
    return out;
}

std::vector<char> craftedStream(std::size_t bytes) {
    const std::string stream = zrtest::craftedStall(bytes);
    return std::vector<char>(stream.begin(), stream.end());
}

std::string proxyV2(unsigned char command, unsigned char family, const std::string& body) {
    std::string out("\r\n\r\n\0\r\nQUIT\n", 12);
    out += static_cast<char>(0x20 | command);
    out += static_cast<char>(family);
    out += static_cast<char>(body.size() >> 8);
    out += static_cast<char>(body.size() & 0xFF);
    return out + body;
}

std::string proxyV2Inet(const std::string& source, std::uint16_t sourcePort, const std::string& destination,
                        std::uint16_t destinationPort) {
    std::string out;
    for (const std::string& address : {source, destination}) {
        const auto bytes = asio::ip::make_address_v4(address).to_bytes();
        out.append(bytes.begin(), bytes.end());
    }
    for (const std::uint16_t port : {sourcePort, destinationPort}) {
        out += static_cast<char>(port >> 8);
        out += static_cast<char>(port & 0xFF);
    }
    return out;
}

std::string testName(const char* rowName) {
    std::string name;
    for (const char* c = rowName; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) {
            name += *c;
        } else if (name.empty() || name.back() != '_') {
            name += '_';
        }
    }
    return name;
}

}  // namespace nettest

// zrrelay_echo: a backend for the relay's tests and benchmark that sends
// every byte back as it came, so each packet the relay forwards is its own
// reply, SN included.
//   zrrelay_echo --listen 127.0.0.1:0 [--delay-ms N] [--drop-every N] [--hostile-first 1]
// Logs "listening on HOST:PORT" on standard error; --delay-ms holds each
// read that long before echoing it (a slow backend); --drop-every N answers
// no N-th packet (a backend that loses some); --hostile-first sends each
// connection, before anything else, 50 enciphered heads and 4 000 bytes of
// 0x03, bytes that cost a receiver the most work it can be made to do
// (the prefixes of them that a packet's deCode accepts carry SN 0, which
// the relay never gives). Ends on SIGINT or SIGTERM;
// SIGKILL makes a backend that dies.
#include <asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host_port.h"
#include "zr_stream_splitter.h"

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(asio::ip::tcp::socket socket, std::chrono::milliseconds delay, long dropEvery)
        : m_socket(std::move(socket)), m_timer(m_socket.get_executor()), m_delay(delay), m_dropEvery(dropEvery) {}

    // The hostile bytes first, then the echoes.
    void start(bool hostile) {
        if (!hostile) return read();
        static const std::vector<char> bytes = [] {
            std::vector<char> b;
            for (int i = 0; i < 50; ++i) {
                std::vector<char> head(33, '\0');
                head[0] = 0x02;
                head[6] = 5;   // an enciphered billing message
                head[16] = 1;  // cipher variant 1
                b.insert(b.end(), head.begin(), head.end());
                b.push_back('\x03');
            }
            b.insert(b.end(), 4000, '\x03');
            return b;
        }();
        auto self = shared_from_this();
        asio::async_write(m_socket, asio::buffer(bytes), [self](const asio::error_code& error, std::size_t) {
            if (!error) self->read();
        });
    }

    void read() {
        auto self = shared_from_this();
        m_socket.async_read_some(asio::buffer(m_buffer), [self](const asio::error_code& error, std::size_t n) {
            if (error) {
                asio::error_code ignored;
                self->m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
                return;
            }
            if (self->m_dropEvery > 0) n = self->dropSome(n);
            if (self->m_delay.count() == 0) {
                self->echo(n);
                return;
            }
            self->m_timer.expires_after(self->m_delay);
            self->m_timer.async_wait([self, n](const asio::error_code&) { self->echo(n); });
        });
    }

private:
    // Keeps every packet of the read but each m_dropEvery-th; the bytes kept
    // are moved to the buffer's front, their count returned.
    std::size_t dropSome(std::size_t n) {
        m_splitter.feed(m_buffer.data(), n);
        std::vector<char> kept;
        for (ZrSplitItem item; m_splitter.next(item);) {
            if (item.isPacket() && ++m_packets % m_dropEvery == 0) continue;
            kept.insert(kept.end(), item.chars(), item.chars() + item.length);
        }
        std::copy(kept.begin(), kept.end(), m_buffer.begin());
        return kept.size();
    }

    void echo(std::size_t n) {
        auto self = shared_from_this();
        asio::async_write(m_socket, asio::buffer(m_buffer.data(), n),
                          [self](const asio::error_code& error, std::size_t) {
                              if (!error) self->read();
                          });
    }

    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_timer;
    std::chrono::milliseconds m_delay;
    long m_dropEvery;
    long m_packets = 0;
    ZrStreamSplitter m_splitter;
    std::vector<char> m_buffer = std::vector<char>(64 * 1024);
};

void accept(asio::ip::tcp::acceptor& acceptor, std::chrono::milliseconds delay, long dropEvery, bool hostile) {
    acceptor.async_accept(
        [&acceptor, delay, dropEvery, hostile](const asio::error_code& error, asio::ip::tcp::socket socket) {
            if (!error) {
                asio::error_code ignored;
                socket.set_option(asio::ip::tcp::no_delay(true), ignored);
                std::make_shared<Session>(std::move(socket), delay, dropEvery)->start(hostile);
            }
            accept(acceptor, delay, dropEvery, hostile);
        });
}

}  // namespace

int main(int argc, char** argv) {
    zrrelay::HostPort listen;
    long delayMs = 0, dropEvery = 0;
    bool hostile = false;
    bool ok = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--listen") == 0) {
            ok = zrrelay::parseHostPort(argv[i + 1], listen);
        } else if (std::strcmp(argv[i], "--delay-ms") == 0) {
            delayMs = std::strtol(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--drop-every") == 0) {
            dropEvery = std::strtol(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--hostile-first") == 0) {
            hostile = std::strcmp(argv[i + 1], "0") != 0;
        } else {
            ok = false;
            break;
        }
    }
    if (!ok || argc % 2 == 0) {
        std::fprintf(stderr,
                     "usage: zrrelay_echo --listen HOST:PORT [--delay-ms N] [--drop-every N] [--hostile-first 1]\n");
        return 2;
    }
    try {
        asio::io_context io;
        const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(listen.host), listen.port);
        asio::ip::tcp::acceptor acceptor(io, endpoint);  // reuse_address: a restart takes the same port
        const zrrelay::HostPort bound{listen.host, acceptor.local_endpoint().port()};
        std::fprintf(stderr, "zrrelay_echo: listening on %s\n", bound.text().c_str());
        accept(acceptor, std::chrono::milliseconds(delayMs), dropEvery, hostile);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&io](const asio::error_code&, int) { io.stop(); });
        io.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zrrelay_echo: %s\n", e.what());
        return 1;
    }
    return 0;
}

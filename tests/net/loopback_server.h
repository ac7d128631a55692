// A server on a 127.0.0.1 port the system chose, on the test's io_context,
// answering each packet it reads as the test says.
#ifndef ZRPACKET_TESTS_NET_LOOPBACK_SERVER_H
#define ZRPACKET_TESTS_NET_LOOPBACK_SERVER_H

#include <asio.hpp>
#include <chrono>
#include <memory>
#include <vector>

#include "zr_basic_packets.h"
#include "zr_stream_splitter.h"

namespace nettest {

enum class Answer {
    Echo,               // each packet is its own reply
    EchoTwiceAndStray,  // the reply twice, then one with an SN no request has
    Reverse,            // held until `batch` have come, then answered last first
    OtherCommand,       // a keep-alive under the packet's SN
    Hold,               // no reply
    CloseFirst,         // the first connection is closed once it has sent packets; later ones echo
};
constexpr unsigned int kStraySN = 0x7FFFFFFF;

class Server {
public:
    Server(asio::io_context& io, Answer answer, std::size_t batch = 0)
        : m_acceptor(io, {asio::ip::make_address("127.0.0.1"), 0}), m_timer(io), m_answer(answer), m_batch(batch) {
        accept();
    }
    std::uint16_t port() const { return m_port; }
    // Stops listening now, and listens on the same port again after `down`.
    void goDown(std::chrono::milliseconds down) {
        m_acceptor.close();
        m_timer.expires_after(down);
        m_timer.async_wait([this](const asio::error_code&) {
            m_acceptor.open(asio::ip::tcp::v4());
            m_acceptor.set_option(asio::socket_base::reuse_address(true));
            m_acceptor.bind({asio::ip::make_address("127.0.0.1"), m_port});
            m_acceptor.listen();
            accept();
        });
    }

    std::size_t packets = 0;  // read, over every connection
    std::size_t connections = 0;

private:
    struct Peer {
        explicit Peer(asio::ip::tcp::socket s) : socket(std::move(s)) {}
        asio::ip::tcp::socket socket;
        ZrStreamSplitter splitter;
        std::vector<char> in = std::vector<char>(64 * 1024), out;
        std::vector<std::vector<char>> held;
    };

    void accept() {
        m_acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
            if (error) return;
            ++connections;
            read(std::make_shared<Peer>(std::move(socket)), connections == 1);
            accept();
        });
    }
    void read(const std::shared_ptr<Peer>& peer, bool first) {
        peer->socket.async_read_some(asio::buffer(peer->in), [this, peer, first](const asio::error_code& error,
                                                                                   std::size_t n) {
            if (error) return;
            peer->splitter.feed(peer->in.data(), n);
            peer->out.clear();
            for (ZrSplitItem item; peer->splitter.next(item);) {
                ++packets;
                answer(*peer, std::vector<char>(item.chars(), item.chars() + item.length));
            }
            if (m_answer == Answer::CloseFirst && first) return peer->socket.close();
            asio::async_write(peer->socket, asio::buffer(peer->out),
                              [this, peer, first](const asio::error_code& e, std::size_t) {
                                  if (!e) read(peer, first);
                              });
        });
    }
    void answer(Peer& peer, std::vector<char> packet) {
        auto& out = peer.out;
        const auto size = static_cast<unsigned int>(packet.size());
        switch (m_answer) {
        case Answer::Echo:
        case Answer::CloseFirst: out.insert(out.end(), packet.begin(), packet.end()); break;
        case Answer::EchoTwiceAndStray:
            for (int i = 0; i < 2; ++i) out.insert(out.end(), packet.begin(), packet.end());
            ZrCPacketHead::fastSetSN(packet.data(), size, kStraySN);
            out.insert(out.end(), packet.begin(), packet.end());
            break;
        case Answer::Reverse:
            peer.held.push_back(std::move(packet));
            if (peer.held.size() < m_batch) break;
            for (auto it = peer.held.rbegin(); it != peer.held.rend(); ++it) out.insert(out.end(), it->begin(), it->end());
            peer.held.clear();
            break;
        case Answer::OtherCommand: {
            ZrCkeepAlivePacket keepAlive;
            keepAlive.setSN(ZrCPacketHead::fastGetSN(packet.data(), size));
            char bytes[ZrCkeepAlivePacket::PACKET_LEN];
            keepAlive.enCode(bytes, sizeof bytes);
            out.insert(out.end(), bytes, bytes + sizeof bytes);
            break;
        }
        case Answer::Hold: break;
        }
    }

    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_timer;
    Answer m_answer;
    std::size_t m_batch;
    std::uint16_t m_port = m_acceptor.local_endpoint().port();
};

}  // namespace nettest

#endif  // ZRPACKET_TESTS_NET_LOOPBACK_SERVER_H

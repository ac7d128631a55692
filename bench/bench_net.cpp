// Request/reply round trips over loopback: zrnet::Client and zrnet::Server
// against a hand-written Asio client that sends the same bytes and counts
// replies by their length alone, and a hand-written Asio echo that writes
// back each read (the limits: no splitting, no matching, no dispatch). Each
// server runs on a thread of its own.
//
//   BM_RoundTrips/CLIENT/SERVER/C/W   C connections, each keeping W requests in flight
//
// CLIENT: hand, zrnet_raw (bytes in, reply bytes out), zrnet_typed (a
// packet object encoded, its reply decoded); SERVER: echo (hand-written),
// zrnet_raw (each packet's bytes handed over and replied as they are),
// zrnet_typed (each decoded into its class's object, which is encoded as
// the reply). Each iteration makes kRequestsPerIteration round trips over
// all connections; reported: requests/s. The requests are plain card
// recharges of 80 to 140 bytes, each its own reply.
#include <benchmark/benchmark.h>

#include <asio.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "zr_billing_packets.h"
#include "zr_net_client.h"
#include "zr_net_server.h"

namespace {

constexpr std::size_t kRequestsPerIteration = 32000;
using Finished = std::function<void()>;  // a flow has had every reply of its run

// --- the echo server ----------------------------------------------------------

class Echo {
public:
    Echo() : m_acceptor(m_io, {asio::ip::make_address("127.0.0.1"), 0}) {
        accept();
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~Echo() {
        m_io.stop();
        m_thread.join();
    }
    std::uint16_t port() const { return m_acceptor.local_endpoint().port(); }

private:
    struct Session {
        explicit Session(asio::ip::tcp::socket s) : socket(std::move(s)) {}
        asio::ip::tcp::socket socket;
        std::vector<char> buffer = std::vector<char>(64 * 1024);
    };
    void accept() {
        m_acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
            if (error) return;
            socket.set_option(asio::ip::tcp::no_delay(true));
            echo(std::make_shared<Session>(std::move(socket)));
            accept();
        });
    }
    static void echo(const std::shared_ptr<Session>& s) {
        s->socket.async_read_some(asio::buffer(s->buffer), [s](const asio::error_code& error, std::size_t n) {
            if (error) return;
            asio::async_write(s->socket, asio::buffer(s->buffer.data(), n),
                              [s](const asio::error_code& e, std::size_t) {
                                  if (!e) echo(s);
                              });
        });
    }

    asio::io_context m_io;
    asio::ip::tcp::acceptor m_acceptor;
    std::thread m_thread;
};

// zrnet::Server, raw or typed, answering each request with its own bytes.
class NetServer {
public:
    explicit NetServer(bool typed) : m_server(m_io, zrnet::ServerOptions()) {
        if (typed) {
            m_server.on<ZrBillUserCardRechargePacket>(
                [](ZrBillUserCardRechargePacket& request, zrnet::Responder responder) { responder.reply(request); });
        } else {
            m_server.onRaw([](const ZrSplitItem& request, zrnet::Responder responder) {
                responder.replyRaw(request.data, request.length);
            });
        }
        m_port = m_server.listen("127.0.0.1", 0).port();
        m_thread = std::thread([this] { m_io.run(); });
    }
    ~NetServer() {
        asio::post(m_io, [this] {
            m_server.close();
            m_io.stop();
        });
        m_thread.join();
    }
    std::uint16_t port() const { return m_port; }

private:
    asio::io_context m_io;
    zrnet::Server m_server;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

enum ServerKind { kEcho, kServerRaw, kServerTyped };
const char* const kServerNames[] = {"echo", "zrnet_raw", "zrnet_typed"};

// Each server started once, when a row first needs it.
std::uint16_t serverPort(ServerKind kind) {
    if (kind == kEcho) {
        static Echo echo;
        return echo.port();
    }
    if (kind == kServerRaw) {
        static NetServer raw(false);
        return raw.port();
    }
    static NetServer typed(true);
    return typed.port();
}

// --- the requests -------------------------------------------------------------

ZrBillUserCardRechargePacket recharge(std::size_t i) {
    ZrBillUserCardRechargePacket packet;
    packet.setuser_id(static_cast<unsigned int>(100000 + i));
    packet.setmerchant_name("merchant " + std::to_string(i));
    packet.setorder_id(std::string(8 + 4 * i, 'o'));
    packet.setcard_id("card-0123456789");
    packet.setcard_password("secret");
    return packet;
}

const std::vector<std::vector<char>>& requests() {
    static const std::vector<std::vector<char>> pool = [] {
        std::vector<std::vector<char>> out;
        for (std::size_t i = 0; i < 16; ++i) {
            ZrBillUserCardRechargePacket packet = recharge(i);
            std::vector<char> bytes(1024);
            packet.enCode(bytes.data(), static_cast<unsigned int>(bytes.size()));
            bytes.resize(packet.getPacketLength());
            out.push_back(std::move(bytes));
        }
        return out;
    }();
    return pool;
}

// --- the clients --------------------------------------------------------------

// One connection per flow: writes requests while fewer than W are
// unanswered, and counts a reply once as many bytes have come back.
class HandClient {
public:
    HandClient(asio::io_context& io, std::uint16_t port, std::size_t window, Finished finished)
        : m_socket(io), m_window(window), m_finished(std::move(finished)) {
        m_socket.connect({asio::ip::make_address("127.0.0.1"), port});
        m_socket.set_option(asio::ip::tcp::no_delay(true));
    }
    void run(std::size_t count) {
        m_count = count;
        m_sent = m_answered = m_replyBytes = 0;
        write();
        read();
    }

private:
    const std::vector<char>& request(std::size_t i) const { return requests()[i % requests().size()]; }
    void write() {
        if (m_writing) return;
        m_out.clear();
        for (; m_sent < m_count && m_sent - m_answered < m_window; ++m_sent) {
            m_out.insert(m_out.end(), request(m_sent).begin(), request(m_sent).end());
        }
        if (m_out.empty()) return;
        m_writing = true;
        asio::async_write(m_socket, asio::buffer(m_out), [this](const asio::error_code& error, std::size_t) {
            if (error) throw std::runtime_error("write: " + error.message());
            m_writing = false;
            write();
        });
    }
    void read() {
        if (m_answered == m_count) return;
        m_socket.async_read_some(asio::buffer(m_in), [this](const asio::error_code& error, std::size_t n) {
            if (error) throw std::runtime_error("read: " + error.message());
            m_replyBytes += n;
            for (; m_answered < m_sent && m_replyBytes >= request(m_answered).size(); ++m_answered) {
                m_replyBytes -= request(m_answered).size();
            }
            if (m_answered == m_count) m_finished();
            write();
            read();
        });
    }

    asio::ip::tcp::socket m_socket;
    std::size_t m_window;
    Finished m_finished;
    std::size_t m_count = 0, m_sent = 0, m_answered = 0, m_replyBytes = 0;
    std::vector<char> m_out, m_in = std::vector<char>(64 * 1024);
    bool m_writing = false;
};

// W requests in flight on one zrnet::Client, each sent again as its reply comes.
class NetClient {
public:
    NetClient(asio::io_context& io, std::uint16_t port, std::size_t window, Finished finished, bool typed)
        : m_client(io, options(port, window)), m_window(window), m_finished(std::move(finished)), m_typed(typed) {
        for (std::size_t i = 0; typed && i < requests().size(); ++i) m_packets.push_back(recharge(i));
        m_client.start();
    }
    void run(std::size_t count) {
        m_count = count;
        m_sent = m_answered = 0;
        for (std::size_t i = 0; i < m_window && i < count; ++i) send();
    }

private:
    static zrnet::ClientOptions options(std::uint16_t port, std::size_t window) {
        zrnet::ClientOptions o("127.0.0.1", port);
        o.maxInFlight = window;
        return o;
    }
    void send() {
        const std::size_t i = m_sent++ % requests().size();
        if (m_typed) {
            m_client.asyncRequest(m_packets[i], m_reply, [this](std::error_code error) { done(error); });
        } else {
            m_client.asyncRawRequest(asio::buffer(requests()[i]), asio::dynamic_buffer(m_replyBytes),
                                     [this](std::error_code error, std::size_t) {
                                         m_replyBytes.clear();
                                         done(error);
                                     });
        }
    }
    void done(std::error_code error) {
        if (error) throw std::system_error(error);
        if (++m_answered == m_count) m_finished();
        if (m_sent < m_count) send();
    }

    zrnet::Client m_client;
    std::size_t m_window;
    Finished m_finished;
    bool m_typed;
    std::size_t m_count = 0, m_sent = 0, m_answered = 0;
    std::deque<ZrBillUserCardRechargePacket> m_packets;  // typed: the requests of the pool
    ZrBillUserCardRechargePacket m_reply;
    std::vector<char> m_replyBytes;
};

enum ClientKind { kHand, kNetRaw, kNetTyped };
const char* const kClientNames[] = {"hand", "zrnet_raw", "zrnet_typed"};

// The flows are made, connected and warmed once; each iteration is a run
// of every flow until each has had its replies.
template <class Flow, class Make>
void roundTrips(benchmark::State& state, ServerKind server, Make make) {
    const auto connections = static_cast<std::size_t>(state.range(0));
    const auto window = static_cast<std::size_t>(state.range(1));
    const std::size_t perConnection = kRequestsPerIteration / connections;
    asio::io_context io;
    std::size_t running = 0;
    std::vector<std::unique_ptr<Flow>> flows;
    for (std::size_t i = 0; i < connections; ++i) {
        flows.push_back(make(io, serverPort(server), window, [&] {
            if (--running == 0) io.stop();
        }));
    }
    const auto runAll = [&](std::size_t requests) {
        running = flows.size();
        asio::post(io, [&] {  // on the io_context's thread, as a program's requests would be
            for (auto& flow : flows) flow->run(requests);
        });
        io.restart();
        io.run();
    };
    runAll(window);
    std::size_t done = 0;
    for (auto _ : state) {
        runAll(perConnection);
        done += perConnection * connections;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(done));
}

void BM_RoundTrips(benchmark::State& state, ClientKind client, ServerKind server) {
    if (client == kHand) {
        roundTrips<HandClient>(state, server,
                               [](asio::io_context& io, std::uint16_t port, std::size_t window, Finished f) {
                                   return std::make_unique<HandClient>(io, port, window, std::move(f));
                               });
    } else {
        roundTrips<NetClient>(state, server, [client](asio::io_context& io, std::uint16_t port, std::size_t window,
                                                      Finished f) {
            return std::make_unique<NetClient>(io, port, window, std::move(f), client == kNetTyped);
        });
    }
}

const bool kRegistered = [] {
    const std::pair<ClientKind, ServerKind> rows[] = {
        {kHand, kEcho},          {kNetRaw, kEcho},          {kNetTyped, kEcho},
        {kHand, kServerRaw},     {kNetRaw, kServerRaw},     {kNetTyped, kServerTyped},
    };
    for (const auto& [client, server] : rows) {
        const std::string name = std::string("BM_RoundTrips/") + kClientNames[client] + "/" + kServerNames[server];
        benchmark::RegisterBenchmark(name.c_str(), BM_RoundTrips, client, server)
            ->Args({1, 32})
            ->Args({16, 32})
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();

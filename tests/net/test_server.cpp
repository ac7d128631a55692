// zrnet::Server on 127.0.0.1, driven by raw client sockets and by
// zrnet::Client: dispatch by class, replies in and out of order, the limits,
// PROXY headers, bad bytes, draining; the PROXY header's parser and the
// session line without a socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "net_kit.h"
#include "zr_billing_packets.h"
#include "zr_net_client.h"
#include "zr_net_proxy.h"
#include "zr_net_server.h"
#include "zr_session_packets.h"

namespace {

using namespace std::chrono_literals;
using namespace nettest;
using zrnet::EndCode;
using zrnet::ProxyFault;
using Status = zrnet::ProxyHeader::Status;

zrnet::ProxyHeader parse(const std::string& bytes) {
    return zrnet::parseProxyHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(ProxyHeader, ReadsWhatABalancerSendsAndRefusesTheRest) {
    const std::string inet = proxyV2Inet("192.0.2.7", 40112, "10.0.0.1", 7633);
    std::string inet6(36, '\0');
    inet6[0] = 0x20, inet6[1] = 0x01, inet6[2] = 0x0d, inet6[3] = static_cast<char>(0xb8), inet6[15] = 7;
    inet6[32] = static_cast<char>(0x9c), inet6[33] = static_cast<char>(0xb0);  // port 40112
    const std::string noop("\x04\x00\x02xy", 5);                               // a TLV of 2 bytes
    struct Case {
        const char* name;
        std::string bytes;
        Status status;
        std::size_t length;  // Complete: the header's
        const char* source;  // Complete: "" when it names none
        ProxyFault fault;
    };
    const Case cases[] = {
        {"v1 TCP4", "PROXY TCP4 192.0.2.7 10.0.0.1 40112 7633\r\n", Status::Complete, 42, "192.0.2.7:40112",
         ProxyFault::None},
        {"v1 TCP6, then a packet's bytes", "PROXY TCP6 2001:db8::7 2001:db8::1 40112 7633\r\n\x02\x01",
         Status::Complete, 47, "[2001:db8::7]:40112", ProxyFault::None},
        {"v1 UNKNOWN", "PROXY UNKNOWN whatever\r\n", Status::Complete, 24, "", ProxyFault::None},
        {"v1 port with a leading zero", "PROXY TCP4 192.0.2.7 10.0.0.1 040112 7633\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Port},
        {"v1 port 65536", "PROXY TCP4 192.0.2.7 10.0.0.1 65536 7633\r\n", Status::Invalid, 0, "", ProxyFault::V1Port},
        {"v1 address out of range", "PROXY TCP4 192.0.2.256 10.0.0.1 1 2\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Address},
        {"v1 TCP6 with an IPv4 address", "PROXY TCP6 192.0.2.7 10.0.0.1 1 2\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Address},
        {"v1 two spaces", "PROXY TCP4 192.0.2.7  10.0.0.1 1 2\r\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 a port missing", "PROXY TCP4 192.0.2.7 10.0.0.1 1\r\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 LF without CR", "PROXY TCP4 192.0.2.7 10.0.0.1 1 2\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 no CRLF in 107 bytes", "PROXY UNKNOWN " + std::string(93, 'x'), Status::Invalid, 0, "",
         ProxyFault::V1TooLong},
        {"no header: HTTP", "GET / HTTP/1.0\r\n\r\n", Status::Invalid, 0, "", ProxyFault::Signature},
        {"no header: a packet", std::string("\x02\x01\x02", 3), Status::Invalid, 0, "", ProxyFault::Signature},
        {"v2 PROXY TCP4", proxyV2(1, 0x11, inet), Status::Complete, 28, "192.0.2.7:40112", ProxyFault::None},
        {"v2 PROXY TCP6", proxyV2(1, 0x21, inet6), Status::Complete, 52, "[2001:db8::7]:40112", ProxyFault::None},
        {"v2 LOCAL (a check)", proxyV2(0, 0x00, ""), Status::Complete, 16, "", ProxyFault::None},
        {"v2 PROXY unspecified", proxyV2(1, 0x00, ""), Status::Complete, 16, "", ProxyFault::None},
        {"v2 PROXY Unix stream", proxyV2(1, 0x31, std::string(216, '\0')), Status::Complete, 232, "", ProxyFault::None},
        {"v2 with a TLV", proxyV2(1, 0x11, inet + noop), Status::Complete, 33, "192.0.2.7:40112", ProxyFault::None},
        {"v2 TLV past the end", proxyV2(1, 0x11, inet + noop.substr(0, 4)), Status::Invalid, 0, "", ProxyFault::V2Tlv},
        {"v2 version 1", proxyV2(1, 0x11, inet).replace(12, 1, "\x11"), Status::Invalid, 0, "", ProxyFault::V2Version},
        {"v2 command 2", proxyV2(2, 0x11, inet), Status::Invalid, 0, "", ProxyFault::V2Command},
        {"v2 UDP over IPv4", proxyV2(1, 0x12, inet), Status::Invalid, 0, "", ProxyFault::V2Family},
        {"v2 TCP4 too short", proxyV2(1, 0x11, inet.substr(0, 8)), Status::Invalid, 0, "", ProxyFault::V2Addresses},
        {"v2 over its length limit", proxyV2(1, 0x11, std::string(1025, '\0')), Status::Invalid, 0, "",
         ProxyFault::V2TooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const zrnet::ProxyHeader header = parse(c.bytes);
        ASSERT_EQ(header.status, c.status);
        EXPECT_EQ(header.fault, c.fault) << zrnet::describe(header.fault);
        if (c.status != Status::Complete) continue;
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.hasSource ? zrnet::endpointText(header.source) : "", c.source);
        // Cut at every shorter length, it waits for more, asking no more than it has.
        for (std::size_t cut = 0; cut < c.length; ++cut) {
            const zrnet::ProxyHeader part = parse(c.bytes.substr(0, cut));
            ASSERT_EQ(part.status, Status::Incomplete) << "cut at " << cut;
            EXPECT_GT(part.length, cut);
            EXPECT_LE(part.length, c.name[1] == '1' ? zrnet::kProxyV1MaxLength : c.length) << "cut at " << cut;
        }
    }
}

// One line, the same fields as logfmt and as JSON, a reason with every byte
// that needs escaping.
TEST(Session, ItsFieldsAsLogfmtAndJson) {
    zrnet::Session session;
    session.id = 7;
    session.client = "192.0.2.7:40112";
    session.start = std::chrono::steady_clock::time_point(std::chrono::seconds(100));
    session.packetsIn = session.packetsOut = 12;
    session.bytesIn = session.bytesOut = 3400;
    session.timedOut = 1;
    session.lost = 2;
    session.end = EndCode::BadBytes;
    session.reason = "a \"b\" \\ c=d\x01";
    const auto fields = session.fields(session.start + std::chrono::milliseconds(1503));
    std::string text, json;
    zrnet::appendFields(text, fields, zrnet::FieldFormat::Logfmt);
    zrnet::appendFields(json, fields, zrnet::FieldFormat::Json);
    EXPECT_EQ(text,
              " client=192.0.2.7:40112 id=7 duration_ms=1503 packets_in=12 bytes_in=3400 packets_out=12 "
              "bytes_out=3400 timed_out=1 lost=2 end=bad_bytes reason=\"a \\\"b\\\" \\\\ c=d\\u0001\"");
    EXPECT_EQ(json,
              ",\"client\":\"192.0.2.7:40112\",\"id\":7,\"duration_ms\":1503,\"packets_in\":12,\"bytes_in\":3400,"
              "\"packets_out\":12,\"bytes_out\":3400,\"timed_out\":1,\"lost\":2,\"end\":\"bad_bytes\","
              "\"reason\":\"a \\\"b\\\" \\\\ c=d\\u0001\"");
}

// --- a server on a thread of its own ------------------------------------------------

// A server on 127.0.0.1 with the row's handlers (by default each packet is
// its own reply), its io_context run by a thread of its own; an exception
// from a handler is counted and the thread runs on.
struct Running {
    using Handlers = std::function<void(Running&)>;

    Running(const zrnet::ServerOptions& options, const Handlers& handlers) : server(io, options) {
        server.onSession([this](const zrnet::Session& s) {
            std::lock_guard<std::mutex> lock(mutex);
            sessions.push_back(s);
        });
        if (handlers) {
            handlers(*this);
        } else {
            server.onRaw([](const ZrSplitItem& request, zrnet::Responder responder) {
                responder.replyRaw(request.data, request.length);
            });
        }
        port = server.listen("127.0.0.1", 0).port();
        thread = std::thread([this] {
            for (;;) {
                try {
                    io.run();
                    return;
                } catch (const std::exception&) {
                    ++exceptions;
                }
            }
        });
    }
    ~Running() {
        asio::post(io, [this] {
            held.clear();
            server.close();
            io.stop();
        });
        thread.join();
    }
    // What `f` returns on the server's thread.
    template <class F>
    auto onServer(F f) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        asio::post(io, [&task] { task(); });
        return result.get();
    }
    // The counters, once `code` has ended `count` sessions (or after 5 s).
    zrnet::ServerCounters countersWhen(EndCode code, std::uint64_t count) {
        zrnet::ServerCounters c = onServer([this] { return server.counters(); });
        for (auto until = std::chrono::steady_clock::now() + 5s;
             c.count(code) < count && std::chrono::steady_clock::now() < until;) {
            std::this_thread::sleep_for(10ms);
            c = onServer([this] { return server.counters(); });
        }
        return c;
    }
    std::vector<zrnet::Session> ended() {
        std::lock_guard<std::mutex> lock(mutex);
        return sessions;
    }

    asio::io_context io;
    // The server's thread runs until the end of the row, also when the server
    // is drained or closed and has nothing left to do, so that onServer()
    // always finds it.
    asio::executor_work_guard<asio::io_context::executor_type> running = asio::make_work_guard(io);
    zrnet::Server server;
    std::vector<zrnet::Responder> held;  // requests a row answers later, on the server's thread
    std::vector<char> heldBytes;
    std::size_t answering = 0, mostAnswering = 0;
    std::atomic<int> exceptions{0};
    std::uint16_t port = 0;
    std::mutex mutex;
    std::vector<zrnet::Session> sessions;
    std::thread thread;
};

// Each request answered `after` its coming, with its own bytes; the most
// awaiting an answer at once kept.
Running::Handlers answeredAfter(std::chrono::milliseconds after) {
    return [after](Running& r) {
        r.server.onRaw([&r, after](const ZrSplitItem& request, zrnet::Responder responder) {
            r.mostAnswering = std::max(r.mostAnswering, ++r.answering);
            auto timer = std::make_shared<asio::steady_timer>(r.io, after);
            timer->async_wait([&r, timer, responder = std::move(responder),
                               bytes = std::vector<char>(request.chars(), request.chars() + request.length)](
                                  const asio::error_code&) mutable {
                --r.answering;
                responder.replyRaw(bytes.data(), bytes.size());
            });
        });
    };
}

// The first request held; the second answered, then the first (or, with
// `dropFirst`, the first left unanswered).
Running::Handlers secondAnsweredFirst(bool dropFirst) {
    return [dropFirst](Running& r) {
        r.server.onRaw([&r, dropFirst](const ZrSplitItem& request, zrnet::Responder responder) {
            if (r.held.empty()) {
                r.held.push_back(std::move(responder));
                r.heldBytes.assign(request.chars(), request.chars() + request.length);
                return;
            }
            responder.replyRaw(request.data, request.length);
            if (!dropFirst) r.held.front().replyRaw(r.heldBytes.data(), r.heldBytes.size());
            r.held.clear();
        });
    };
}

// Each row starts its server, drives raw clients, and names the sessions it
// expects to have ended, by end code.
struct Row {
    const char* name;
    std::function<void(zrnet::ServerOptions&)> options;
    Running::Handlers handlers;  // null: each packet is its own reply
    std::function<void(Running&)> drive;
    std::map<EndCode, std::uint64_t> ended;
};

std::vector<char> bytesOf(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

std::vector<Row> rows() {
    static const std::vector<std::vector<char>> packets = [] {
        std::vector<std::vector<char>> out;
        for (unsigned int i = 0; i < 8; ++i) out.push_back(packetOf(10 + i, 20 + 10 * i));
        return out;
    }();
    const auto none = [](zrnet::ServerOptions&) {};
    return {
        // Its packets answered in order, then the session ends with the
        // client's stream and says so.
        {"a client's session", none, nullptr,
         [](Running& r) {
             const std::vector<char> three = concat(packets, 3);
             const int fd = connectTo(r.port);
             EXPECT_TRUE(sendAll(fd, three));
             shutdown(fd, SHUT_WR);
             bool ended = false;
             EXPECT_EQ(readToEnd(fd, 5s, ended), three);
             close(fd);
             r.countersWhen(EndCode::ClientClosed, 1);
             const zrnet::Session s = r.ended().at(0);
             EXPECT_EQ(s.packetsIn, 3u);
             EXPECT_EQ(s.bytesOut, three.size());
             EXPECT_EQ(s.reason, "it ended its stream");
         },
         {{EndCode::ClientClosed, 1}}},
        {"as answered: the later request's reply first", none, secondAnsweredFirst(false),
         [](Running& r) {
             EXPECT_EQ(exchangeEnded(r.port, concat(packets, 2)), concat({packets[1], packets[0]}, 2));
         },
         {{EndCode::ClientClosed, 1}}},
        {"as asked: the replies in the order of their requests",
         [](zrnet::ServerOptions& o) { o.order = zrnet::ReplyOrder::AsAsked; }, secondAnsweredFirst(false),
         [](Running& r) { EXPECT_EQ(exchangeEnded(r.port, concat(packets, 2)), concat(packets, 2)); },
         {{EndCode::ClientClosed, 1}}},
        {"as asked: a request left unanswered holds none after it",
         [](zrnet::ServerOptions& o) { o.order = zrnet::ReplyOrder::AsAsked; }, secondAnsweredFirst(true),
         [](Running& r) { EXPECT_EQ(exchangeEnded(r.port, concat(packets, 2)), packets[1]); },
         {{EndCode::ClientClosed, 1}}},
        // Bytes that are not a packet after two packets, then a packet: the
        // two are answered (their replies slow to come), nothing after the
        // bad bytes is taken, then the client is closed.
        {"bad bytes after good packets", none, answeredAfter(200ms),
         [](Running& r) {
             std::vector<char> bytes = concat(packets, 2);
             bytes.insert(bytes.end(), 64, '\xff');
             bytes.insert(bytes.end(), packets[2].begin(), packets[2].end());
             EXPECT_EQ(exchange(r.port, bytes, 5s), concat(packets, 2));
             EXPECT_EQ(r.countersWhen(EndCode::BadBytes, 1).requests, 2u);
         },
         {{EndCode::BadBytes, 1}}},
        {"bad bytes passed over", [](zrnet::ServerOptions& o) { o.badBytes = zrnet::BadBytes::PassOver; }, nullptr,
         [](Running& r) {
             std::vector<char> bytes = concat(packets, 2);
             bytes.insert(bytes.end(), 64, '\xff');
             bytes.insert(bytes.end(), packets[2].begin(), packets[2].end());
             EXPECT_EQ(exchangeEnded(r.port, bytes), concat(packets, 3));
             EXPECT_EQ(r.countersWhen(EndCode::ClientClosed, 1).skippedBytes, 64u);
         },
         {{EndCode::ClientClosed, 1}}},
        // Clients that send the costliest stream known: each is closed at
        // its first bad byte, having cost at most one start's work (two of
        // the longest ciphers deciphered); an honest client is answered.
        {"crafted streams from clients", none, nullptr,
         [](Running& r) {
             const std::vector<char> crafted = craftedStream(32 * 1024);
             for (int i = 0; i < 4; ++i) EXPECT_TRUE(exchange(r.port, crafted, 10s).empty());
             const zrnet::ServerCounters c = r.countersWhen(EndCode::BadBytes, 4);
             EXPECT_GT(c.deciphered, 0u);
             EXPECT_LE(c.deciphered, 4 * 2 * ZR_MAX_ENCIPHERED_PACKET_LEN);
             const int fd = answered(r.port, packets[0]);
             EXPECT_GE(fd, 0);
             close(fd);
         },
         {{EndCode::BadBytes, 4}}},
        // A client that sent a packet never answered and went holds no
        // place; a client over maxClients is closed at once.
        {"max clients: refused at once, no place held by a client gone",
         [](zrnet::ServerOptions& o) { o.maxClients = 1; },
         [](Running& r) {  // the packets of user 10 held, the others answered
             r.server.onRaw([&r](const ZrSplitItem& request, zrnet::Responder responder) {
                 if (ZrCPacketHead::fastGetUserID(request.chars(), static_cast<unsigned int>(request.length)) == 10) {
                     r.held.push_back(std::move(responder));
                 } else {
                     responder.replyRaw(request.data, request.length);
                 }
             });
         },
         [](Running& r) {
             const int gone = connectTo(r.port);
             EXPECT_TRUE(sendAll(gone, packets[0]));
             close(gone);
             int open = answered(r.port, packets[1]);
             for (int tries = 0; tries < 50 && open < 0; ++tries) {  // until the gone one's end is read
                 std::this_thread::sleep_for(20ms);
                 open = answered(r.port, packets[1]);
             }
             EXPECT_GE(open, 0);
             const std::uint64_t refused = r.countersWhen(EndCode::RefusedFull, 0).count(EndCode::RefusedFull);
             EXPECT_TRUE(exchange(r.port, packets[2], 5s).empty());
             EXPECT_EQ(r.countersWhen(EndCode::RefusedFull, refused + 1).count(EndCode::RefusedFull), refused + 1);
             close(open);
         },
         {}},
        // Connections up to maxClients, three silent and three idle after a
        // packet: a new client is refused, then served once they have been
        // closed (firstPacket, idle), within their time.
        {"idle connections up to max clients",
         [](zrnet::ServerOptions& o) {
             o.maxClients = 6;
             o.firstPacket = o.idle = 300ms;
         },
         nullptr,
         [](Running& r) {
             std::vector<int> held;
             for (int i = 0; i < 3; ++i) held.push_back(connectTo(r.port));
             for (int i = 0; i < 3; ++i) held.push_back(answered(r.port, packets[i]));
             const auto start = std::chrono::steady_clock::now();
             int served = answered(r.port, packets[3]);
             EXPECT_LT(served, 0) << "a client over maxClients was served";
             while (served < 0 && std::chrono::steady_clock::now() < start + 3s) {
                 std::this_thread::sleep_for(50ms);
                 served = answered(r.port, packets[3]);
             }
             EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
             close(served);
             r.countersWhen(EndCode::Idle, 3);
             for (const int fd : held) close(fd);
         },
         {{EndCode::NoPacket, 3}, {EndCode::Idle, 3}}},
        // Five clients of one address and one of another: the first's are
        // held to three, the other is served.
        {"clients of one address over max per address",
         [](zrnet::ServerOptions& o) { o.maxClientsPerAddress = 3; }, nullptr,
         [](Running& r) {
             std::vector<int> fds;
             for (int i = 0; i < 5; ++i) fds.push_back(answered(r.port, packets[i], "127.0.0.7"));
             EXPECT_EQ(std::count_if(fds.begin(), fds.end(), [](int fd) { return fd >= 0; }), 3);
             fds.push_back(answered(r.port, packets[5], "127.0.0.8"));
             EXPECT_GE(fds.back(), 0);
             for (const int fd : fds) close(fd);
         },
         {{EndCode::RefusedAddress, 2}}},
        // Each connection opens with a PROXY header, whose address is the
        // client's in its session; a connection without one, or with a
        // malformed one, is closed unanswered.
        {"PROXY headers name the clients", [](zrnet::ServerOptions& o) { o.acceptProxy = true; }, nullptr,
         [](Running& r) {
             const std::vector<char> two = concat(packets, 2);
             const struct {
                 std::string header;
                 bool served;
             } connections[] = {
                 {proxyV2(1, 0x11, proxyV2Inet("192.0.2.7", 40112, "10.0.0.1", 7633)), true},
                 {"PROXY TCP4 198.51.100.9 10.0.0.1 5555 7633\r\n", true},
                 {"", false},
                 {"PROXY TCP4 198.51.100.9 10.0.0.1 05555 7633\r\n", false},
             };
             for (const auto& c : connections) {
                 std::vector<char> bytes = bytesOf(c.header);
                 bytes.insert(bytes.end(), two.begin(), two.end());
                 EXPECT_EQ(exchangeEnded(r.port, bytes), c.served ? two : std::vector<char>()) << c.header;
             }
             r.countersWhen(EndCode::BadProxy, 2);
             std::vector<std::string> clients;
             for (const zrnet::Session& s : r.ended()) {
                 if (s.end == EndCode::ClientClosed) clients.push_back(s.client);
             }
             EXPECT_EQ(clients, (std::vector<std::string>{"192.0.2.7:40112", "198.51.100.9:5555"}));
         },
         {{EndCode::ClientClosed, 2}, {EndCode::BadProxy, 2}}},
        // A slow handler: a client that sends far more than its in-flight
        // limit has at most that many requests awaiting answers at any time,
        // and all are answered in the end.
        {"in-flight limit: reading pauses", [](zrnet::ServerOptions& o) { o.maxInFlight = 4; },
         answeredAfter(20ms),
         [](Running& r) {
             std::vector<std::vector<char>> many;
             for (unsigned int i = 0; i < 40; ++i) many.push_back(packetOf(i, 50));
             EXPECT_EQ(exchangeEnded(r.port, concat(many, many.size())), concat(many, many.size()));
             EXPECT_EQ(r.onServer([&r] { return r.mostAnswering; }), 4u);
         },
         {{EndCode::ClientClosed, 1}}},
        // A client that never reads, behind a slow handler: closed within
        // the grace time of going over maxQueuedBytes.
        {"a client that never reads",
         [](zrnet::ServerOptions& o) {
             o.maxQueuedBytes = 65536;
             o.grace = 300ms;
             o.maxQueuedBytesHard = 64 * 1024 * 1024;
         },
         answeredAfter(100ms),
         [](Running& r) {
             const int fd = connectTo(r.port, 4096);
             const auto closedAfter = sendUntilClosed(fd, bigPacket(), 10s);
             close(fd);
             ASSERT_TRUE(closedAfter);
             EXPECT_LT(closedAfter->count(), 2500);
         },
         {{EndCode::Slow, 1}}},
        // Drained: no new connection, the replies owed sent, then closed.
        {"drain", none, answeredAfter(300ms),
         [](Running& r) {
             const std::vector<char> three = concat(packets, 3);
             const int fd = connectTo(r.port);
             EXPECT_TRUE(sendAll(fd, three));
             while (r.onServer([&r] { return r.server.counters().requests; }) < 3) std::this_thread::sleep_for(5ms);
             std::promise<std::error_code> drained;
             r.onServer([&] {
                 r.server.asyncDrain(5s, [&drained](std::error_code e) { drained.set_value(e); });
                 return 0;
             });
             EXPECT_LT(connectTo(r.port), 0);
             bool ended = false;
             EXPECT_EQ(readToEnd(fd, 5s, ended), three);
             EXPECT_TRUE(ended);
             close(fd);
             EXPECT_EQ(drained.get_future().get(), std::error_code());
         },
         {{EndCode::Shutdown, 1}}},
        {"drain timeout: the rest closed", none, answeredAfter(60s),
         [](Running& r) {
             const int fd = connectTo(r.port);
             EXPECT_TRUE(sendAll(fd, packets[0]));
             while (r.onServer([&r] { return r.server.counters().requests; }) < 1) std::this_thread::sleep_for(5ms);
             std::promise<std::error_code> drained;
             r.onServer([&] {
                 r.server.asyncDrain(100ms, [&drained](std::error_code e) { drained.set_value(e); });
                 return 0;
             });
             EXPECT_EQ(drained.get_future().get(), asio::error::timed_out);
             bool ended = false;
             EXPECT_TRUE(readToEnd(fd, 5s, ended).empty());
             EXPECT_TRUE(ended);
             close(fd);
         },
         {{EndCode::Shutdown, 1}}},
        // An exception from a handler leaves run() once the read is done;
        // the server and the connection go on.
        {"a handler that throws", none,
         [](Running& r) {
             r.server.onRaw([&r](const ZrSplitItem& request, zrnet::Responder responder) {
                 if (r.server.counters().requests == 1) throw std::runtime_error("handler");
                 responder.replyRaw(request.data, request.length);
             });
         },
         [](Running& r) {
             EXPECT_EQ(exchangeEnded(r.port, concat(packets, 2)), packets[1]);
             EXPECT_EQ(r.exceptions, 1);
         },
         {{EndCode::ClientClosed, 1}}},
    };
}

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class ServerTable : public ::testing::TestWithParam<Row> {};

TEST_P(ServerTable, Row) {
    const Row& row = GetParam();
    zrnet::ServerOptions options;
    row.options(options);
    Running r(options, row.handlers);
    row.drive(r);
    for (const auto& [code, count] : row.ended) {
        EXPECT_EQ(r.countersWhen(code, count).count(code), count) << zrnet::endCodeName(code);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ServerTable, ::testing::ValuesIn(rows()),
                         [](const auto& row) { return testName(row.param.name); });

// Typed handlers by class, one answering from another thread, and a request
// of a class no handler takes, through zrnet::Client.
TEST(Server, DispatchesByClass) {
    asio::io_context io;
    zrnet::Server server(io, zrnet::ServerOptions());
    server.on<ZrBillUserBalancePacket>([](ZrBillUserBalancePacket& request, zrnet::Responder responder) {
        request.setret_status(request.getuser_id() == 7 ? 0 : 1);
        request.setret_message(request.getuser_id() == 7 ? "1200" : "no such user");
        responder.reply(request);
    });
    std::vector<std::thread> answering;
    server.on<ZrAuthSockMsgPacket>([&](ZrAuthSockMsgPacket& request, zrnet::Responder responder) {
        answering.emplace_back([reply = request, responder = std::move(responder)]() mutable {
            responder.reply(reply);
        });
    });
    zrnet::ClientOptions options("127.0.0.1", server.listen("127.0.0.1", 0).port());
    options.timeout = 200ms;
    zrnet::Client client(io, options);
    client.start();

    ZrBillUserBalancePacket known, unknown, knownReply, unknownReply;
    known.setuser_id(7);
    unknown.setuser_id(8);
    ZrAuthSockMsgPacket auth, authReply;
    auth.setkey("from a thread");
    ZrCkeepAlivePacket keepAlive, keepAliveReply;
    std::vector<std::error_code> results(4, zrnet::Error::Busy);
    client.asyncRequest(known, knownReply, [&](std::error_code e) { results[0] = e; });
    client.asyncRequest(unknown, unknownReply, [&](std::error_code e) { results[1] = e; });
    client.asyncRequest(auth, authReply, [&](std::error_code e) { results[2] = e; });
    client.asyncRequest(keepAlive, keepAliveReply, [&](std::error_code e) { results[3] = e; });
    for (auto until = std::chrono::steady_clock::now() + 5s;
         results[3] == zrnet::Error::Busy && std::chrono::steady_clock::now() < until;) {
        io.run_for(10ms);
    }
    for (std::thread& t : answering) t.join();
    EXPECT_EQ(results, (std::vector<std::error_code>{{}, {}, {}, zrnet::Error::TimedOut}));
    EXPECT_EQ(knownReply.getret_message(), "1200");
    EXPECT_EQ(unknownReply.getret_status(), 1);
    EXPECT_EQ(authReply.getkey(), "from a thread");
    EXPECT_EQ(server.counters().unhandled, 1u);
}

}  // namespace

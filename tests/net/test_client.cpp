// zrnet::Client against a loopback server that answers as each row says:
// reply matching, deadlines, requests never sent, backpressure, reconnecting.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

#include "loopback_server.h"
#include "zr_billing_packets.h"
#include "zr_net_client.h"
#include "zr_session_packets.h"

namespace {

using namespace std::chrono_literals;
using nettest::Answer;
using zrnet::Error;

// A plain packet (so that it is its own echo), different for each i.
std::vector<char> request(std::size_t i, unsigned int sn = 0) {
    ZrAuthSockMsgPacket packet;
    packet.setkey("request " + std::string(i, 'x'));
    packet.setSN(sn);
    std::vector<char> bytes(256);
    packet.enCode(bytes.data(), static_cast<unsigned int>(bytes.size()));
    bytes.resize(packet.getPacketLength());
    return bytes;
}

bool sameButSN(std::vector<char> a, std::vector<char> b) {
    if (a.size() != b.size() || a.size() < PKT_HEAD_FIXED_LEN) return false;
    std::fill_n(a.begin() + PKT_OFFSET_SN, 4, 0);
    std::fill_n(b.begin() + PKT_OFFSET_SN, 4, 0);
    return a == b;
}

struct Outcome {
    std::vector<std::error_code> results;
    std::vector<zrnet::LinkEvent> events;
    std::error_code room = Error::Busy;  // the wait for room's outcome
    std::vector<std::size_t> order;      // of the completions
};

struct Row {
    const char* name;
    Answer answer;
    std::size_t requests;                  // sent in one turn
    std::vector<std::error_code> expected;  // each request's outcome, then the follow-ups'
    std::size_t again = 0;                  // sent in one turn once the first have completed
    std::vector<std::chrono::milliseconds> timeouts = {};  // the first requests' deadlines (none: 10 s)
    std::function<void(zrnet::ClientOptions&, nettest::Server&)> setUp = nullptr;
    std::function<void(const zrnet::ClientCounters&, const nettest::Server&, const Outcome&)> check = nullptr;
    bool keepSN = false;                         // every request carries SN 7
    std::chrono::milliseconds closeAfter{0};
    bool waitForRoom = false;
};

const std::error_code kOk;
const std::error_code kAborted = asio::error::operation_aborted;
const std::vector<std::chrono::milliseconds> k100ms(5, 100ms);  // for up to 5 first requests

const Row kRows[] = {
    {"echo: the queued requests leave in one write", Answer::Echo, 8, std::vector<std::error_code>(10, kOk), 2, {},
     nullptr,
     [](const zrnet::ClientCounters& c, const nettest::Server&, const Outcome&) {
         EXPECT_EQ(c.writes, 2u);  // the first 8, then the 2 sent from one handler
         EXPECT_EQ(c.replies, 10u);
     }},
    {"answered last first: matched by SN", Answer::Reverse, 8, std::vector<std::error_code>(8, kOk)},
    {"deadlines in any order: the earliest expires first", Answer::Hold, 4,
     std::vector<std::error_code>(4, Error::TimedOut), 0, {300ms, 100ms, 400ms, 200ms}, nullptr,
     [](const zrnet::ClientCounters&, const nettest::Server&, const Outcome& run) {
         EXPECT_EQ(run.order, (std::vector<std::size_t>{1, 3, 0, 2}));
     }},
    {"second replies and a stray SN are dropped", Answer::EchoTwiceAndStray, 4, std::vector<std::error_code>(4, kOk),
     0, {}, nullptr,
     [](const zrnet::ClientCounters& c, const nettest::Server&, const Outcome&) { EXPECT_EQ(c.repliesUnknown, 8u); }},
    {"a reply under another command is not the reply", Answer::OtherCommand, 3,
     std::vector<std::error_code>(3, Error::TimedOut), 0, k100ms, nullptr,
     [](const zrnet::ClientCounters& c, const nettest::Server&, const Outcome&) {
         EXPECT_EQ(c.repliesMismatched, 3u);
         EXPECT_EQ(c.timedOut, 3u);
     }},
    {"server down past the deadline: never sent", Answer::Echo, 3,
     {Error::NotSent, Error::NotSent, Error::NotSent, kOk}, 1, {100ms, 100ms, 100ms},
     [](zrnet::ClientOptions&, nettest::Server& s) { s.goDown(250ms); },
     [](const zrnet::ClientCounters& c, const nettest::Server& s, const Outcome& run) {
         EXPECT_EQ(s.packets, 1u);  // the follow-up alone
         EXPECT_EQ(c.notSent, 3u);
         std::vector<long> waits;  // backoff: 20, 40, 80, 80... ms
         for (const auto& e : run.events) {
             if (e.kind == zrnet::LinkEvent::Kind::ConnectFailed) waits.push_back(e.retryIn.count());
         }
         ASSERT_GE(waits.size(), 4u);
         EXPECT_EQ(std::vector<long>(waits.begin(), waits.begin() + 4), (std::vector<long>{20, 40, 80, 80}));
         EXPECT_EQ(run.events.back().kind, zrnet::LinkEvent::Kind::Connected);
     }},
    {"connection lost: written requests lost, then a new connection", Answer::CloseFirst, 3,
     {Error::ConnectionLost, Error::ConnectionLost, Error::ConnectionLost, kOk}, 1, {}, nullptr,
     [](const zrnet::ClientCounters& c, const nettest::Server& s, const Outcome& run) {
         EXPECT_EQ(s.connections, 2u);
         EXPECT_EQ(c.losses, 1u);
         EXPECT_EQ(run.events[1].kind, zrnet::LinkEvent::Kind::Lost);
         EXPECT_EQ(run.events[1].requests, 3u);
     }},
    {"in-flight limit: refused, told when there is room", Answer::Hold, 5,
     {Error::TimedOut, Error::TimedOut, Error::TimedOut, Error::TimedOut, Error::Busy}, 0, k100ms,
     [](zrnet::ClientOptions& o, nettest::Server&) { o.maxInFlight = 4; },
     [](const zrnet::ClientCounters& c, const nettest::Server&, const Outcome& run) {
         EXPECT_EQ(c.refused, 1u);
         EXPECT_EQ(run.room, kOk);
     },
     false, 0ms, true},
    {"a kept SN must be unique in flight", Answer::Echo, 2, {kOk, Error::DuplicateSN, kOk}, 1, {}, nullptr, nullptr,
     true},
    {"closed: written requests lost, later ones aborted", Answer::Hold, 2,
     {Error::ConnectionLost, Error::ConnectionLost, kAborted}, 1, {}, nullptr,
     [](const zrnet::ClientCounters& c, const nettest::Server&, const Outcome&) { EXPECT_EQ(c.lost, 2u); }, false,
     100ms},
};

TEST(Client, Table) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        asio::io_context io;
        nettest::Server server(io, row.answer, row.requests);
        zrnet::ClientOptions options("127.0.0.1", server.port());
        options.backoffMin = 20ms;
        options.backoffMax = 80ms;
        if (row.setUp) row.setUp(options, server);
        zrnet::Client client(io, options);
        Outcome run;
        client.onLink([&](const zrnet::LinkEvent& e) { run.events.push_back(e); });
        client.start();

        const std::size_t total = row.requests + row.again;
        std::vector<std::vector<char>> sent, replies(total);
        for (std::size_t i = 0; i < total; ++i) sent.push_back(request(i, row.keepSN ? 7 : 0));
        run.results.assign(total, Error::Busy);
        std::size_t done = 0;
        std::function<void(std::size_t)> send = [&](std::size_t i) {
            const zrnet::RequestOptions each{i < row.timeouts.size() ? row.timeouts[i] : 0ms, row.keepSN};
            client.asyncRawRequest(asio::buffer(sent[i]), asio::dynamic_buffer(replies[i]), each,
                                   [&, i](std::error_code error, std::size_t) {
                                       run.results[i] = error;
                                       run.order.push_back(i);
                                       if (++done != row.requests) return;
                                       for (std::size_t j = row.requests; j < total; ++j) send(j);
                                   });
        };
        for (std::size_t i = 0; i < row.requests; ++i) send(i);
        if (row.waitForRoom) client.asyncWaitForRoom([&](std::error_code error) { run.room = error; });
        asio::steady_timer closer(io, row.closeAfter);
        if (row.closeAfter.count() > 0) closer.async_wait([&](const asio::error_code&) { client.close(); });
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (done < total && std::chrono::steady_clock::now() < deadline) io.run_for(10ms);

        EXPECT_EQ(run.results, row.expected);
        for (std::size_t i = 0; i < total; ++i) {
            if (!run.results[i]) {
                EXPECT_TRUE(sameButSN(replies[i], sent[i])) << "reply " << i;
            }
        }
        if (row.check) row.check(client.counters(), server, run);
        EXPECT_EQ(client.inFlight(), 0u);
    }
}

TEST(Client, RawRequestsRefusedAtOnce) {
    asio::io_context io;
    zrnet::Client client(io, zrnet::ClientOptions("127.0.0.1", 1));
    const std::vector<char> good = request(0);
    const std::vector<std::vector<char>> bad = {
        std::vector<char>(good.begin(), good.begin() + ZrCkeepAlivePacket::PACKET_LEN - 1),  // shorter than any
        std::vector<char>(good.begin() + 1, good.end()),                                     // no start byte
        std::vector<char>(good.begin(), good.end() - 1),                                     // no end byte
    };
    std::vector<std::error_code> results;
    std::vector<char> reply;
    for (const auto& bytes : bad) {
        client.asyncRawRequest(asio::buffer(bytes), asio::dynamic_buffer(reply),
                               [&](std::error_code error, std::size_t) { results.push_back(error); });
    }
    EXPECT_TRUE(results.empty());  // never from inside the call
    io.run();
    EXPECT_EQ(results, std::vector<std::error_code>(3, Error::NotAPacket));
}

// An exception from a reply's handler leaves run() once the read is done;
// the client, its connection and the request the handler sent go on.
TEST(Client, AHandlerThatThrowsLeavesTheClientWhole) {
    asio::io_context io;
    nettest::Server server(io, Answer::Echo);
    zrnet::Client client(io, zrnet::ClientOptions("127.0.0.1", server.port()));
    client.start();
    const std::vector<char> bytes = request(0);
    std::vector<char> reply;
    std::error_code second = Error::Busy;
    client.asyncRawRequest(asio::buffer(bytes), asio::dynamic_buffer(reply), [&](std::error_code, std::size_t) {
        client.asyncRawRequest(asio::buffer(bytes), asio::dynamic_buffer(reply),
                               [&](std::error_code error, std::size_t) { second = error; });
        throw std::runtime_error("handler");
    });
    EXPECT_THROW(io.run_for(5s), std::runtime_error);
    io.restart();
    while (second == Error::Busy && io.run_one_for(5s) > 0) {
    }
    EXPECT_EQ(second, kOk);
    EXPECT_EQ(server.connections, 1u);
}

// From another thread, with futures: the reply decoded into its object.
TEST(Client, TypedRequestsWithFutures) {
    asio::io_context io;
    nettest::Server server(io, Answer::Echo);
    zrnet::Client client(io, zrnet::ClientOptions("localhost", server.port()));  // a name: resolved
    client.start();
    std::thread runner([&io, work = asio::make_work_guard(io)] { io.run(); });

    ZrBillUserBalancePacket balance, reply;  // enciphered
    balance.setuser_id(77);
    balance.settoken("token");
    EXPECT_NO_THROW(client.asyncRequest(balance, reply, asio::use_future).get());
    EXPECT_EQ(reply.getuser_id(), 77u);
    EXPECT_EQ(reply.gettoken(), "token");

    ZrCkeepAlivePacket wrongClass;
    try {
        client.asyncRequest(balance, wrongClass, asio::use_future).get();
        ADD_FAILURE() << "a reply decoded into the wrong class";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), Error::BadReply);
    }
    io.stop();
    runner.join();
}

}  // namespace

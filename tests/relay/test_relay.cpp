// The relay as a process between client connections and an echo backend,
// under load and under faults. Every server is a child process on a port of
// 127.0.0.1 that the system chose, killed when the test ends.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <optional>
#include <thread>

#include "host_port.h"
#include "net_kit.h"
#include "relay_kit.h"
#include "zr_session_packets.h"
#include "zr_stream_splitter.h"

namespace {

using namespace std::chrono_literals;
using relaykit::Child;
using relaykit::LoadOptions;
using relaykit::LoadResult;
using namespace nettest;

constexpr std::size_t kPackets = ZRRELAY_TEST_PACKETS;

std::string logPath(const std::string& name) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(test.begin(), test.end(), '/', '-');  // a scenario's row
    return ::testing::TempDir() + "zrrelay-" + test + "-" + name + ".log";
}

// The echo backend, with its options (--delay-ms, --drop-every).
std::unique_ptr<Child> startEcho(std::uint16_t port = 0, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {ZRRELAY_ECHO_BIN, "--listen", "127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<Child>(args, logPath(port == 0 ? "echo" : "echo-again"));
}

// A relay in front of a backend port, with extra options.
class RelayTest : public ::testing::Test {
public:  // the scenario table's rows drive the fixture
    void startRelay(std::uint16_t backendPort, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {ZRRELAY_BIN, "--listen", "127.0.0.1:0", "--backend",
                                         "127.0.0.1:" + std::to_string(backendPort)};
        args.insert(args.end(), extra.begin(), extra.end());
        // One thread unless the test says: its counters count one backend
        // connection.
        if (std::find(extra.begin(), extra.end(), "--threads") == extra.end()) {
            args.insert(args.end(), {"--threads", "1"});
        }
        relay = std::make_unique<Child>(args, logPath("relay"));
        relayPort = relaykit::listeningPort(*relay);
        ASSERT_NE(relayPort, 0) << relay->log();
    }
    // The echo backend with its options, and the relay in front.
    void startAll(std::vector<std::string> extra = {}, const std::vector<std::string>& echoExtra = {}) {
        echo = startEcho(0, echoExtra);
        echoPort = relaykit::listeningPort(*echo);
        ASSERT_NE(echoPort, 0) << echo->log();
        startRelay(echoPort, std::move(extra));
        ASSERT_FALSE(relay->waitForLine("backend connected", 10s).empty()) << relay->log();
    }
    LoadOptions load(std::size_t clients, std::size_t packets, std::uint32_t seed = 1) const {
        LoadOptions options;
        options.port = relayPort;
        options.clients = clients;
        options.packets = packets;
        options.seed = seed;
        return options;
    }
    // The counters the relay prints on SIGUSR1.
    std::map<std::string, std::uint64_t> counters() {
        const std::size_t before = countLines("counters: ");
        relay->signal(SIGUSR1);
        for (int i = 0; i < 1000 && countLines("counters: ") == before; ++i) std::this_thread::sleep_for(5ms);
        EXPECT_EQ(countLines("counters: "), before + 1) << "no counters on SIGUSR1";
        return relaykit::lastCounters(relay->log());
    }
    // The counters once `name` has reached `value` (or after the timeout).
    std::map<std::string, std::uint64_t> countersWhen(const std::string& name, std::uint64_t value,
                                                      std::chrono::milliseconds timeout = 5s) {
        auto c = counters();
        for (auto until = std::chrono::steady_clock::now() + timeout;
             c[name] < value && std::chrono::steady_clock::now() < until;) {
            std::this_thread::sleep_for(20ms);
            c = counters();
        }
        return c;
    }
    // SIGTERM: the relay must drain and exit 0; its last counters.
    std::map<std::string, std::uint64_t> stop() {
        relay->signal(SIGTERM);
        EXPECT_EQ(relay->wait(15s), 0) << relay->log();
        return relaykit::lastCounters(relay->log());
    }
    std::size_t countLines(const std::string& text) const {
        const std::string log = relay->log();
        std::size_t n = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    void TearDown() override {
        if (HasFailure() && relay) std::cout << "--- relay log ---\n" << relay->log().substr(0, 20000);
    }

    std::unique_ptr<Child> echo, relay;
    std::uint16_t echoPort = 0, relayPort = 0;
};

// The test as the backend, on the port the relay tries: the relay's connection.
int backendOn(std::uint16_t port) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int backend = -1;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 1) == 0) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 5000) == 1) backend = accept(listener, nullptr, nullptr);
    }
    close(listener);
    EXPECT_GE(backend, 0) << "the relay did not connect";
    return backend;
}

// The users of the next `count` packets of `size` bytes the relay forwards.
std::vector<unsigned int> usersOf(int backend, std::size_t size, std::size_t count) {
    const std::vector<char> stream = readUpTo(backend, size * count, 5s);
    std::vector<unsigned int> users;
    for (std::size_t at = 0; at + size <= stream.size(); at += size) {
        users.push_back(ZrCPacketHead::fastGetUserID(stream.data() + at, static_cast<unsigned int>(size)));
    }
    return users;
}

// --- the tests ------------------------------------------------------------------------

TEST(HostPort, ParsesWhatTheCommandLineTakes) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"127.0.0.1:7633", true, "127.0.0.1", 7633},
        {"localhost:0", true, "localhost", 0},
        {"[::1]:65535", true, "::1", 65535},
        {"::1:80", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:", false, "", 0},
        {":80", false, "", 0},
        {"host:8x", false, "", 0},
        {"[]:80", false, "", 0},
        {"7633", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        zrrelay::HostPort parsed;
        ASSERT_EQ(zrrelay::parseHostPort(c.text, parsed), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(parsed.host, c.host);
        EXPECT_EQ(parsed.port, c.port);
        EXPECT_EQ(parsed.text(), c.text);
    }
}

// 50 clients, mixed classes plain and enciphered, cut at random points:
// every reply comes back to its client, byte for byte, in order.
TEST_F(RelayTest, EveryReplyReachesItsClientUnderLoad) {
    startAll();
    const LoadResult result = relaykit::runLoad(load(50, kPackets));
    std::cout << "load through the relay: 50 clients x " << kPackets << " packets: " << result.summary() << '\n';
    EXPECT_TRUE(result.allAnswered()) << result.firstError;
    EXPECT_EQ(result.answered, 50 * kPackets);

    auto c = counters();
    EXPECT_EQ(c["clients_accepted"], 50u);
    EXPECT_EQ(c["packets_in"], 50 * kPackets);
    EXPECT_EQ(c["replies_out"], 50 * kPackets);
    EXPECT_EQ(c["bytes_in"], c["bytes_out"]);
    EXPECT_EQ(c["in_flight"], 0u);
    EXPECT_EQ(c["replies_unknown"] + c["replies_orphaned"] + c["backend_skipped_bytes"], 0u);
    c = stop();
    EXPECT_EQ(c["replies_out"], 50 * kPackets);
    EXPECT_EQ(c["unanswered_at_exit"], 0u);
}

// The backend dies in the middle of a run and comes back on its port: each
// packet is answered or its client's connection closes; the relay reconnects
// and serves new clients; the counters add up.
TEST_F(RelayTest, RecoversWhenTheBackendIsKilledAndRestarted) {
    // The backend holds each read 2 ms, so that packets are in flight when
    // it dies, however fast the build.
    startAll({"--backoff-min", "20", "--backoff-max", "200"}, {"--delay-ms", "2"});
    const std::size_t clients = 20, packets = kPackets;
    std::atomic<std::uint64_t> answered{0};
    LoadOptions options = load(clients, packets);
    options.answered = &answered;
    LoadResult during;
    std::thread run([&] { during = relaykit::runLoad(options); });
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (answered < clients * packets / 3 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    echo->signal(SIGKILL);
    EXPECT_EQ(echo->wait(5s), -1);
    ASSERT_FALSE(relay->waitForLine("backend connection lost", 5s).empty()) << relay->log();
    std::this_thread::sleep_for(100ms);
    echo = startEcho(echoPort);
    ASSERT_EQ(relaykit::listeningPort(*echo), echoPort) << echo->log();
    run.join();
    std::cout << "during the restart: " << during.summary() << '\n';
    EXPECT_EQ(during.wrong, 0u) << during.firstError;
    EXPECT_FALSE(during.timedOut);
    EXPECT_GT(during.lost, 0u);
    EXPECT_EQ(during.sent, during.answered + during.lost);

    const LoadResult after = relaykit::runLoad(load(10, 200, 2));
    std::cout << "after the restart: " << after.summary() << '\n';
    EXPECT_TRUE(after.allAnswered()) << after.firstError;

    auto c = stop();
    EXPECT_EQ(c["backend_lost"], 1u);
    EXPECT_EQ(c["backend_connects"], 2u);
    EXPECT_EQ(c["replies_out"], during.answered + after.answered);
    EXPECT_GT(c["lost_in_flight"], 0u);
    EXPECT_LE(c["lost_in_flight"], during.lost);
    EXPECT_EQ(c["clients_closed_backend_lost"], during.closedEarly);
    // Every packet taken from a client: answered, lost with the backend, or
    // answered after its client had gone.
    EXPECT_EQ(c["packets_in"],
              c["replies_out"] + c["lost_in_flight"] + c["replies_orphaned"] + c["unanswered_at_exit"]);
    EXPECT_EQ(c["replies_unknown"], 0u);
}

// Garbage, a client that never reads, and one that ends its stream in the
// middle of a packet: each is dealt with alone, and a load beside them is
// answered in full.
TEST_F(RelayTest, FaultyClientsLeaveTheOthersAlone) {
    startAll({"--client-queue", "65536", "--client-grace", "300", "--client-queue-hard", "67108864"});
    std::thread good([&] {
        LoadOptions options = load(20, kPackets);
        options.pausePerMille = 100;  // long enough to run beside the faults
        const LoadResult result = relaykit::runLoad(options);
        std::cout << "beside the faulty clients: " << result.summary() << '\n';
        EXPECT_TRUE(result.allAnswered()) << result.firstError;
    });
    const std::vector<std::vector<char>> packets = relaykit::makePackets(9, 4);

    // Garbage after two whole packets: their replies are sent, then it is
    // closed, the offset of the garbage logged.
    const int garbage = connectTo(relayPort);
    ASSERT_GE(garbage, 0);
    std::vector<char> bytes = concat(packets, 2);
    const std::string junk = "GET / HTTP/1.0\r\n\r\n";
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    ASSERT_TRUE(sendAll(garbage, bytes));
    bool ended = false;
    EXPECT_EQ(readToEnd(garbage, 5s, ended), concat(packets, 2));
    EXPECT_TRUE(ended);
    close(garbage);
    EXPECT_FALSE(
        relay->waitForLine("bytes at offset " + std::to_string(bytes.size() - junk.size()) + " are not a packet", 5s)
            .empty());

    // Three packets and half of a fourth, then the end of the stream: the
    // three are answered and the relay closes.
    const int half = connectTo(relayPort);
    ASSERT_GE(half, 0);
    std::vector<char> whole = concat(packets, 3);
    bytes = whole;
    bytes.insert(bytes.end(), packets[3].begin(), packets[3].begin() + 20);
    ASSERT_TRUE(sendAll(half, bytes));
    shutdown(half, SHUT_WR);
    EXPECT_EQ(readToEnd(half, 5s, ended), whole);
    EXPECT_TRUE(ended);
    close(half);
    EXPECT_FALSE(relay->waitForLine("its stream ended inside a packet: 20 bytes", 5s).empty());

    // Large packets, never a reply read: reading from it pauses, and after
    // the grace time it is closed.
    const int deaf = connectTo(relayPort, 4096);
    ASSERT_GE(deaf, 0);
    EXPECT_TRUE(sendUntilClosed(deaf, bigPacket(), 10s));
    close(deaf);
    EXPECT_FALSE(relay->waitForLine("of replies left unread for 300 ms", 5s).empty());

    good.join();
    auto c = stop();
    EXPECT_EQ(c["clients_closed_not_packets"], 1u);
    EXPECT_EQ(c["clients_closed_slow"], 1u);
    EXPECT_EQ(c["replies_unknown"] + c["backend_skipped_bytes"], 0u);
}

// SIGUSR1 prints the counters; SIGTERM stops accepting, lets the packets in
// flight be answered, and the relay exits 0.
TEST_F(RelayTest, DrainsWhatIsInFlightOnSigterm) {
    startAll({}, {"--delay-ms", "400"});  // each echo held 400 ms
    const std::vector<std::vector<char>> packets = relaykit::makePackets(3, 5);
    const std::vector<char> all = concat(packets, packets.size());
    const int fd = connectTo(relayPort);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, all));
    auto c = counters();
    for (int i = 0; i < 100 && c["in_flight"] < packets.size(); ++i) c = counters();
    EXPECT_EQ(c["in_flight"], packets.size());

    relay->signal(SIGTERM);
    ASSERT_FALSE(relay->waitForLine("draining", 5s).empty());
    EXPECT_LT(connectTo(relayPort), 0);  // no longer accepting
    bool ended = false;
    EXPECT_EQ(readToEnd(fd, 5s, ended), all);
    EXPECT_TRUE(ended);
    close(fd);
    EXPECT_EQ(relay->wait(5s), 0) << relay->log();
    c = relaykit::lastCounters(relay->log());
    EXPECT_EQ(c["replies_out"], packets.size());
    EXPECT_EQ(c["unanswered_at_exit"], 0u);
}

// With no backend yet, packets wait in the queue; the relay keeps trying,
// and once the backend is up they are answered. Clients over --max-clients
// are closed at once.
TEST_F(RelayTest, QueuesUntilTheBackendComesAndRefusesClientsOverTheLimit) {
    echo = startEcho();
    echoPort = relaykit::listeningPort(*echo);
    echo.reset();  // a port where nothing listens now
    startRelay(echoPort, {"--backoff-min", "20", "--backoff-max", "100", "--max-clients", "1"});
    ASSERT_FALSE(relay->waitForLine("connect failed", 5s).empty()) << relay->log();

    const std::vector<std::vector<char>> packets = relaykit::makePackets(4, 10);
    const std::vector<char> all = concat(packets, packets.size());
    const int fd = connectTo(relayPort);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, all));
    const int second = connectTo(relayPort);
    bool ended = false;
    EXPECT_TRUE(readToEnd(second, 5s, ended).empty());
    EXPECT_TRUE(ended);  // refused: closed at once
    close(second);

    std::this_thread::sleep_for(200ms);
    echo = startEcho(echoPort);
    ASSERT_EQ(relaykit::listeningPort(*echo), echoPort);
    shutdown(fd, SHUT_WR);
    EXPECT_EQ(readToEnd(fd, 10s, ended), all);
    EXPECT_TRUE(ended);
    close(fd);
    auto c = stop();
    EXPECT_EQ(c["clients_refused"], 1u);
    EXPECT_EQ(c["backend_connects"], 1u);
    EXPECT_EQ(c["replies_out"], packets.size());
}

// Packets that get no reply, clients that go, a backend that goes: what the
// clients see and what the counters say. Each row starts its own backend and
// relay, drives raw clients, and names the counters it expects at the end.
struct Scenario {
    const char* name;
    bool backendFirst;  // false: the relay starts where no backend listens yet
    std::vector<std::string> relayArgs;
    std::vector<std::string> echoArgs;
    std::function<void(RelayTest&)> drive;
    std::map<std::string, std::uint64_t> expected;
};

// A command's standard output.
std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// The port a relay serves its metrics on ("metrics on http://HOST:PORT/metrics").
std::uint16_t metricsPort(const Child& relay) {
    const std::string line = relay.waitForLine("metrics on http://", 5s);
    const std::size_t end = line.rfind("/metrics");
    return static_cast<std::uint16_t>(std::stoul(line.substr(line.rfind(':', end) + 1, end)));
}

// One client floods, then eight send ten packets each, while there is no
// backend yet; then it comes (the test is the backend). The longest run of
// packets one client forwarded while the eight waited, from their first to
// their last (the flood's first packets fill the queue before they come).
std::size_t longestRunWhileOthersWait(RelayTest& t) {
    const std::size_t heavyPackets = 4000, light = 8, lightPackets = 10;
    const std::vector<char> heavy = repeated(packetOf(1, 200), heavyPackets);
    const int heavyFd = connectTo(t.relayPort);
    std::thread flood([&] { EXPECT_TRUE(sendAll(heavyFd, heavy)); });
    std::this_thread::sleep_for(100ms);
    std::vector<int> lightFds;
    for (unsigned int i = 0; i < light; ++i) {
        lightFds.push_back(connectTo(t.relayPort));
        EXPECT_TRUE(sendAll(lightFds.back(), repeated(packetOf(100 + i, 200), lightPackets)));
    }
    std::this_thread::sleep_for(200ms);
    const int backend = backendOn(t.echoPort);
    const std::vector<unsigned int> users =
        usersOf(backend, heavy.size() / heavyPackets, heavyPackets + light * lightPackets);
    flood.join();
    EXPECT_EQ(users.size(), heavyPackets + light * lightPackets);
    const auto lightOne = [](unsigned int user) { return user != 1; };
    const auto first = std::find_if(users.begin(), users.end(), lightOne);
    const auto last = std::find_if(users.rbegin(), users.rend(), lightOne).base();
    std::size_t run = 0, longest = 0;
    for (auto it = first; it < last; ++it) {
        run = it != first && *it == it[-1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    close(backend);
    close(heavyFd);
    for (const int fd : lightFds) close(fd);
    return longest;
}

// The rows; each runs as a test of its own (RelayScenario), so that rows run
// side by side.
std::vector<Scenario> scenarios() {
    static const std::vector<std::vector<char>> packets = relaykit::makePackets(21, 25);
    return {
        // Every tenth reply lost: the others come, then the client is closed
        // (it cannot tell which went unanswered).
        {"lost replies",
         true,
         {"--reply-timeout", "300"},
         {"--drop-every", "10"},
         [&](RelayTest& t) {
             std::vector<char> expected;
             for (std::size_t i = 0; i < packets.size(); ++i) {
                 if ((i + 1) % 10 != 0) expected.insert(expected.end(), packets[i].begin(), packets[i].end());
             }
             EXPECT_EQ(exchange(t.relayPort, concat(packets, packets.size()), 5s), expected);
         },
         {{"replies_timed_out", 2}, {"clients_closed_timed_out", 1}, {"replies_out", 23}, {"in_flight", 0}}},
        // Replies later than the deadline: the client is closed, the late
        // replies counted unknown when they come.
        {"late replies",
         true,
         {"--reply-timeout", "100"},
         {"--delay-ms", "300"},
         [&](RelayTest& t) {
             EXPECT_TRUE(exchange(t.relayPort, concat(packets, 2), 5s).empty());
             EXPECT_EQ(t.countersWhen("replies_unknown", 2)["replies_unknown"], 2u);
         },
         {{"replies_timed_out", 2}, {"clients_closed_timed_out", 1}, {"replies_unknown", 2}, {"replies_out", 0}}},
        // The client's only packet in flight is the last one written to a
        // backend that dies: the client is closed and the packet counted lost.
        {"only packet in flight, backend killed",
         true,
         {"--backoff-min", "5000", "--backoff-max", "5000"},
         {"--delay-ms", "3000"},
         [&](RelayTest& t) {
             const int fd = connectTo(t.relayPort);
             EXPECT_TRUE(sendAll(fd, packets[0]));
             t.countersWhen("packets_in", 1);
             std::this_thread::sleep_for(50ms);  // written to the backend
             t.echo->signal(SIGKILL);
             bool ended = false;
             EXPECT_TRUE(readToEnd(fd, 2s, ended).empty());
             EXPECT_TRUE(ended);
             close(fd);
         },
         {{"lost_in_flight", 1}, {"clients_closed_backend_lost", 1}, {"in_flight", 0}}},
        // Paused clients take turns for the backend's queue, a packet each,
        // with room in it for one packet and for several.
        {"fair turns",
         false,
         {"--backend-queue", "1", "--client-in-flight", "100000", "--client-queue", "67108864", "--client-queue-hard",
          "134217728", "--backoff-min", "20", "--backoff-max", "20", "--drain-timeout", "100"},
         {},
         [&](RelayTest& t) { EXPECT_EQ(longestRunWhileOthersWait(t), 1u); },
         {{"packets_in", 4080}}},
        {"fair turns, room for several packets",
         false,
         {"--backend-queue", "2000", "--client-in-flight", "100000", "--client-queue", "67108864",
          "--client-queue-hard", "134217728", "--backoff-min", "20", "--backoff-max", "20", "--drain-timeout", "100"},
         {},
         [&](RelayTest& t) { EXPECT_EQ(longestRunWhileOthersWait(t), 1u); },
         {{"packets_in", 4080}}},
        // The table of packets in flight full (a gone client's packet in
        // it), B waiting for room, A paused at its in-flight limit: the reply
        // to A's first packet frees a place, and B's next packet goes before
        // A's.
        {"a freed place goes to the client waiting for it",
         false,
         {"--max-clients", "2", "--client-in-flight", "2", "--backoff-min", "20", "--backoff-max", "20",
          "--drain-timeout", "100"},
         {},
         [&](RelayTest& t) {
             const int backend = backendOn(t.echoPort);
             // The packets of the users from a new connection; false when
             // they were not taken (a place not yet free).
             const auto send = [&](int& fd, std::vector<unsigned int> users, std::uint64_t forwarded) {
                 std::vector<char> bytes;
                 for (const unsigned int user : users) {
                     const std::vector<char> packet = packetOf(user, 200);
                     bytes.insert(bytes.end(), packet.begin(), packet.end());
                 }
                 fd = connectTo(t.relayPort);
                 return sendAll(fd, bytes) && t.countersWhen("packets_in", forwarded, 2s)["packets_in"] == forwarded;
             };
             int gone = -1, a = -1, b = -1;
             EXPECT_TRUE(send(gone, {10}, 1));
             close(gone);
             EXPECT_TRUE(send(a, {20, 21, 22}, 3));
             for (int tries = 0; tries < 5 && !send(b, {30, 31}, 4); ++tries)
                 close(b);                       // until the gone one's end is read
             std::this_thread::sleep_for(50ms);  // B's second packet waits for room
             const std::size_t size = packetOf(0, 200).size();
             const std::vector<char> table = readUpTo(backend, 4 * size, 5s);
             ASSERT_EQ(table.size(), 4 * size);
             for (std::size_t at = 0; at < table.size(); at += size) {
                 if (ZrCPacketHead::fastGetUserID(table.data() + at, static_cast<unsigned int>(size)) == 20) {
                     EXPECT_TRUE(
                         sendAll(backend, std::vector<char>(table.begin() + static_cast<std::ptrdiff_t>(at),
                                                            table.begin() + static_cast<std::ptrdiff_t>(at + size))));
                 }
             }
             EXPECT_EQ(usersOf(backend, size, 1), std::vector<unsigned int>{31});
             for (const int fd : {a, b, backend}) close(fd);
         },
         {{"packets_in", 5}}},
        // A backend whose first bytes are the costliest a receiver can be
        // sent: the prefixes of them that deCode accepts are unknown replies,
        // and every client is answered in full.
        {"hostile bytes from the backend beside its replies",
         true,
         {"--threads", "1"},
         {"--hostile-first", "1"},
         [&](RelayTest& t) {
             const LoadResult result = relaykit::runLoad(t.load(8, 200));
             EXPECT_TRUE(result.allAnswered()) << result.firstError;
         },
         {{"clients_accepted", 8}, {"replies_out", 1600}, {"replies_unknown", 17}}},
        // A packet whose deadline passes while the backend is down leaves the
        // queue: the backend that comes later receives nothing, so a client
        // that sends it again does not have it executed twice.
        {"a packet given up unsent is never sent",
         false,
         {"--reply-timeout", "300", "--backoff-min", "20", "--backoff-max", "20"},
         {},
         [&](RelayTest& t) {
             EXPECT_TRUE(exchange(t.relayPort, packets[0], 5s).empty());
             const int backend = backendOn(t.echoPort);
             EXPECT_TRUE(readUpTo(backend, 1, 300ms).empty()) << "the backend received the packet given up";
             close(backend);
             EXPECT_FALSE(t.relay->waitForLine("not sent: backend down", 1s).empty());
         },
         {{"expired_unsent", 1}, {"clients_closed_timed_out", 1}, {"replies_timed_out", 0}, {"in_flight", 0}}},
        // A second relay on a port in use, with several threads, fails at start.
        {"a second relay on the port in use",
         true,
         {"--threads", "2"},
         {},
         [&](RelayTest& t) {
             Child second({ZRRELAY_BIN, "--listen", "127.0.0.1:" + std::to_string(t.relayPort), "--backend",
                           "127.0.0.1:" + std::to_string(t.echoPort), "--threads", "2"},
                          logPath("second"));
             EXPECT_EQ(second.wait(3s), 1) << second.log();
             EXPECT_NE(second.log().find("Address already in use"), std::string::npos) << second.log();
         },
         {{"clients_accepted", 0}}},
        // One line when a client ends: its address, how long, how much each
        // way, and why.
        {"a session line for each client",
         true,
         {},
         {},
         [&](RelayTest& t) {
             const int fd = connectTo(t.relayPort);
             sockaddr_in local{};
             socklen_t size = sizeof local;
             getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
             const std::vector<char> three = concat(packets, 3);
             EXPECT_TRUE(sendAll(fd, three));
             shutdown(fd, SHUT_WR);
             bool ended = false;
             EXPECT_EQ(readToEnd(fd, 5s, ended), three);
             close(fd);
             const std::string line =
                 t.relay->waitForLine("info: session: client=127.0.0.1:" + std::to_string(ntohs(local.sin_port)), 5s);
             const std::string bytes = std::to_string(three.size());
             EXPECT_NE(line.find(" packets_in=3 bytes_in=" + bytes + " packets_out=3 bytes_out=" + bytes +
                                 " timed_out=0 lost=0 end=client_closed reason=\"it ended its stream\""),
                       std::string::npos)
                 << line;
         },
         {{"clients_closed_by_client", 1}}},
        // /health answers 503 while the backend is down, 200 once it is up,
        // as the backend_up gauge says.
        {"the health check follows the backend",
         false,
         {"--metrics", "127.0.0.1:0", "--backoff-min", "20", "--backoff-max", "20"},
         {},
         [&](RelayTest& t) {
             const std::string url = "http://127.0.0.1:" + std::to_string(metricsPort(*t.relay));
             const std::string health = "curl -s -o /dev/null -w '%{http_code}' " + url + "/health";
             EXPECT_EQ(run(health), "503");
             EXPECT_NE(run("curl -sS " + url + "/metrics").find("\nzrrelay_backend_up 0\n"), std::string::npos);
             t.echo = startEcho(t.echoPort);
             ASSERT_FALSE(t.relay->waitForLine("backend connected", 5s).empty());
             EXPECT_EQ(run(health), "200");
             EXPECT_NE(run("curl -sS " + url + "/metrics").find("\nzrrelay_backend_up 1\n"), std::string::npos);
         },
         {{"backend_connects", 1}}},
        // Two threads, each with its own backend connection: every reply
        // reaches its client, the counters are summed.
        {"two threads",
         true,
         {"--threads", "2"},
         {},
         [&](RelayTest& t) {
             const LoadResult result = relaykit::runLoad(t.load(16, 200));
             EXPECT_TRUE(result.allAnswered()) << result.firstError;
             EXPECT_EQ(t.countersWhen("backend_connects", 2)["backend_connects"], 2u);
         },
         {{"clients_accepted", 16}, {"packets_in", 3200}, {"replies_out", 3200}}},
        // The counters scraped over HTTP by curl, in the Prometheus text
        // format, the replies' latency as a histogram.
        {"metrics scrape",
         true,
         {"--metrics", "127.0.0.1:0"},
         {},
         [&](RelayTest& t) {
             const std::string line = t.relay->waitForLine("metrics on http://", 5s);
             const std::string url = line.substr(line.find("http://"));
             const int fd = connectTo(t.relayPort);
             EXPECT_TRUE(sendAll(fd, concat(packets, 3)));
             shutdown(fd, SHUT_WR);
             bool ended = false;
             EXPECT_EQ(readToEnd(fd, 5s, ended), concat(packets, 3));
             close(fd);
             const std::string body = run("curl -sS --max-time 5 " + url);
             for (const char* expected :
                  {"# TYPE zrrelay_packets_in_total counter\nzrrelay_packets_in_total 3\n",
                   "# TYPE zrrelay_clients_open gauge\n", "# TYPE zrrelay_reply_latency_seconds histogram\n",
                   "zrrelay_reply_latency_seconds_bucket{le=\"+Inf\"} 3\n",
                   "zrrelay_reply_latency_seconds_count 3\n"}) {
                 EXPECT_NE(body.find(expected), std::string::npos) << expected << " not in:\n" << body;
             }
             EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code}' " + url.substr(0, url.size() - 8) + "/other"),
                       "404");
         },
         {{"packets_in", 3}, {"replies_out", 3}}},
        // HAProxy in front of two relays as the README configures it: PROXY
        // v2 headers, /health checked on the metrics port. The session lines
        // name the load generator's address (127.0.0.7), not HAProxy's. One
        // relay's backend killed in the middle of a load: every packet sent
        // is answered or its connection closed; once HAProxy has seen that
        // relay's /health fail, every new client goes to the other.
        {"HAProxy in front of two relays, one's backend killed",
         true,
         {"--accept-proxy", "--metrics", "127.0.0.1:0"},
         {},
         [&](RelayTest& t) {
             if (std::string(ZRRELAY_HAPROXY_BIN).empty()) {
                 std::cout << "haproxy is not installed: this case is left out\n";
                 return;
             }
             Child otherEcho({ZRRELAY_ECHO_BIN, "--listen", "127.0.0.1:0"}, logPath("echo-other"));
             Child other({ZRRELAY_BIN, "--listen", "127.0.0.1:0", "--backend",
                          "127.0.0.1:" + std::to_string(relaykit::listeningPort(otherEcho)), "--threads", "1",
                          "--accept-proxy", "--metrics", "127.0.0.1:0", "--reply-timeout", "500"},
                         logPath("relay-other"));
             const std::uint16_t otherPort = relaykit::listeningPort(other);
             ASSERT_FALSE(other.waitForLine("backend connected", 5s).empty());
             const relaykit::Haproxy haproxy = relaykit::startHaproxy(
                 ZRRELAY_HAPROXY_BIN, {{t.relayPort, metricsPort(*t.relay)}, {otherPort, metricsPort(other)}},
                 {1, true}, logPath("haproxy"));

             const std::size_t clients = 20;
             std::atomic<std::uint64_t> answered{0};
             LoadOptions options = t.load(clients, kPackets / 4);
             options.port = haproxy.port;
             options.source = "127.0.0.7";
             options.answered = &answered;
             LoadResult during;
             std::thread run([&] { during = relaykit::runLoad(options); });
             const auto until = std::chrono::steady_clock::now() + 30s;
             while (answered < clients * kPackets / 12 && std::chrono::steady_clock::now() < until) {
                 std::this_thread::sleep_for(1ms);
             }
             otherEcho.signal(SIGKILL);
             run.join();
             std::cout << "through HAProxy, one relay's backend killed: " << during.summary() << '\n';
             EXPECT_EQ(during.wrong, 0u) << during.firstError;
             EXPECT_FALSE(during.timedOut);
             EXPECT_EQ(during.sent, during.answered + during.lost);
             auto live = t.counters();
             EXPECT_EQ(live["replies_out"], live["packets_in"]);
             EXPECT_FALSE(t.relay->waitForLine("session: client=127.0.0.7:", 5s).empty());

             ASSERT_FALSE(haproxy.child->waitForLine("relay2 is DOWN", 5s).empty()) << haproxy.child->log();
             LoadOptions after = t.load(10, 100, 2);
             after.port = haproxy.port;
             after.source = options.source;
             const LoadResult afterwards = relaykit::runLoad(after);
             EXPECT_TRUE(afterwards.allAnswered()) << afterwards.firstError;
             EXPECT_EQ(t.counters()["clients_accepted"], live["clients_accepted"] + 10);
             if (::testing::Test::HasFailure()) std::cout << "--- haproxy log ---\n" << haproxy.child->log();
         },
         {{"replies_unknown", 0}, {"in_flight", 0}, {"clients_closed_proxy", 0}}},
        // After a working backend connection is lost, the first reconnect
        // waits --backoff-min, however long the waits grew before the first
        // connection.
        {"first reconnect after a loss",
         false,
         {"--backoff-min", "20", "--backoff-max", "400"},
         {},
         [&](RelayTest& t) {
             ASSERT_FALSE(t.relay->waitForLine("reconnecting to the backend in 160 ms", 5s).empty());
             t.echo = startEcho(t.echoPort);
             ASSERT_FALSE(t.relay->waitForLine("backend connected", 5s).empty());
             t.echo->signal(SIGKILL);
             ASSERT_FALSE(t.relay->waitForLine("backend connection lost", 5s).empty());
             const std::string log = t.relay->log();
             const std::size_t next = log.find("reconnecting to the backend in ", log.find("backend connection lost"));
             ASSERT_NE(next, std::string::npos);
             EXPECT_EQ(log.substr(next, log.find('\n', next) - next), "reconnecting to the backend in 20 ms");
         },
         {{"backend_connects", 1}, {"backend_lost", 1}}},
    };
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class RelayScenario : public RelayTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(RelayScenario, Row) {
    const Scenario& scenario = GetParam();
    if (scenario.backendFirst) {
        startAll(scenario.relayArgs, scenario.echoArgs);
    } else {
        echoPort = relaykit::listeningPort(*startEcho());  // a port where nothing listens once it has gone
        startRelay(echoPort, scenario.relayArgs);
    }
    scenario.drive(*this);
    relay->signal(SIGTERM);
    EXPECT_EQ(relay->wait(15s), 0);
    auto c = relaykit::lastCounters(relay->log());
    for (const auto& [name, value] : scenario.expected) EXPECT_EQ(c[name], value) << name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RelayScenario, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& row) { return testName(row.param.name); });

}  // namespace

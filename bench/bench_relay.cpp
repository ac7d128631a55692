// The relay's cost: the same load sent straight to the echo backend, through
// zrrelay (one thread and two), and through HAProxy in TCP mode (nbthread 1
// and its default), all running as processes on loopback.
//
//   BM_Echo/TARGET/MIX/C/W   C connections, each keeping W packets unanswered
//
// TARGET: direct, zrrelay_t1, zrrelay_t2, haproxy_nbt1, haproxy_default;
// MIX: plain (plain classes only) or mixed (plain and enciphered). Each
// iteration sends every connection its share of kPacketsPerIteration.
// Reported: packets/s (real time), and the latency of each packet from the
// write that sent it to the read that completed its reply, p50 and p99
// over the whole run. C=1, W=1 is one request at a time; C=16 and C=50 with
// W=32 keep the servers busy. HAProxy copies bytes over one backend
// connection per client; zrrelay frames them and writes one backend
// connection (per thread) for all. Without haproxy installed its rows are
// left out.
//
//   BM_PingsBesideHostile/H/R  200 pings, one at a time, through zrrelay
//                            (--threads 1), beside H clients that each send
//                            64 KiB of the crafted stream
//                            (nettest::craftedStream), are closed, and
//                            connect again, at most R KiB/s each (0: as fast
//                            as they can); H = 0 is the same run without
//                            them. p50, p99 and the slowest ping, and the
//                            hostile connections the relay closed per second.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "net_kit.h"
#include "relay_kit.h"
#include "zr_packet_head.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacketsPerIteration = 32000;

enum Target { kDirect, kRelay1, kRelay2, kHaproxy1, kHaproxyDefault, kTargets };
const char* const kTargetNames[] = {"direct", "zrrelay_t1", "zrrelay_t2", "haproxy_nbt1", "haproxy_default"};
const std::string kHaproxyBin = ZRRELAY_HAPROXY_BIN;

struct Servers {
    std::unique_ptr<relaykit::Child> echo;
    std::vector<std::unique_ptr<relaykit::Child>> relays;
    std::vector<relaykit::Haproxy> haproxies;
    std::uint16_t ports[kTargets] = {};
};

std::unique_ptr<relaykit::Child> startRelay(std::uint16_t backend, int threads, std::uint16_t& port) {
    auto relay = std::make_unique<relaykit::Child>(
        std::vector<std::string>{ZRRELAY_BIN, "--listen", "127.0.0.1:0", "--backend",
                                 "127.0.0.1:" + std::to_string(backend), "--threads", std::to_string(threads)},
        "/tmp/zrrelay-bench-relay" + std::to_string(threads) + ".log");
    port = relaykit::listeningPort(*relay);
    if (port == 0 || relay->waitForLine("backend connected", std::chrono::seconds(10)).empty()) {
        std::cerr << "the relay did not start:\n" << relay->log();
        std::exit(1);
    }
    return relay;
}

const Servers& servers() {
    static const Servers s = [] {
        Servers out;
        out.echo = std::make_unique<relaykit::Child>(
            std::vector<std::string>{ZRRELAY_ECHO_BIN, "--listen", "127.0.0.1:0"}, "/tmp/zrrelay-bench-echo.log");
        out.ports[kDirect] = relaykit::listeningPort(*out.echo);
        if (out.ports[kDirect] == 0) {
            std::cerr << "the echo backend did not start:\n" << out.echo->log();
            std::exit(1);
        }
        out.relays.push_back(startRelay(out.ports[kDirect], 1, out.ports[kRelay1]));
        out.relays.push_back(startRelay(out.ports[kDirect], 2, out.ports[kRelay2]));
        if (!kHaproxyBin.empty()) {
            for (const unsigned nbthread : {1u, 0u}) {
                relaykit::HaproxyOptions options;
                options.nbthread = nbthread;
                out.haproxies.push_back(
                    relaykit::startHaproxy(kHaproxyBin, {{out.ports[kDirect]}}, options,
                                           "/tmp/zrrelay-bench-haproxy" + std::to_string(nbthread) + ".log"));
                out.ports[nbthread == 1 ? kHaproxy1 : kHaproxyDefault] = out.haproxies.back().port;
            }
        }
        return out;
    }();
    return s;
}

// Packets of mixed classes; plain: only those sent in plain.
const std::vector<std::vector<char>>& pool(bool plainOnly) {
    static const std::vector<std::vector<char>> mixed = relaykit::makePackets(11, 512);
    static const std::vector<std::vector<char>> plain = [] {
        std::vector<std::vector<char>> out;
        for (const auto& p : relaykit::makePackets(11, 2048)) {
            if (ZrCPacketHead::fastGetEncryptType(p.data(), static_cast<unsigned int>(p.size())) == 0) out.push_back(p);
        }
        return out;
    }();
    return plainOnly ? plain : mixed;
}

// One connection keeping up to `window` packets unanswered.
struct Flow {
    explicit Flow(asio::io_context& io) : socket(io) {}
    asio::ip::tcp::socket socket;
    std::size_t next = 0;        // packets written
    std::size_t answered = 0;    // replies complete
    std::size_t replyBytes = 0;  // bytes of the reply under way
    std::vector<Clock::time_point> sentAt;
    std::vector<char> out;
    std::vector<char> in = std::vector<char>(64 * 1024);
    bool writing = false;
};

class Driver {
public:
    Driver(std::uint16_t port, std::size_t connections, std::size_t window, bool plainOnly)
        : m_window(window), m_plainOnly(plainOnly), m_endpoint(asio::ip::make_address("127.0.0.1"), port) {
        for (std::size_t i = 0; i < connections; ++i) {
            auto flow = std::make_unique<Flow>(m_io);
            flow->socket.connect(m_endpoint);
            flow->socket.set_option(asio::ip::tcp::no_delay(true));
            m_flows.push_back(std::move(flow));
        }
    }

    // Sends every flow `packets` packets and waits for their replies; the
    // latency of each is appended to `latencies` (microseconds).
    double run(std::size_t packets, std::vector<double>& latencies) {
        m_packets = packets;
        m_latencies = &latencies;
        const auto start = Clock::now();
        for (auto& flow : m_flows) {
            flow->next = flow->answered = flow->replyBytes = 0;
            flow->sentAt.assign(packets, Clock::time_point());
            write(*flow);
            read(*flow);
        }
        m_io.restart();
        m_io.run();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    const std::vector<char>& packetOf(std::size_t i) const {
        const std::vector<std::vector<char>>& packets = pool(m_plainOnly);
        return packets[i % packets.size()];
    }

    void write(Flow& f) {
        if (f.writing) return;
        f.out.clear();
        const auto now = Clock::now();
        while (f.next < m_packets && f.next - f.answered < m_window) {
            const std::vector<char>& p = packetOf(f.next);
            f.out.insert(f.out.end(), p.begin(), p.end());
            f.sentAt[f.next++] = now;
        }
        if (f.out.empty()) return;
        f.writing = true;
        asio::async_write(f.socket, asio::buffer(f.out), [this, &f](const asio::error_code& error, std::size_t) {
            f.writing = false;
            if (error) throw std::runtime_error("write: " + error.message());
            write(f);
        });
    }

    void read(Flow& f) {
        if (f.answered == m_packets) return;
        f.socket.async_read_some(asio::buffer(f.in), [this, &f](const asio::error_code& error, std::size_t n) {
            if (error) throw std::runtime_error("read: " + error.message());
            const auto now = Clock::now();
            f.replyBytes += n;
            while (f.answered < f.next && f.replyBytes >= packetOf(f.answered).size()) {
                f.replyBytes -= packetOf(f.answered).size();
                m_latencies->push_back(std::chrono::duration<double, std::micro>(now - f.sentAt[f.answered]).count());
                ++f.answered;
            }
            write(f);
            read(f);
        });
    }

    asio::io_context m_io;
    std::size_t m_window;
    bool m_plainOnly;
    asio::ip::tcp::endpoint m_endpoint;
    std::vector<std::unique_ptr<Flow>> m_flows;
    std::size_t m_packets = 0;
    std::vector<double>* m_latencies = nullptr;
};

double percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

void BM_Echo(benchmark::State& state, Target target, bool plainOnly) {
    const Servers& s = servers();
    const auto connections = static_cast<std::size_t>(state.range(0));
    Driver driver(s.ports[target], connections, static_cast<std::size_t>(state.range(1)), plainOnly);
    const std::size_t perConnection = kPacketsPerIteration / connections;
    std::vector<double> latencies;
    std::size_t packets = 0;
    for (auto _ : state) {
        state.SetIterationTime(driver.run(perConnection, latencies));
        packets += perConnection * connections;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(packets));
    state.counters["p50_us"] = percentile(latencies, 0.50);
    state.counters["p99_us"] = percentile(latencies, 0.99);
}

// Clients that send the crafted stream, read until the relay closes them,
// and connect again, each on its own thread, until stopped.
class HostileClients {
public:
    HostileClients(std::uint16_t port, std::size_t count, std::size_t kibPerSecond) {
        static const std::vector<char> crafted = nettest::craftedStream(64 * 1024);
        for (std::size_t i = 0; i < count; ++i) {
            m_threads.emplace_back([this, port, kibPerSecond] {
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_port = htons(port);
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                const auto start = Clock::now();
                for (std::uint64_t sent = 0; !m_stop; sent += crafted.size()) {
                    // No faster than the rate: wait until the bytes sent so far are due.
                    while (kibPerSecond > 0 && !m_stop &&
                           Clock::now() < start + std::chrono::microseconds(sent * 1000000 / (kibPerSecond * 1024))) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    const int fd = socket(AF_INET, SOCK_STREAM, 0);
                    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                        for (std::size_t at = 0; at < crafted.size();) {
                            const ssize_t n = send(fd, crafted.data() + at, crafted.size() - at, MSG_NOSIGNAL);
                            if (n <= 0) break;
                            at += static_cast<std::size_t>(n);
                        }
                        char sink[4096];
                        while (!m_stop && recv(fd, sink, sizeof sink, 0) > 0) {
                        }
                        ++m_connections;
                    }
                    close(fd);
                }
            });
        }
    }
    ~HostileClients() {
        m_stop = true;
        for (std::thread& t : m_threads) t.join();
    }
    std::uint64_t connections() const { return m_connections; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_connections{0};
    std::vector<std::thread> m_threads;
};

void BM_PingsBesideHostile(benchmark::State& state) {
    constexpr std::size_t kPings = 200;
    const std::uint16_t port = servers().ports[kRelay1];
    Driver pings(port, 1, 1, true);
    std::vector<double> latencies;
    pings.run(kPings, latencies);  // the connection's first pings, before the clock
    latencies.clear();
    const auto start = Clock::now();
    HostileClients clients(port, static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) state.SetIterationTime(pings.run(kPings, latencies));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPings));
    state.counters["p50_us"] = percentile(latencies, 0.50);
    state.counters["p99_us"] = percentile(latencies, 0.99);
    state.counters["max_us"] = percentile(latencies, 1.0);
    state.counters["hostile_per_s"] = static_cast<double>(clients.connections()) / seconds;
}
BENCHMARK(BM_PingsBesideHostile)
    ->Args({0, 0})
    ->Args({4, 128})
    ->Args({4, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Every target, mix and load, in that order, so that one run gives the
// whole table.
const bool kRegistered = [] {
    for (int target = 0; target < kTargets; ++target) {
        if (kHaproxyBin.empty() && (target == kHaproxy1 || target == kHaproxyDefault)) continue;
        for (const bool plainOnly : {true, false}) {
            const std::string name = std::string("BM_Echo/") + kTargetNames[target] + (plainOnly ? "/plain" : "/mixed");
            benchmark::RegisterBenchmark(name.c_str(), BM_Echo, static_cast<Target>(target), plainOnly)
                ->Args({1, 1})
                ->Args({16, 32})
                ->Args({50, 32})
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();

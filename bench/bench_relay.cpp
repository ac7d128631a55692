// The relay's cost: the same load sent through zrrelay to the echo backend
// and straight to the echo backend, both running as processes on loopback.
//
//   BM_Echo/direct/C/W   C connections to the backend, each keeping W packets
//   BM_Echo/relay/C/W    unanswered; the same through the relay
//
// Each iteration sends every connection kPacketsPerConnection packets of
// mixed classes (plain and enciphered). Reported: packets/s (real time),
// and the latency of each packet from the write that sent it to the read
// that completed its reply, p50 and p99 over the whole run. C=1, W=1 is one
// request at a time; C=16, W=32 keeps the relay busy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <asio.hpp>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

#include "relay_kit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacketsPerConnection = 2000;

struct Servers {
    std::unique_ptr<relaykit::Child> echo, relay;
    std::uint16_t echoPort = 0, relayPort = 0;
};

const Servers& servers() {
    static const Servers s = [] {
        Servers out;
        out.echo = std::make_unique<relaykit::Child>(
            std::vector<std::string>{ZRRELAY_ECHO_BIN, "--listen", "127.0.0.1:0"}, "/tmp/zrrelay-bench-echo.log");
        out.echoPort = relaykit::listeningPort(*out.echo);
        out.relay = std::make_unique<relaykit::Child>(
            std::vector<std::string>{ZRRELAY_BIN, "--listen", "127.0.0.1:0", "--backend",
                                     "127.0.0.1:" + std::to_string(out.echoPort)},
            "/tmp/zrrelay-bench-relay.log");
        out.relayPort = relaykit::listeningPort(*out.relay);
        if (out.echoPort == 0 || out.relayPort == 0 || out.relay->waitForLine("backend connected", std::chrono::seconds(10)).empty()) {
            std::cerr << "the echo backend or the relay did not start:\n" << out.echo->log() << out.relay->log();
            std::exit(1);
        }
        return out;
    }();
    return s;
}

const std::vector<std::vector<char>>& pool() {
    static const std::vector<std::vector<char>> packets = relaykit::makePackets(11, 512);
    return packets;
}

// One connection keeping up to `window` packets unanswered.
struct Flow {
    explicit Flow(asio::io_context& io) : socket(io) {}
    asio::ip::tcp::socket socket;
    std::size_t next = 0;      // packets written
    std::size_t answered = 0;  // replies complete
    std::size_t replyBytes = 0;  // bytes of the reply under way
    std::vector<Clock::time_point> sentAt;
    std::vector<char> out;
    std::vector<char> in = std::vector<char>(64 * 1024);
    bool writing = false;
};

class Driver {
public:
    Driver(std::uint16_t port, std::size_t connections, std::size_t window)
        : m_window(window), m_endpoint(asio::ip::make_address("127.0.0.1"), port) {
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
    const std::vector<char>& packetOf(std::size_t i) const { return pool()[i % pool().size()]; }

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

void BM_Echo(benchmark::State& state, bool throughRelay) {
    const Servers& s = servers();
    const std::uint16_t port = throughRelay ? s.relayPort : s.echoPort;
    Driver driver(port, static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    std::vector<double> latencies;
    std::size_t packets = 0;
    for (auto _ : state) {
        state.SetIterationTime(driver.run(kPacketsPerConnection, latencies));
        packets += kPacketsPerConnection * static_cast<std::size_t>(state.range(0));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(packets));
    state.counters["p50_us"] = percentile(latencies, 0.50);
    state.counters["p99_us"] = percentile(latencies, 0.99);
}

BENCHMARK_CAPTURE(BM_Echo, direct, false)->Args({1, 1})->Args({16, 32})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Echo, relay, true)->Args({1, 1})->Args({16, 32})->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

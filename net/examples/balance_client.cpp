// Asks a billing server for balances, N requests pipelined, with
// zrnet::Client (the README's example of the component net). Prints the
// requests per second and the median and 99th percentile of their latency,
// and exits 0 once every reply has come (1 at the first request without a
// balance).
//   zrnet_balance_client --connect HOST:PORT [--requests N]     (N: 100 000 unless given)
#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

#include "example_args.h"
#include "zr_billing_packets.h"
#include "zr_net_client.h"

int main(int argc, char** argv) {
    std::map<std::string, std::string> args = {{"--connect", ""}, {"--requests", "100000"}};
    std::string host;
    std::uint16_t port = 0;
    std::size_t requests = 0;  // each keeps its sending time: at most 100 million
    if (!readOptions(argc, argv, args) || !hostPort(args["--connect"], host, port) ||
        !count(args["--requests"], 100000000, requests)) {
        std::fprintf(stderr, "usage: zrnet_balance_client --connect HOST:PORT [--requests N]  (N: 1 to 100000000)\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;

    asio::io_context io;
    zrnet::Client client(io, zrnet::ClientOptions(host, port));
    client.start();

    // Up to `window` requests in flight, each with its own reply object; a
    // request is sent as each reply comes.
    constexpr std::size_t window = 64;
    std::deque<ZrBillUserBalancePacket> replies(window);
    ZrBillUserBalancePacket request;  // encoded at each call, so one serves every request
    std::vector<Clock::time_point> sentAt(requests);
    std::vector<double> latencies;  // ms
    latencies.reserve(requests);
    std::size_t next = 0;
    int status = 0;
    std::function<void(std::size_t)> send = [&](std::size_t slot) {
        if (next == requests) return;
        const std::size_t i = next++;
        request.setuser_id(static_cast<unsigned int>(i % 1000 + 1));
        sentAt[i] = Clock::now();
        client.asyncRequest(request, replies[slot], [&, i, slot](std::error_code error) {
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sentAt[i]).count());
            if (error || replies[slot].getret_status() != 0) {
                std::fprintf(stderr, "request %zu: %s\n", i,
                             error ? error.message().c_str() : replies[slot].getret_message().c_str());
                status = 1;
            }
            if (status != 0 || latencies.size() == requests) {
                client.close();
                return;
            }
            send(slot);
        });
    };
    const Clock::time_point start = Clock::now();
    for (std::size_t slot = 0; slot < window; ++slot) send(slot);
    io.run();
    if (status != 0 || latencies.empty()) return 1;

    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    std::printf("%zu replies in %.2f s: %.0f requests/s, p50 %.2f ms, p99 %.2f ms\n", latencies.size(), seconds,
                static_cast<double>(latencies.size()) / seconds, latencies[latencies.size() / 2],
                latencies[latencies.size() * 99 / 100]);
    return 0;
}

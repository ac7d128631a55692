// A billing server that answers balance requests (ZrBillUserBalancePacket)
// from a table in memory, with zrnet::Server (the README's example of the
// component net). Prints the address it listens on; on SIGINT or SIGTERM
// it sends the replies it owes and exits 0.
//   zrnet_balance_server --listen HOST:PORT     (port 0: one the system chooses)
#include <csignal>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "example_args.h"
#include "zr_billing_packets.h"
#include "zr_net_server.h"

int main(int argc, char** argv) {
    std::map<std::string, std::string> args = {{"--listen", ""}};
    std::string host;
    std::uint16_t port = 0;
    if (!readOptions(argc, argv, args) || !hostPort(args["--listen"], host, port)) {
        std::fprintf(stderr, "usage: zrnet_balance_server --listen HOST:PORT\n");
        return 2;
    }
    // Users 1 to 1000, each with a balance in two units.
    std::unordered_map<unsigned int, std::vector<NETPBILLUSERBALANCEINFO>> balances;
    for (unsigned int user = 1; user <= 1000; ++user) {
        balances[user] = {{1, static_cast<int>(user * 100)}, {2, static_cast<int>(user % 7)}};
    }

    asio::io_context io;
    zrnet::Server server(io, zrnet::ServerOptions());
    server.on<ZrBillUserBalancePacket>([&](ZrBillUserBalancePacket& request, zrnet::Responder responder) {
        const auto found = balances.find(request.getuser_id());
        request.setret_status(found == balances.end() ? 1 : 0);
        request.setret_message(found == balances.end() ? "no such user" : "ok");
        if (found != balances.end()) request.setret_BALANCEINFO(found->second);
        responder.reply(request);  // under the request's SN
    });
    try {
        const asio::ip::tcp::endpoint bound = server.listen(host, port);
        std::printf("listening on %s:%u\n", bound.address().to_string().c_str(), bound.port());
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot listen on %s: %s\n", args["--listen"].c_str(), e.what());
        return 1;
    }
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& error, int) {
        if (!error) server.asyncDrain(std::chrono::seconds(5), [&](std::error_code) { io.stop(); });
    });
    io.run();
    return 0;
}

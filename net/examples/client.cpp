// Asks a billing server for a user's balance with zrnet::Client (the
// README's example of the component net).
//   zrnet_client_example HOST PORT USER_ID
#include <cstdio>
#include <cstdlib>

#include "zr_billing_packets.h"
#include "zr_net_client.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zrnet_client_example HOST PORT USER_ID\n");
        return 2;
    }
    asio::io_context io;
    zrnet::ClientOptions options(argv[1], static_cast<std::uint16_t>(std::atoi(argv[2])));
    options.timeout = std::chrono::seconds(2);  // each request's deadline
    zrnet::Client client(io, options);
    client.start();

    ZrBillUserBalancePacket request, reply;
    request.setuser_id(static_cast<unsigned int>(std::strtoul(argv[3], nullptr, 10)));
    int status = 1;
    client.asyncRequest(request, reply, [&](std::error_code error) {
        if (error) {
            std::fprintf(stderr, "no balance: %s\n", error.message().c_str());
        } else {
            std::printf("%d %s\n", reply.getret_status(), reply.getret_message().c_str());
            status = 0;
        }
        client.close();
    });
    io.run();
    return status;
}

// Sends a packet with the installed network client to the installed
// network server in the same program; prints "ok net" and exits 0 when its
// reply decodes.
#include <cstdio>
#include <string>

#include "zr_net_client.h"
#include "zr_net_server.h"
#include "zr_session_packets.h"

int main() {
    asio::io_context io;
    zrnet::Server server(io, zrnet::ServerOptions());
    server.on<ZrAuthSockMsgPacket>(
        [](ZrAuthSockMsgPacket& request, zrnet::Responder responder) { responder.reply(request); });
    zrnet::Client client(io, zrnet::ClientOptions("127.0.0.1", server.listen("127.0.0.1", 0).port()));
    client.start();
    ZrAuthSockMsgPacket request, reply;
    request.setkey("installed");
    int status = 1;
    client.asyncRequest(request, reply, [&](std::error_code error) {
        if (error) {
            std::fprintf(stderr, "%s\n", error.message().c_str());
        } else if (reply.getkey() == "installed") {
            std::printf("ok net\n");
            status = 0;
        }
        client.close();
        server.close();
    });
    io.run_for(std::chrono::seconds(10));
    return status;
}

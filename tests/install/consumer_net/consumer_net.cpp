// Sends a packet with the installed network client to an echo on 127.0.0.1
// in the same program; prints "ok net" and exits 0 when its reply decodes.
#include <cstdio>
#include <string>

#include "zr_net_client.h"
#include "zr_session_packets.h"

int main() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    asio::ip::tcp::socket peer(io);
    char echo[256];
    acceptor.async_accept(peer, [&](std::error_code error) {
        if (error) return;
        peer.async_read_some(asio::buffer(echo), [&](std::error_code e, std::size_t n) {
            if (!e) asio::write(peer, asio::buffer(echo, n));
        });
    });

    zrnet::Client client(io, zrnet::ClientOptions("127.0.0.1", acceptor.local_endpoint().port()));
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
        acceptor.close();
        peer.close();
    });
    io.run_for(std::chrono::seconds(10));
    return status;
}

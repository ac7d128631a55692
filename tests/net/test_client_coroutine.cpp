// zrnet::Client's operations awaited in a C++20 coroutine.
#include <gtest/gtest.h>

#include "loopback_server.h"
#include "zr_billing_packets.h"
#include "zr_net_client.h"

namespace {

TEST(ClientCoroutine, AwaitsTypedAndRawReplies) {
    asio::io_context io;
    nettest::Server server(io, nettest::Answer::Echo);
    zrnet::Client client(io, zrnet::ClientOptions("127.0.0.1", server.port()));
    client.start();
    ZrBillUserBalancePacket request, reply;
    request.setuser_id(5);
    std::vector<char> raw;
    std::size_t rawLength = 0;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            co_await client.asyncRequest(request, reply, asio::use_awaitable);
            std::vector<char> bytes(256);
            request.enCode(bytes.data(), static_cast<unsigned int>(bytes.size()));
            bytes.resize(request.getPacketLength());
            rawLength = co_await client.asyncRawRequest(asio::buffer(bytes), asio::dynamic_buffer(raw),
                                                        asio::use_awaitable);
            client.close();
        },
        [&io](std::exception_ptr e) {
            io.stop();
            if (e) std::rethrow_exception(e);
        });
    io.run_for(std::chrono::seconds(5));
    EXPECT_EQ(reply.getuser_id(), 5u);
    EXPECT_EQ(rawLength, raw.size());
    EXPECT_GT(rawLength, PKT_HEAD_FIXED_LEN);
}

}  // namespace

// The keep-alive and the server identification packet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "zr_basic_packets.h"

using zrtest::headHex;
using zrtest::hex;
using zrtest::unhex;

namespace {

TEST(KeepAlive, GoldenBytes) {
    ZrCkeepAlivePacket packet;
    std::vector<char> buffer(34);
    ASSERT_EQ(packet.enCode(buffer.data(), 34), 0);
    EXPECT_EQ(hex(buffer), headHex(1) + " 03");
    EXPECT_EQ(packet.getPacketLength(), 34u);

    ZrCkeepAlivePacket received;
    ASSERT_EQ(received.deCode(buffer.data(), 34), 0);
    EXPECT_EQ(received.getCmdID(), 1u);
}

TEST(KeepAlive, CommandAndSerialConstructor) {
    ZrCkeepAlivePacket packet(5, 7);
    std::vector<char> buffer(34);
    ASSERT_EQ(packet.enCode(buffer.data(), 34), 0);
    EXPECT_EQ(hex(buffer.data(), 16), "02 00 01 00 00 00 05 00 00 00 00 00 00 00 00 07");
    EXPECT_GE(buffer[16], 1);  // cmdID 5 draws a variant although nothing is enciphered
    EXPECT_LE(buffer[16], 8);
    EXPECT_EQ(buffer[33], 0x03);
}

TEST(KeepAlive, DecodeFailures) {
    ZrCkeepAlivePacket sender;
    std::vector<char> buffer(35, 0x7E);  // a trailing byte after the ETX is ignored
    ASSERT_EQ(sender.enCode(buffer.data(), 34), 0);
    ZrCkeepAlivePacket packet;
    EXPECT_EQ(packet.deCode(buffer.data(), 35), 0);

    EXPECT_EQ(packet.deCode(buffer.data(), 33), -1);
    EXPECT_STREQ(packet.getLastErrMsg(), "[ZrCkeepAlivePacket::deCode], ByteStream >> failed");

    buffer[33] = 0x04;
    EXPECT_EQ(packet.deCode(buffer.data(), 34), -1);
    EXPECT_STREQ(packet.getLastErrMsg(), "[ZrCkeepAlivePacket::deCode], l_cETX != _ETX_");
}

#ifdef NDEBUG
TEST(KeepAlive, BufferWithoutRoomForTheEndByte) {
    ZrCkeepAlivePacket packet;
    std::vector<char> buffer(33);
    EXPECT_EQ(packet.enCode(buffer.data(), 33), -1);
    EXPECT_STREQ(packet.getLastErrMsg(), "[ZrCkeepAlivePacket::enCode], ByteStream << failed");
}
#else
TEST(KeepAliveDeathTest, BufferWithoutRoomForTheEndByteAsserts) {
    ZrCkeepAlivePacket packet;
    std::vector<char> buffer(33);
    EXPECT_DEATH(packet.enCode(buffer.data(), 33), "protocol_packet.*nBufLen >= getPacketLength\\(\\)");
}
#endif

TEST(ServerIdentify, GoldenBytes) {
    ZrCServerIdentifyPacket packet;
    packet.setServerType(0x1234);
    std::vector<char> buffer(37);
    ASSERT_EQ(packet.enCode(buffer.data(), 37), 0);  // fixed mode: no five-byte rule
    EXPECT_EQ(hex(buffer), headHex(2) + " 00 12 34 03");
    EXPECT_EQ(packet.getPacketLength(), 37u);

    ZrCServerIdentifyPacket received;
    EXPECT_EQ(received.getPacketLength(), 33u);
    ASSERT_EQ(received.deCode(buffer.data(), 37), 0);
    EXPECT_EQ(received.getServerType(), 0x1234);
    EXPECT_EQ(received.getPacketLength(), 33u);

    buffer[36] = 0x00;
    EXPECT_EQ(received.deCode(buffer.data(), 37), -1);
    EXPECT_STREQ(received.getLastErrMsg(), "[ZrCServerIdentifyPacket::deCode], l_cETX != _ETX_");
}

TEST(ServerIdentify, EncipheredRoundTripAndMessages) {
    ZrCServerIdentifyPacket packet(1008, 99, 0);
    packet.setServerType(0xBEEF);
    std::vector<char> buffer(64);
    ASSERT_EQ(packet.enCode(buffer.data(), 64), 0);
    const unsigned int length = packet.getPacketLength();
    EXPECT_EQ(length, 37u);
    EXPECT_NE(buffer[16], 0);

    ZrCServerIdentifyPacket received;
    ASSERT_EQ(received.deCode(buffer.data(), length), 0);
    EXPECT_EQ(received.getServerType(), 0xBEEF);
    EXPECT_EQ(received.getSN(), 99u);

    buffer[16] = 9;
    EXPECT_EQ(received.deCode(buffer.data(), length), -1);
    EXPECT_STREQ(received.getLastErrMsg(), "[ZrCServerIdentifyPacket deCode], decryptProtocol failed");
}

}  // namespace

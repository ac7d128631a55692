// The 33-byte head: golden bytes, length and start-byte checks with their
// texts, the encrypt-type rule, versions, and the copy rule.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_packet_head.h"
#include "zr_session_packets.h"

using zrtest::hex;
using zrtest::unhex;

namespace {

// The head alone, with its protected operations opened for the tests.
class BareHead : public ZrCPacketHead {
public:
    explicit BareHead(unsigned int cmdID) : ZrCPacketHead(cmdID) {}
    BareHead(unsigned char high, unsigned char low, unsigned int cmdID, unsigned char subcmdID, unsigned int userID,
             unsigned int SN, unsigned char encryptType, unsigned int c1, unsigned int c2, unsigned int c3,
             unsigned int c4)
        : ZrCPacketHead(high, low, cmdID, subcmdID, userID, SN, encryptType, c1, c2, c3, c4) {}
    using ZrCPacketHead::deCode;
    using ZrCPacketHead::enCode;
};

const char* const kExampleHead =
    "02 01 02 00 00 00 01 03 00 00 00 04 00 00 00 05 00 00 00 00 06 00 00 00 07 00 00 00 08 00 00 00 09";

BareHead exampleHead() { return BareHead(1, 2, 1, 3, 4, 5, 0, 6, 7, 8, 9); }

TEST(PacketHead, EncodesGoldenBytes) {
    BareHead head = exampleHead();
    std::vector<char> buffer(33);
    ASSERT_EQ(head.enCode(buffer.data(), 33), 0);
    EXPECT_EQ(hex(buffer), kExampleHead);
    EXPECT_EQ(head.getPacketLength(), 33u);
}

TEST(PacketHead, DecodesEveryField) {
    std::vector<char> bytes = unhex(kExampleHead);
    bytes[16] = 7;  // taken as received
    BareHead head(0);
    ASSERT_EQ(head.deCode(bytes.data(), 33), 0);
    unsigned char high = 0;
    unsigned char low = 0;
    unsigned short version = 0;
    head.getVersion(high, low, version);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(low, 2);
    EXPECT_EQ(version, 0x0102);
    EXPECT_EQ(head.getCmdID(), 1u);
    EXPECT_EQ(head.getSubcmdID(), 3);
    EXPECT_EQ(head.getUserID(), 4u);
    EXPECT_EQ(head.getSN(), 5u);
    EXPECT_EQ(head.getEncryptType(), 7);
    EXPECT_EQ(head.getContext1(), 6u);
    EXPECT_EQ(head.getContext2(), 7u);
    EXPECT_EQ(head.getContext3(), 8u);
    EXPECT_EQ(head.getContext4(), 9u);
}

TEST(PacketHead, ShortBufferIsRefusedWithItsLength) {
    std::vector<char> buffer(40, 0x55);
    BareHead head = exampleHead();
    EXPECT_EQ(head.enCode(buffer.data(), 32), -1);
    EXPECT_STREQ(head.getLastErrMsg(), "[ZrCPacketHead::enCode], nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = 32");
    EXPECT_EQ(buffer, std::vector<char>(40, 0x55));  // untouched
    EXPECT_EQ(head.deCode(buffer.data(), 0), -1);
    EXPECT_STREQ(head.getLastErrMsg(), "[ZrCPacketHead::deCode], nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = 0");
    EXPECT_EQ(head.getSN(), 5u);  // no member changed
}

TEST(PacketHead, WrongStartByteChangesNothing) {
    for (int first : {0x01, 0x03, 0x41, 0xFF}) {
        SCOPED_TRACE(first);
        std::vector<char> bytes = unhex(kExampleHead);
        bytes[0] = static_cast<char>(first);
        BareHead head(77);
        EXPECT_EQ(head.deCode(bytes.data(), 33), -1);
        // The received byte is appended as a character, not as a number.
        EXPECT_EQ(std::string(head.getLastErrMsg()),
                  std::string("[ZrCPacketHead::deCode], Check _STX_ failed, STX  =  ") + static_cast<char>(first));
        EXPECT_EQ(head.getCmdID(), 77u);
        EXPECT_EQ(head.getSN(), 0u);
    }
}

TEST(PacketHead, SuccessKeepsTheLastErrorText) {
    BareHead head = exampleHead();
    std::vector<char> buffer(33);
    ASSERT_EQ(head.enCode(buffer.data(), 10), -1);
    const std::string failure = head.getLastErrMsg();
    ASSERT_EQ(head.enCode(buffer.data(), 33), 0);
    ASSERT_EQ(head.deCode(buffer.data(), 33), 0);
    EXPECT_EQ(head.getLastErrMsg(), failure);
    EXPECT_STREQ(BareHead(1).getLastErrMsg(), "");
}

TEST(PacketHead, EncryptTypeFollowsTheCommand) {
    for (unsigned int cmd : {1u, 2u, 3u, 9u, 1001u, 1002u, 1009u}) {
        SCOPED_TRACE(cmd);
        BareHead head(cmd);
        EXPECT_FALSE(head.isNeedEncrypt());
        head.setEncryptType(5);
        std::vector<char> buffer(33);
        ASSERT_EQ(head.enCode(buffer.data(), 33), 0);
        EXPECT_EQ(buffer[16], 0);
        EXPECT_EQ(head.getEncryptType(), 0);
    }
    for (unsigned int cmd : {0u, 4u, 5u, 10u, 1003u, 1008u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(cmd);
        BareHead head(cmd);
        EXPECT_TRUE(head.isNeedEncrypt());
        std::vector<char> buffer(33);
        bool seen[9] = {};
        for (int i = 0; i < 200; ++i) {
            head.setEncryptType(0);
            ASSERT_EQ(head.enCode(buffer.data(), 33), 0);
            const int type = buffer[16];
            ASSERT_GE(type, 1);
            ASSERT_LE(type, 8);
            EXPECT_EQ(head.getEncryptType(), type);
            seen[type] = true;
        }
        for (int type = 1; type <= 8; ++type) EXPECT_TRUE(seen[type]) << "variant " << type << " never drawn";
    }
}

TEST(PacketHead, VersionText) {
    BareHead head(1);
    EXPECT_EQ(head.getVersionEx(), "0.0");
    head.setVersion(0x0A01);
    EXPECT_EQ(head.getVersionEx(), "10.1");
    EXPECT_TRUE(head.isRightVersion(0x0A, 0x01));
    EXPECT_FALSE(head.isRightVersion(0x01, 0x0A));
    head.setVersion(0xFFFF);
    EXPECT_EQ(head.getVersionEx(), "255.255");
}

// A copy keeps the reported length and works on its own storage only: the
// source may be gone before the copy is used.
TEST(PacketHead, CopyReportsSameLengthAndStandsAlone) {
    auto source = std::make_unique<ZrAuthSockMsgPacket>(0, 1, 5, 0, 0, 0, 0);  // enciphered command
    source->setkey("key");
    source->setErrorDesc("desc");
    std::vector<char> wire(128);
    ASSERT_EQ(source->enCode(wire.data(), 128), 0);

    ZrAuthSockMsgPacket copy(*source);
    ZrAuthSockMsgPacket assigned;
    assigned = *source;
    EXPECT_EQ(copy.getPacketLength(), source->getPacketLength());
    EXPECT_EQ(assigned.getPacketLength(), source->getPacketLength());
    const unsigned int length = source->getPacketLength();
    source.reset();

    std::vector<char> again(128);
    ASSERT_EQ(copy.enCode(again.data(), 128), 0);
    ZrAuthSockMsgPacket decoded;
    ASSERT_EQ(decoded.deCode(again.data(), copy.getPacketLength()), 0);
    EXPECT_EQ(decoded.getkey(), "key");
    ASSERT_EQ(assigned.deCode(wire.data(), length), 0);
    EXPECT_EQ(assigned.getErrorDesc(), "desc");
}

#ifdef NDEBUG
TEST(PacketHead, NullBufferIsRefused) {
    BareHead head = exampleHead();
    EXPECT_EQ(head.enCode(nullptr, 100), -1);
    EXPECT_EQ(head.deCode(nullptr, 100), -1);
    EXPECT_EQ(head.getSN(), 5u);
}
#else
TEST(PacketHeadDeathTest, NullBufferAsserts) {
    BareHead head = exampleHead();
    EXPECT_DEATH(head.enCode(nullptr, 100), "protocol_packet.*pSendBuf != NULL");
    EXPECT_DEATH(head.deCode(nullptr, 100), "protocol_packet.*pRecvBuf != NULL");
}
#endif

}  // namespace

// Raw-buffer accessors: each field at its offset, the all-ones and -1
// answers on unusable buffers, and dispatch by head peek.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "test_util.h"
#include "zr_packet_head.h"

using zrtest::hex;
using zrtest::unhex;

namespace {

const char* const kExampleHead =
    "02 01 02 00 00 00 01 03 00 00 00 04 00 00 00 05 00 00 00 00 06 00 00 00 07 00 00 00 08 00 00 00 09";

struct Field {
    const char* name;
    std::function<unsigned int(const char*, unsigned int)> get;
    std::function<int(char*, unsigned int, unsigned int)> set;
    unsigned int exampleValue;  // in kExampleHead
    unsigned int allOnes;       // on an unusable buffer
    unsigned int offset;
    unsigned int width;
    unsigned int newValue;
};

#define ZR_FIELD(name, example, ones, offset, width, value)                                                \
    Field {                                                                                                \
#name, [](const char* b, unsigned int n) -> unsigned int { return ZrCPacketHead::fastGet##name(b, n); }, \
            [](char* b, unsigned int n, unsigned int v) {                                                   \
                return ZrCPacketHead::fastSet##name(b, n, static_cast<decltype(ZrCPacketHead::fastGet##name(b, n))>(v)); \
            },                                                                                              \
            example, ones, offset, width, value \
    }

const std::vector<Field>& fields() {
    static const std::vector<Field> all = {
        ZR_FIELD(Version, 0x0102, 0xFFFF, 1, 2, 0xA1B2),
        ZR_FIELD(VersionHigh, 1, 0xFF, 1, 1, 0x09),
        ZR_FIELD(VersionLow, 2, 0xFF, 2, 1, 0x0B),
        ZR_FIELD(CmdID, 1, 0xFFFFFFFF, 3, 4, 0x11223344),
        ZR_FIELD(SubcmdID, 3, 0xFF, 7, 1, 0xEE),
        ZR_FIELD(UserID, 4, 0xFFFFFFFF, 8, 4, 0x01020304),
        ZR_FIELD(SN, 5, 0xFFFFFFFF, 12, 4, 0xFFFFFFFE),
        ZR_FIELD(EncryptType, 0, 0xFF, 16, 1, 8),
        ZR_FIELD(Context1, 6, 0xFFFFFFFF, 17, 4, 0xCAFEBABE),
        ZR_FIELD(Context2, 7, 0xFFFFFFFF, 21, 4, 0x80000000),
        ZR_FIELD(Context3, 8, 0xFFFFFFFF, 25, 4, 1),
        ZR_FIELD(Context4, 9, 0xFFFFFFFF, 29, 4, 0x11223344),
    };
    return all;
}
#undef ZR_FIELD

TEST(RawAccess, GettersReadTheExampleHead) {
    const std::vector<char> bytes = unhex(kExampleHead);
    for (const Field& f : fields()) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.get(bytes.data(), 33), f.exampleValue);
    }
}

TEST(RawAccess, SettersWriteOnlyTheirOwnBytesInNetworkOrder) {
    for (const Field& f : fields()) {
        SCOPED_TRACE(f.name);
        const std::vector<char> original = unhex(kExampleHead);
        std::vector<char> bytes = original;
        ASSERT_EQ(f.set(bytes.data(), 33, f.newValue), 0);
        EXPECT_EQ(f.get(bytes.data(), 33), f.newValue);
        for (unsigned int i = 0; i < 33; ++i) {
            if (i < f.offset || i >= f.offset + f.width) {
                EXPECT_EQ(bytes[i], original[i]) << "byte " << i;
            }
        }
        for (unsigned int i = 0; i < f.width; ++i) {  // most significant byte first
            const unsigned int shift = 8 * (f.width - 1 - i);
            EXPECT_EQ(static_cast<unsigned char>(bytes[f.offset + i]), (f.newValue >> shift) & 0xFF);
        }
    }
}

TEST(RawAccess, UnusableBuffersGiveAllOnesAndStayUntouched) {
    for (const Field& f : fields()) {
        SCOPED_TRACE(f.name);
        std::vector<char> shortBuffer = unhex(kExampleHead);
        shortBuffer.pop_back();  // 32 bytes
        const std::vector<char> before = shortBuffer;
        EXPECT_EQ(f.get(shortBuffer.data(), 32), f.allOnes);
        EXPECT_EQ(f.get(nullptr, 33), f.allOnes);
        EXPECT_EQ(f.set(shortBuffer.data(), 32, f.newValue), -1);
        EXPECT_EQ(f.set(nullptr, 33, f.newValue), -1);
        EXPECT_EQ(shortBuffer, before);
    }
}

TEST(RawAccess, GettersIgnoreTheStartByte) {
    const std::vector<char> zeros(33, 0);
    for (const Field& f : fields()) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.get(zeros.data(), 33), 0u);
    }
}

TEST(RawAccess, VersionBytesAreSetIndependently) {
    std::vector<char> bytes = unhex(kExampleHead);
    ASSERT_EQ(ZrCPacketHead::fastSetVersionHigh(bytes.data(), 33, 9), 0);
    EXPECT_EQ(hex(bytes.data(), 3), "02 09 02");
    EXPECT_EQ(ZrCPacketHead::fastGetVersion(bytes.data(), 33), 0x0902);
    ASSERT_EQ(ZrCPacketHead::fastSetVersionLow(bytes.data(), 33, 0xFE), 0);
    EXPECT_EQ(ZrCPacketHead::fastGetVersion(bytes.data(), 33), 0x09FE);
}

TEST(RawAccess, ContextByIndex) {
    std::vector<char> bytes = unhex(kExampleHead);
    for (int i = 1; i <= 4; ++i) {
        SCOPED_TRACE(i);
        unsigned int value = 0;
        ASSERT_EQ(ZrCPacketHead::dispatchPacketContext_i(bytes.data(), 33, i, value), 0);
        EXPECT_EQ(value, static_cast<unsigned int>(5 + i));
    }
    ASSERT_EQ(ZrCPacketHead::modifyPacketNetwork_Context_i(bytes.data(), 33, 4, 0x11223344), 0);
    EXPECT_EQ(hex(bytes.data() + 29, 4), "11 22 33 44");
    EXPECT_EQ(ZrCPacketHead::fastGetContext4(bytes.data(), 33), 0x11223344u);

    unsigned int value = 42;
    EXPECT_EQ(ZrCPacketHead::dispatchPacketContext_i(bytes.data(), 32, 1, value), -1);
    EXPECT_EQ(value, 42u);
    const std::vector<char> before = bytes;
    EXPECT_EQ(ZrCPacketHead::modifyPacketNetwork_Context_i(bytes.data(), 32, 1, 7), -1);
    EXPECT_EQ(bytes, before);
}

TEST(RawAccess, DispatchPeeksAtTheHead) {
    std::vector<char> bytes = unhex(kExampleHead);
    unsigned short version = 0;
    unsigned int cmdID = 0;
    unsigned char subcmdID = 0;
    unsigned int userID = 0;
    ASSERT_EQ(ZrCPacketHead::dispatchPacket(bytes.data(), 33, version, cmdID, subcmdID, userID), 0);
    EXPECT_EQ(version, 0x0102);
    EXPECT_EQ(cmdID, 1u);
    EXPECT_EQ(subcmdID, 3);
    EXPECT_EQ(userID, 4u);

    unsigned int untouched = 99;
    EXPECT_EQ(ZrCPacketHead::dispatchPacket(bytes.data(), 32, version, untouched, subcmdID, userID), -1);
    bytes[0] = 0x03;
    EXPECT_EQ(ZrCPacketHead::dispatchPacket(bytes.data(), 33, version, untouched, subcmdID, userID), -1);
    EXPECT_EQ(untouched, 99u);
}

#ifdef NDEBUG
TEST(RawAccess, ContractBreachesAreRefused) {
    std::vector<char> bytes = unhex(kExampleHead);
    const std::vector<char> before = bytes;
    unsigned int value = 42;
    unsigned short version = 0;
    unsigned char subcmdID = 0;
    for (int i : {0, 5, -1}) {
        EXPECT_EQ(ZrCPacketHead::dispatchPacketContext_i(bytes.data(), 33, i, value), -1);
        EXPECT_EQ(ZrCPacketHead::modifyPacketNetwork_Context_i(bytes.data(), 33, i, 1), -1);
    }
    EXPECT_EQ(ZrCPacketHead::dispatchPacketContext_i(nullptr, 33, 1, value), -1);
    EXPECT_EQ(ZrCPacketHead::modifyPacketNetwork_Context_i(nullptr, 33, 1, 1), -1);
    EXPECT_EQ(ZrCPacketHead::dispatchPacket(nullptr, 33, version, value, subcmdID, value), -1);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(bytes, before);
}
#else
TEST(RawAccessDeathTest, ContractBreachesAssert) {
    std::vector<char> bytes = unhex(kExampleHead);
    unsigned int value = 0;
    unsigned short version = 0;
    unsigned char subcmdID = 0;
    EXPECT_DEATH(ZrCPacketHead::dispatchPacketContext_i(bytes.data(), 33, 5, value), "protocol_packet.*Assertion `0' failed");
    EXPECT_DEATH(ZrCPacketHead::dispatchPacketContext_i(nullptr, 33, 1, value), "pBuf != NULL");
    EXPECT_DEATH(ZrCPacketHead::modifyPacketNetwork_Context_i(bytes.data(), 33, 5, 1), "i <= 4");
    EXPECT_DEATH(ZrCPacketHead::modifyPacketNetwork_Context_i(bytes.data(), 33, 0, 1), "protocol_packet.*Assertion `0' failed");
    EXPECT_DEATH(ZrCPacketHead::dispatchPacket(nullptr, 33, version, value, subcmdID, value), "pRecvBuf != NULL");
}
#endif

}  // namespace

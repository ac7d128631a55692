// The stream splitter's rules, one row a stream: what is not a packet is
// reported with its offset, count and reason, and splitting resumes at the
// next start; limits are kept without waiting; the stream's end turns a
// partial packet into skipped bytes. Each row is split whole, a byte at a
// time and in chunks of seven, which must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_streams.h"
#include "packet_checks.h"
#include "test_util.h"
#include "zr_session_packets.h"

namespace {

std::string bytes(const std::string& hexText) {
    const std::vector<char> b = zrtest::unhex(hexText);
    return std::string(b.begin(), b.end());
}

// A plain socket authentication packet (50 bytes) and an enciphered
// billing message (command 5).
std::string plainPacket() {
    ZrAuthSockMsgPacket p;
    p.setkey("s3cr3t-key");
    p.setErrorDesc("ok");
    std::string wire(256, '\0');
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    return wire.substr(0, p.getPacketLength());
}
std::string encipheredPacket() {
    ZrBillMsgPacket p;
    p.setAccountName("acct-7");
    std::string wire(256, '\0');
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    return wire.substr(0, p.getPacketLength());
}

struct Piece {
    bool packet;
    std::uint64_t offset;
    std::size_t length;
    std::string what;  // the class, or a fragment of the reason
};

std::vector<zrfuzz::SplitPiece> splitRow(const std::string& stream, const std::vector<std::size_t>& chunks,
                                         std::size_t limit) {
    ZrPacketMeter::Options options;
    options.maxPacketLength = limit;
    return zrfuzz::split(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), chunks, options);
}

TEST(StreamSplitter, ReportsWhatIsNotAPacketAndResumes) {
    const std::string plain = plainPacket(), cipher = encipheredPacket();
    const std::size_t p = plain.size(), c = cipher.size();
    std::string badEnd = plain;
    badEnd.back() = 0x04;
    const std::string unknownCommand = bytes(zrtest::headHex(77)) + bytes("00 03");
    const std::string encryptType9 = bytes(zrtest::headHex(3, 9)) + bytes("00 00 00 00 03");
    // A socket authentication packet whose key claims 2^20 bytes, and one whose key claims 2^31.
    const std::string claimsAMegabyte = bytes(zrtest::headHex(3)) + bytes("00 80 80 40") + "abc";
    const std::string claims2To31 = bytes(zrtest::headHex(3)) + bytes("00 80 80 80 80 08") + "abc";
    const struct {
        const char* name;
        std::string stream;
        std::size_t limit;
        std::vector<Piece> want;
    } rows[] = {
        {"packets back to back",
         plain + cipher + plain,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{true, 0, p, "ZrAuthSockMsgPacket"},
          {true, p, c, "ZrBillMsgPacket"},
          {true, p + c, p, "ZrAuthSockMsgPacket"}}},
        {"bytes before a packet",
         "xyz" + plain,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, 3, "byte 0x78 at offset 0 starts no packet"}, {true, 3, p, "ZrAuthSockMsgPacket"}}},
        {"an unknown command",
         unknownCommand + cipher,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, 35, "no packet class has the command 77"}, {true, 35, c, "ZrBillMsgPacket"}}},
        {"an encryptType past the variants",
         encryptType9 + plain,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, 38, "encryptType 9 at offset 16"}, {true, 38, p, "ZrAuthSockMsgPacket"}}},
        {"a wrong end byte",
         badEnd + plain,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, p, "end byte 0x04 at offset 49, not 0x03"}, {true, p, p, "ZrAuthSockMsgPacket"}}},
        {"a claim past the limit, refused without waiting",
         claimsAMegabyte,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, 40, "body.key: 1048576 bytes from offset 37 run past the longest body accepted"}}},
        {"a text length of 2^31",
         claims2To31,
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{false, 0, 42, "body.key: text length 2147483648 at offset 34, 2^31 or more"}}},
        {"packets of exactly the limit",
         plain + plain,
         p,
         {{true, 0, p, "ZrAuthSockMsgPacket"}, {true, p, p, "ZrAuthSockMsgPacket"}}},
        {"a packet one byte over the limit",
         plain,
         p - 1,
         {{false, 0, p, "run past the longest body accepted (packets of at most " + std::to_string(p - 1)}}},
        {"the stream ends inside a packet",
         plain + plain.substr(0, 45),
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{true, 0, p, "ZrAuthSockMsgPacket"}, {false, p, 45, "the stream ends 45 bytes into a packet"}}},
        {"an enciphered packet without an end",
         cipher.substr(0, c - 1) + std::string(70, 'x'),
         100,
         {{false, 0, c + 69, "no end byte in the 100 bytes an enciphered packet may take"}}},
        {"packets found inside a partial one when the stream ends",
         cipher.substr(0, 40) + plain + plain,
         4096,
         {{false, 0, 40, "the stream ends"},
          {true, 40, p, "ZrAuthSockMsgPacket"},
          {true, 40 + p, p, "ZrAuthSockMsgPacket"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<zrfuzz::SplitPiece> whole = splitRow(row.stream, {}, row.limit);
        ASSERT_EQ(row.want.size(), whole.size());
        for (std::size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(row.want[i].packet, whole[i].packet) << i;
            EXPECT_EQ(row.want[i].offset, whole[i].offset) << i;
            EXPECT_EQ(row.want[i].length, whole[i].length) << i;
            EXPECT_NE(std::string::npos, whole[i].what.find(row.want[i].what)) << whole[i].what;
        }
        EXPECT_EQ(whole, splitRow(row.stream, {1}, row.limit));
        EXPECT_EQ(whole, splitRow(row.stream, {7}, row.limit));
    }
}

// A receiver learns of bytes that are not packets as soon as they come, and
// packets in the fed chunk are handed out in place.
TEST(StreamSplitter, ReportsAtOnceAndHandsOutPacketsInPlace) {
    const std::string plain = plainPacket();
    const std::string chunk = plain + plain + "junk" + plain.substr(0, 10);
    ZrStreamSplitter splitter;
    splitter.feed(chunk.data(), chunk.size());
    ZrSplitItem item;
    for (std::size_t offset : {std::size_t{0}, plain.size()}) {
        ASSERT_TRUE(splitter.next(item));
        EXPECT_TRUE(item.isPacket());
        EXPECT_EQ(offset, item.offset);
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(chunk.data()) + offset, item.data);
    }
    ASSERT_TRUE(splitter.next(item));
    EXPECT_FALSE(item.isPacket());
    EXPECT_EQ(4u, item.length);
    EXPECT_TRUE(splitter.skipping());
    EXPECT_FALSE(splitter.next(item));
    EXPECT_EQ(10u, splitter.held());  // the start of the next packet, copied
    const std::string rest = plain.substr(10);
    splitter.feed(rest.data(), rest.size());
    ASSERT_TRUE(splitter.next(item));
    EXPECT_TRUE(item.isPacket());
    EXPECT_EQ(plain, std::string(item.chars(), item.length));
    EXPECT_FALSE(splitter.skipping());
    EXPECT_FALSE(splitter.next(item));
    EXPECT_EQ(0u, splitter.held());
    // A chunk fed before the last was drained comes after what was left of it.
    const std::string two = plain + plain;
    splitter.feed(two.data(), two.size());
    splitter.feed(plain.data(), plain.size());
    for (std::uint64_t offset : {3u, 4u, 5u}) {
        ASSERT_TRUE(splitter.next(item));
        EXPECT_TRUE(item.isPacket());
        EXPECT_EQ(offset * plain.size() + 4, item.offset);
    }
}

// Hostile streams cost bounded work, counted rather than timed, whatever
// the chunks: per byte of stream at most `perByte` bytes deciphered and
// fields walked (the bound the splitter states is far above these), and
// never more held than the longest packet waited for.
TEST(StreamSplitter, BoundsTheWorkOfHostileStreams) {
    const std::string loginWire = zrtest::longPlainPacket(), longestWire = zrtest::longestEncipheredPacket();
    std::string replies;  // what a backend sends beside the hostile bytes
    for (int i = 0; i < 10; ++i) replies += plainPacket() + encipheredPacket();
    const struct {
        const char* name;
        std::string stream;
        double perByte;      // deciphered bytes and walked fields, each
        int packets;         // -1: whatever deCode accepts (every packet handed out is checked)
        bool trial = false;  // each 0x03 tried, as for a codec that does not decipher prefixes
    } rows[] = {
        {"50 heads before 4 000 bytes of 0x03", zrtest::headsBeforeEndBytes(), 32, -1},
        // The 17 prefixes of it that deCode accepts, then every reply after it, whole.
        {"50 heads before 0x03 bytes, then replies", zrtest::headsBeforeEndBytes() + replies, 32, 37},
        {"a head of every enciphered command before 0x03 bytes", zrtest::everyEncipheredHead(), 32, -1},
        {"enciphered heads back to back", zrtest::packedHeads(), 64, -1},
        {"plain heads claiming the longest body", zrtest::plainClaims(), 1, 0},
        {"a 15 KB plain packet of 1 000 records", loginWire + loginWire, 2, 2},
        {"the longest enciphered packet", longestWire + longestWire, 3, 2},
        {"the longest enciphered packet, each 0x03 tried", longestWire + longestWire, 256, 2, true},
        {"random bytes", zrtest::randomBytes(6000, 5), 1, -1},
    };
    for (const auto& row : rows) {
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{1460}}) {
            SCOPED_TRACE(std::string(row.name) + ", chunks of " + std::to_string(chunk));
            zrfuzz::SplitCost cost;
            ZrPacketMeter::Options options;
            options.endSearch = row.trial ? ZrEndSearch::Trial : ZrEndSearch::Resume;
            const std::vector<zrfuzz::SplitPiece> pieces = zrfuzz::split(
                reinterpret_cast<const std::uint8_t*>(row.stream.data()), row.stream.size(),
                chunk == 0 ? std::vector<std::size_t>{} : std::vector<std::size_t>{chunk}, options, &cost);
            int packets = 0;
            for (const zrfuzz::SplitPiece& piece : pieces) {
                packets += piece.packet;
                if (piece.packet) {
                    EXPECT_EQ(
                        "", zrfuzz::checkMeasure(
                                reinterpret_cast<const std::uint8_t*>(row.stream.data()) + piece.offset, piece.length));
                }
            }
            if (row.packets >= 0) {
                EXPECT_EQ(row.packets, packets);
            }
            const double n = static_cast<double>(row.stream.size());
            EXPECT_LE(static_cast<double>(cost.work.deciphered), row.perByte * n + 2 * PKT_SCRATCH_HALF_LEN);
            EXPECT_LE(static_cast<double>(cost.work.fields), row.perByte * n + 64);
            EXPECT_LE(cost.mostHeld, options.maxPacketLength);
        }
    }
}

}  // namespace

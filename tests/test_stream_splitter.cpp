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
std::string encipheredPacket(unsigned int sn = 0) {
    ZrBillMsgPacket p;
    p.setAccountName("acct-7");
    p.setSN(sn);
    std::string wire(256, '\0');
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    return wire.substr(0, p.getPacketLength());
}

struct Piece {
    bool packet;
    std::uint64_t offset;
    std::size_t length;
    std::string what;    // the class, or a fragment of the reason
    bool atEnd = false;  // fed a byte at a time, it comes out only once the stream has ended
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
    // A key length whose varint runs on to the longest body of a 100-byte packet.
    const std::string longVarint = bytes(zrtest::headHex(3)) + '\0' + std::string(70, '\x80');
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
        {"a varint that runs up to the limit, refused without waiting",
         longVarint + plain,
         100,
         {{false, 0, 104, "body.key: 65 bytes from offset 34 run past the longest body accepted"},
          {true, 104, p, "ZrAuthSockMsgPacket"}}},
        {"the stream ends inside a packet",
         plain + plain.substr(0, 45),
         ZR_DEFAULT_MAX_PACKET_LEN,
         {{true, 0, p, "ZrAuthSockMsgPacket"}, {false, p, 45, "the stream ends 45 bytes into a packet", true}}},
        {"an enciphered packet without an end",
         cipher.substr(0, c - 1) + std::string(70, 'x'),
         100,
         {{false, 0, c + 69, "no end byte in the 100 bytes an enciphered packet may take"}}},
        {"packets found inside a partial one when the stream ends",
         cipher.substr(0, 40) + plain + plain,
         4096,
         {{false, 0, 40, "the stream ends", true},
          {true, 40, p, "ZrAuthSockMsgPacket", true},
          {true, 40 + p, p, "ZrAuthSockMsgPacket", true}}},
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
        const std::vector<zrfuzz::SplitPiece> byteAtATime = splitRow(row.stream, {1}, row.limit);
        EXPECT_EQ(whole, byteAtATime);
        for (std::size_t i = 0; i < byteAtATime.size() && i < row.want.size(); ++i) {
            EXPECT_EQ(row.want[i].atEnd, byteAtATime[i].afterFinish) << i;
        }
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
    // A chunk fed before the last was drained comes after what was left of
    // it, and a packet across two such chunks comes out whole, even once
    // the stream has ended.
    const std::string two = plain + plain;
    splitter.feed(two.data(), two.size());
    splitter.feed(plain.data(), plain.size());
    splitter.feed(plain.data(), 10);
    splitter.feed(rest.data(), rest.size());
    splitter.finish();
    for (std::uint64_t offset : {3u, 4u, 5u, 6u}) {
        ASSERT_TRUE(splitter.next(item));
        EXPECT_TRUE(item.isPacket());
        EXPECT_EQ(offset * plain.size() + 4, item.offset);
    }
    EXPECT_FALSE(splitter.next(item));

    // A caller that stops at the first skipped run has paid for one start:
    // the run's first piece, up to the next 0x02, comes out before the
    // starts after it are measured.
    const std::string stall = zrtest::craftedStall(40000);
    ZrStreamSplitter hostile;
    hostile.feed(stall.data(), stall.size());
    ASSERT_TRUE(hostile.next(item));
    EXPECT_FALSE(item.isPacket());
    EXPECT_EQ(37u, item.length);
    EXPECT_LE(hostile.meter().work().deciphered, PKT_SCRATCH_HALF_LEN);
}

// One measure at its bounds: a budget of exactly the work a packet takes
// frames it, one unit less refuses it for the budget, whichever way ends
// are found; a prefix cut inside the last text needs the whole packet.
TEST(StreamSplitter, MeterVerdictsAtTheirBounds) {
    std::string cipher = encipheredPacket();  // one whose only 0x03 is its ETX: its ends cost its cipher
    for (unsigned int sn = 1; cipher.find('\x03') + 1 != cipher.size(); ++sn) cipher = encipheredPacket(sn);
    const std::uint64_t cipherLen = cipher.size() - PKT_ENVELOPE_MIN_LEN, all = ZrPacketMeter::kUnlimited;
    const ZrEndSearch trial = ZrEndSearch::Trial, resume = ZrEndSearch::Resume, prefixes = ZrEndSearch::Prefixes;
    const struct {
        ZrEndSearch search;
        ZrMeterWork budget;  // its 8 fields, its cipher deciphered once
        bool framed;
    } rows[] = {{trial, {cipherLen, all}, true},
                {trial, {cipherLen - 1, all}, false},
                {resume, {cipherLen, all}, true},
                {resume, {cipherLen - 1, all}, false},
                {prefixes, {cipherLen - 1, all}, false},
                {resume, {all, 8}, true},
                {resume, {all, 7}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.search)) + ", " + std::to_string(row.budget.deciphered) +
                     " bytes, " + std::to_string(row.budget.fields) + " fields");
        ZrPacketMeter::Options options;
        options.endSearch = row.search;
        ZrPacketMeter meter(options);
        meter.setBudgetLeft(row.budget);
        const ZrFrame frame = meter.measure(cipher.data(), cipher.size());
        EXPECT_EQ(row.framed ? cipher.size() : 0, frame.packetLength) << frame.why();
        EXPECT_EQ(row.framed ? ZrFrameFault::None : ZrFrameFault::WorkLimit, frame.fault);
        EXPECT_NE(row.framed, frame.why().find("work budget is spent") != std::string::npos) << frame.why();
    }
    const std::string plain = plainPacket();
    ZrPacketMeter meter;
    EXPECT_EQ(plain.size(), meter.measure(plain.data(), plain.size() - 2).needed);  // cut inside its last text
    meter.setBudgetLeft({all, 2});
    EXPECT_EQ(ZrFrameFault::WorkLimit, meter.measure(plain.data(), plain.size()).fault);  // one field short
}

// Work, counted rather than timed, whatever the chunks (whole, a byte at a
// time and 1 460 bytes, or the row's own): within the stream's budget (its
// first allowance, then workPerByte a byte of it), never more held than the
// longest packet waited for, and every packet handed out is what deCode
// accepts. Where a row pins them, the packets and the work: each
// enciphered byte of an honest packet deciphered once, each field walked
// about once, and a hostile start refused for the budget.
TEST(StreamSplitter, CountsItsWorkWithinTheBudget) {
    const std::string login = zrtest::longPlainPacket(), longest = zrtest::longestEncipheredPacket();
    const std::string portal = zrtest::craftedPortal(), login40 = zrtest::loginPacket(40, true),
                      login200 = zrtest::loginPacket(200, false);
    std::string replies;  // what a backend sends beside the hostile bytes
    for (int i = 0; i < 10; ++i) replies += plainPacket() + encipheredPacket();
    // A head whose cipher is all 0x03 up to the longest packet: every byte may end it.
    const std::string flooded = bytes(zrtest::headHex(5, 1)) + std::string(ZR_MAX_ENCIPHERED_PACKET_LEN, '\x03');
    const std::uint64_t cipher = ZR_MAX_ENCIPHERED_PACKET_LEN - PKT_ENVELOPE_MIN_LEN,
                        portalCipher = portal.size() - PKT_ENVELOPE_MIN_LEN;
    using Chunks = std::vector<std::vector<std::size_t>>;
    const Chunks whole = {{}}, usual = {{}, {1}, {1460}}, every = {{}, {1}, {7}, {64}, {1460}};
    const ZrEndSearch resume = ZrEndSearch::Resume, prefixes = ZrEndSearch::Prefixes, trial = ZrEndSearch::Trial;
    struct Counted {
        std::uint64_t least = 0, most = UINT64_MAX;
    };
    const Counted any, none{0, 0}, once40{login40.size() - PKT_ENVELOPE_MIN_LEN, login40.size() - PKT_ENVELOPE_MIN_LEN};
    const struct {
        const char* name;
        std::string stream;
        int packets;  // -1: whatever deCode accepts
        Counted deciphered, fields;
        Chunks chunks;
        ZrEndSearch search;
        std::uint64_t base{0};  // the stream's first offset
    } rows[] = {
        {"50 heads before 4 000 bytes of 0x03", zrtest::headsBeforeEndBytes(), -1, any, any, usual, resume},
        // The 17 prefixes of it that deCode accepts, then every reply after it, whole.
        {"50 heads, 0x03 bytes, replies", zrtest::headsBeforeEndBytes() + replies, 37, any, any, usual, resume},
        {"every enciphered head before 0x03 bytes", zrtest::everyEncipheredHead(), -1, any, any, usual, resume},
        {"enciphered heads back to back", zrtest::packedHeads(), -1, any, any, usual, resume},
        {"plain heads claiming the longest body", zrtest::plainClaims(), 0, none, any, usual, resume},
        {"random bytes", zrtest::randomBytes(6000, 5), -1, any, any, usual, resume},
        {"the stream that stalled a relay", zrtest::craftedStall(40000), 0, any, any, every, resume},
        {"a 15 KB plain packet of 1 000 records", login + login, 2, none, {18012, 19800}, {{}, {1460}}, resume},
        {"the longest enciphered packet", longest + longest, 2, {2 * cipher, 2 * cipher}, any, every, resume},
        {"the same, by prefixes", longest + longest, 2, {2 * cipher, 4 * cipher}, any, every, prefixes},
        // A codec that only lets each end be tried pays for every 0x03 of it.
        {"the same, each 0x03 tried", longest, 0, any, any, {{}, {1460}}, trial},
        {"2 000 texts, each length 0x03", portal, 1, {portalCipher, portalCipher}, any, every, resume},
        {"the same, by prefixes", portal, -1, any, any, every, prefixes},
        // No byte looks like its end: prefixes that double, within the first allowance.
        {"the same and more bytes", portal + "xyz", 1, {portalCipher, 2 * cipher}, any, whole, prefixes},
        // 6 body fields and 40 records of 8, each an element too; a resumed
        // walk steps again into the field it stopped in.
        {"an enciphered login of 40 records", login40, 1, once40, {366, 366}, whole, resume},
        {"the same in pieces of 64", login40, 1, once40, {366, 384}, {{64}}, resume},
        {"a plain packet of 3 fields", plainPacket(), 1, none, {3, 3}, whole, resume},
        {"200 records, 40 bytes first", login200, 1, none, {1806, 1896}, {{40, 9999}}, resume},
        {"every byte may end it, far on", flooded, 0, any, any, {{}, {4096}}, trial, 100000000},
    };
    for (const auto& row : rows) {
        for (const std::vector<std::size_t>& chunks : row.chunks) {
            SCOPED_TRACE(std::string(row.name) + ", chunks of " + (chunks.empty() ? "all" : std::to_string(chunks[0])));
            zrfuzz::SplitCost cost;
            ZrPacketMeter::Options options;
            options.endSearch = row.search;
            const auto* data = reinterpret_cast<const std::uint8_t*>(row.stream.data());
            const std::vector<zrfuzz::SplitPiece> pieces =
                zrfuzz::split(data, row.stream.size(), chunks, options, &cost, row.base);
            int packets = 0;
            for (const zrfuzz::SplitPiece& piece : pieces) {
                packets += piece.packet;
                if (piece.packet) {
                    EXPECT_EQ("", zrfuzz::checkMeasure(data + (piece.offset - row.base), piece.length));
                }
            }
            if (row.packets >= 0) {
                EXPECT_EQ(row.packets, packets);
            }
            const ZrMeterWork first = ZrPacketMeter(options).allowance();
            const std::uint64_t perByte = options.workPerByte * row.stream.size();
            EXPECT_LE(cost.work.deciphered, first.deciphered + perByte);
            EXPECT_LE(cost.work.fields, first.fields + perByte);
            EXPECT_GE(cost.work.deciphered, row.deciphered.least);
            EXPECT_LE(cost.work.deciphered, row.deciphered.most);
            EXPECT_GE(cost.work.fields, row.fields.least);
            EXPECT_LE(cost.work.fields, row.fields.most);
            EXPECT_LE(cost.mostHeld, options.maxPacketLength);
        }
    }
}

}  // namespace

// The wire rules' verdicts, and the byte stream: golden bytes of every wire
// type in both modes, the room rules, sticky failure, and reads that must
// stay inside their room.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_byte_stream.h"
#include "zr_wire_rules.h"

using zrtest::hex;
using zrtest::unhex;

namespace {

enum Mode : bool { kFixed = false, kCompact = true };

ZrLCByteStream writer(std::vector<char>& buffer, bool compact) {
    ZrLCByteStream stream(buffer.data(), static_cast<std::uint32_t>(buffer.size()), true);
    stream.setCompact(compact);
    return stream;
}

ZrLCByteStream reader(const std::vector<char>& bytes, bool compact) {
    ZrLCByteStream stream;
    stream.attachForReading(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream.setSerializing(false);
    stream.setCompact(compact);
    return stream;
}

struct GoldenCase {
    const char* name;
    bool compact;
    std::function<void(ZrLCByteStream&)> write;
    const char* bytes;
};

// Each row writes one value; the bytes must match exactly.
const std::vector<GoldenCase>& goldenCases() {
    static const std::vector<GoldenCase> cases = {
        {"u8 0xAB", kCompact,
         [](ZrLCByteStream& s) {
             unsigned char v = 0xAB;
             s.transfer(v);
         },
         "AB"},
        {"u16 fixed", kFixed,
         [](ZrLCByteStream& s) {
             unsigned short v = 0x0102;
             s.transfer(v);
         },
         "01 02"},
        {"u16 compact", kCompact,
         [](ZrLCByteStream& s) {
             unsigned short v = 0x0102;
             s.transfer(v);
         },
         "01 02"},
        {"u32 fixed", kFixed,
         [](ZrLCByteStream& s) {
             unsigned int v = 0x01020304;
             s.transfer(v);
         },
         "01 02 03 04"},
        {"u32 0", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 0;
             s.transfer(v);
         },
         "00"},
        {"u32 127", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 127;
             s.transfer(v);
         },
         "7F"},
        {"u32 128", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 128;
             s.transfer(v);
         },
         "80 01"},
        {"u32 300", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 300;
             s.transfer(v);
         },
         "AC 02"},
        {"u32 2^14", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 1u << 14;
             s.transfer(v);
         },
         "80 80 01"},
        {"u32 2^28-1", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = (1u << 28) - 1;
             s.transfer(v);
         },
         "FF FF FF 7F"},
        {"u32 max", kCompact,
         [](ZrLCByteStream& s) {
             unsigned int v = 0xFFFFFFFF;
             s.transfer(v);
         },
         "FF FF FF FF 0F"},
        {"i32 -1 compact", kCompact,
         [](ZrLCByteStream& s) {
             int v = -1;
             s.transfer(v);
         },
         "FF FF FF FF 0F"},
        {"i32 -1 fixed", kFixed,
         [](ZrLCByteStream& s) {
             int v = -1;
             s.transfer(v);
         },
         "FF FF FF FF"},
        {"u64 fixed", kFixed,
         [](ZrLCByteStream& s) {
             std::uint64_t v = 0x0102030405060708ull;
             s.transfer(v);
         },
         "01 02 03 04 05 06 07 08"},
        {"u64 compact", kCompact,
         [](ZrLCByteStream& s) {
             std::uint64_t v = 0x0102030405060708ull;
             s.transfer(v);
         },
         "01 02 03 04 05 06 07 08"},
        {"i64 -1", kCompact,
         [](ZrLCByteStream& s) {
             std::int64_t v = -1;
             s.transfer(v);
         },
         "FF FF FF FF FF FF FF FF"},
        {"string compact", kCompact,
         [](ZrLCByteStream& s) {
             std::string v = "abc";
             s.transfer(v);
         },
         "03 61 62 63"},
        {"string fixed", kFixed,
         [](ZrLCByteStream& s) {
             std::string v = "abc";
             s.transfer(v);
         },
         "00 00 00 03 61 62 63"},
        {"empty string compact", kCompact,
         [](ZrLCByteStream& s) {
             std::string v;
             s.transfer(v);
         },
         "00"},
        {"empty string fixed", kFixed,
         [](ZrLCByteStream& s) {
             std::string v;
             s.transfer(v);
         },
         "00 00 00 00"},
        {"string with NUL", kCompact,
         [](ZrLCByteStream& s) {
             std::string v("a\0b", 3);
             s.transfer(v);
         },
         "03 61 00 62"},
        {"putByte", kCompact, [](ZrLCByteStream& s) { s.putByte(0x03); }, "03"},
        {"chain", kCompact,
         [](ZrLCByteStream& s) {
             unsigned char a = 1;
             int b = 300;
             std::string c = "x";
             s.transfer(a).transfer(b).transfer(c);
         },
         "01 AC 02 01 78"},
    };
    return cases;
}

TEST(ByteStream, WritesGoldenBytes) {
    for (const GoldenCase& c : goldenCases()) {
        SCOPED_TRACE(c.name);
        std::vector<char> buffer(64);
        ZrLCByteStream stream = writer(buffer, c.compact);
        c.write(stream);
        ASSERT_TRUE(stream.good());
        EXPECT_EQ(hex(buffer.data(), stream.usedLength()), c.bytes);
    }
}

// Reading the golden bytes back with the same operation consumes them all and
// reproduces them when written again.
TEST(ByteStream, ReadsGoldenBytesBack) {
    struct ReadCase {
        const char* bytes;
        bool compact;
        std::function<std::string(ZrLCByteStream&)> read;  // returns what was read, written again as hex
    };
    auto u32 = [](bool compact) {
        return [compact](ZrLCByteStream& s) {
            unsigned int v = 12345;
            s.transfer(v);
            std::vector<char> out(8);
            ZrLCByteStream w = writer(out, compact);
            w.transfer(v);
            return hex(out.data(), w.usedLength());
        };
    };
    const std::vector<ReadCase> cases = {
        {"00", kCompact, u32(kCompact)},
        {"7F", kCompact, u32(kCompact)},
        {"80 01", kCompact, u32(kCompact)},
        {"AC 02", kCompact, u32(kCompact)},
        {"FF FF FF FF 0F", kCompact, u32(kCompact)},
        {"01 02 03 04", kFixed, u32(kFixed)},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::vector<char> bytes = unhex(c.bytes);
        ZrLCByteStream stream = reader(bytes, c.compact);
        EXPECT_EQ(c.read(stream), c.bytes);
        EXPECT_TRUE(stream.good());
        EXPECT_EQ(stream.readRoom(), 0u);
    }
}

TEST(ByteStream, ReadsSignedAndWideValues) {
    const std::vector<char> bytes = unhex("FF FF FF FF 0F 80 01 FF FF FF FF FF FF FF FE 00 02 61 00");
    ZrLCByteStream stream = reader(bytes, kCompact);
    int negative = 0;
    int small = 0;
    std::int64_t wide = 0;
    std::string empty = "stale";
    std::string withNul;
    stream.transfer(negative).transfer(small).transfer(wide).transfer(empty).transfer(withNul);
    ASSERT_TRUE(stream.good());
    EXPECT_EQ(negative, -1);
    EXPECT_EQ(small, 128);
    EXPECT_EQ(wide, -2);
    EXPECT_EQ(empty, "");
    EXPECT_EQ(withNul, std::string("a\0", 2));
}

TEST(ByteStream, CompactWriterNeedsFiveBytesOfRoom) {
    std::vector<char> four(4, 'z');
    ZrLCByteStream tight = writer(four, kCompact);
    unsigned int one = 1;
    tight.transfer(one);
    EXPECT_FALSE(tight.good());
    EXPECT_EQ(tight.usedLength(), 0u);
    EXPECT_EQ(hex(four), "7A 7A 7A 7A");  // nothing written

    std::vector<char> five(5);
    ZrLCByteStream enough = writer(five, kCompact);
    enough.transfer(one);
    EXPECT_TRUE(enough.good());
    EXPECT_EQ(enough.usedLength(), 1u);
    EXPECT_EQ(enough.writeRoom(), 4u);

    // Fixed mode needs only the room of what it writes.
    ZrLCByteStream fixed = writer(four, kFixed);
    fixed.transfer(one);
    EXPECT_TRUE(fixed.good());
    EXPECT_EQ(hex(four), "00 00 00 01");
}

TEST(ByteStream, WriteFailureIsStickyUntilAttach) {
    std::vector<char> buffer(3, 0);
    ZrLCByteStream stream = writer(buffer, kFixed);
    unsigned int tooWide = 0x01020304;
    stream.transfer(tooWide);  // 4 bytes into 3: nothing written, not even a part
    EXPECT_FALSE(stream.good());
    stream.putByte(0x7E);  // would fit, but the stream has failed
    EXPECT_EQ(stream.usedLength(), 0u);
    EXPECT_EQ(hex(buffer), "00 00 00");

    stream.attach(buffer.data(), 3, true);
    EXPECT_TRUE(stream.good());
    stream.putByte(0x7E);
    EXPECT_EQ(hex(buffer), "7E 00 00");
}

TEST(ByteStream, ReadFailureIsStickyAndYieldsZero) {
    const std::vector<char> bytes = unhex("01 02 03");
    ZrLCByteStream stream = reader(bytes, kFixed);
    unsigned int wide = 99;
    stream.transfer(wide);
    EXPECT_FALSE(stream.good());
    EXPECT_EQ(wide, 0u);
    unsigned char narrow = 99;
    stream.transfer(narrow);  // one byte is there, but the stream has failed
    EXPECT_EQ(narrow, 0);
    EXPECT_EQ(stream.readRoom(), 3u);  // a failed read consumes nothing
}

TEST(ByteStream, UsedLengthCountsBytesSinceAttach) {
    std::vector<char> buffer(100);
    ZrLCByteStream stream = writer(buffer, kFixed);
    for (unsigned char i = 0; i < 5; ++i) stream.putByte(i);
    EXPECT_EQ(stream.usedLength(), 5u);
    stream.attach(buffer.data(), 100, true);
    EXPECT_EQ(stream.usedLength(), 0u);
}

TEST(ByteStream, UnwritableStreamOnlyCounts) {
    const std::vector<char> bytes(2, 0x55);
    ZrLCByteStream stream;
    stream.attachForReading(bytes.data(), 2);
    stream.setCompact(true);
    unsigned int value = 1;    // counted at a varint's longest, 5 bytes
    std::string text = "abc";  // 5 + 3
    stream.transfer(value).transfer(text);
    EXPECT_EQ(stream.usedLength(), 13u);
    EXPECT_EQ(hex(bytes), "55 55");
}

TEST(ByteStream, CompactReaderStaysInsideItsRoom) {
    struct Case {
        const char* bytes;
        bool good;
        unsigned int value;
        std::uint32_t roomLeft;
    };
    const std::vector<Case> cases = {
        {"80 80", false, 0, 2},  // ends while the top bit is set
        {"FF", false, 0x7F, 1},  // keeps the bits gathered so far
        {"FF FF FF FF", false, 0x0FFFFFFF, 4},
        {"", false, 0, 0},
        {"80 80 80 80 80 01", true, 0, 0},  // over-long: extra groups are dropped
        {"FF FF FF FF FF 7F 05", true, 0xFFFFFFFF, 1},
        {"81 80 80 80 70", true, 1, 0},    // bits above 32 of the fifth group dropped
        {"AC 02 01 02 03", true, 300, 3},  // a two-byte value with more data behind it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::vector<char> bytes = unhex(c.bytes);
        ZrLCByteStream stream = reader(bytes, kCompact);
        unsigned int value = 12345;
        stream.transfer(value);
        EXPECT_EQ(stream.good(), c.good);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(stream.readRoom(), c.roomLeft);
    }
}

TEST(ByteStream, StringReadChecksItsLength) {
    struct Case {
        const char* bytes;
        bool compact;
        bool good;
        const char* value;
        std::uint32_t roomLeft;  // a refused length stops the stream after it
    };
    const std::vector<Case> cases = {
        {"03 61 62 63", kCompact, true, "abc", 0},
        {"04 61 62 63", kCompact, false, "", 3},        // claims one byte more than is left
        {"FF FF FF FF 0F 61", kCompact, false, "", 1},  // negative as a signed length
        {"80 80 80 80 08 61", kCompact, false, "", 1},  // 2^31
        {"00 00 00 03 61 62 63", kFixed, true, "abc", 0},
        {"00 00 00 04 61 62 63", kFixed, false, "", 3},
        {"00 00 00", kFixed, false, "", 3},  // the length itself is cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::vector<char> bytes = unhex(c.bytes);
        ZrLCByteStream stream = reader(bytes, c.compact);
        std::string value = "old";
        stream.transfer(value);
        EXPECT_EQ(stream.good(), c.good);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(stream.readRoom(), c.roomLeft);
    }
}

// Each rule's verdict on one form: what it reads, or why not, and the bytes
// a short form needs. Every whole form cut at every shorter length is short
// by a need past the cut and within the form, with the cursor unmoved.
TEST(WireRules, VerdictOfEachForm) {
    enum Rule { kNumber, kString, kText, kCount };
    struct Case {
        Rule rule;
        bool compact;
        const char* bytes;
        ZrWireFault fault;
        std::uint32_t prefix;
        std::uint64_t value;   // the number, length or count read; see ZrWireVerdict
        std::size_t consumed;  // read whole: the form's length
    };
    const ZrWireFault ok = ZrWireFault::None;
    const std::vector<Case> cases = {
        {kNumber, kCompact, "AC 02", ok, 0, 300, 2},
        {kNumber, kCompact, "FF FF FF FF 0F", ok, 0, 0xFFFFFFFF, 5},
        {kNumber, kCompact, "80 80 80 80 80 80 01", ok, 0, 0, 7},  // over-long: taken whole
        {kNumber, kCompact, "80 80", ZrWireFault::Number, 0, 2, 0},
        {kNumber, kFixed, "00 00 01 2C", ok, 0, 300, 4},
        {kNumber, kFixed, "00 00 01", ZrWireFault::Fixed, 0, 4, 0},
        {kString, kCompact, "02 61 62", ok, 0, 2, 3},
        {kString, kCompact, "00", ok, 0, 0, 1},
        {kString, kCompact, "03 61 62", ZrWireFault::Text, 1, 3, 0},
        {kString, kCompact, "80 80 80 80 08", ZrWireFault::TextClaim, 5, 0x80000000u, 0},
        {kString, kFixed, "00 00 00 02 61 62", ok, 0, 2, 6},
        {kText, kCompact, "03 61 62 63", ok, 0, 3, 4},  // char[4]
        {kText, kCompact, "04 61 62 63 64", ZrWireFault::TextTooLong, 1, 4, 0},
        {kText, kCompact, "FF FF FF FF 0F 61", ok, 0, 0, 5},  // negative: empty, nothing follows
        {kText, kFixed, "00 00 00 00", ok, 0, 0, 4},
        {kCount, kCompact, "E8 07", ok, 0, 1000, 2},
        {kCount, kCompact, "E9 07", ZrWireFault::Count, 2, 1001, 0},
        {kCount, kFixed, "00 00 03 E9", ZrWireFault::Count, 4, 1001, 0},
    };
    auto apply = [](const Case& c, const std::vector<char>& bytes, std::uint64_t& value) {
        const auto* start = reinterpret_cast<const unsigned char*>(bytes.data());
        const unsigned char* at = start;
        const unsigned char* end = start + bytes.size();
        const unsigned char* text = nullptr;
        std::uint32_t n = 0;
        ZrWireVerdict verdict;
        switch (c.rule) {
            case kNumber:
                verdict = zrReadNumber(at, end, c.compact, n);
                break;
            case kString:
                verdict = zrReadString(at, end, c.compact, text, n);
                break;
            case kText:
                verdict = zrReadText(at, end, c.compact, 4, text, n);
                break;
            case kCount:
                verdict = zrReadCount(at, end, c.compact, n);
                break;
        }
        value = verdict.ok() ? n : verdict.value;
        return std::make_pair(verdict, static_cast<std::size_t>(at - start));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::vector<char> bytes = unhex(c.bytes);
        std::uint64_t value = 0;
        const auto [verdict, consumed] = apply(c, bytes, value);
        EXPECT_EQ(verdict.fault, c.fault);
        EXPECT_EQ(verdict.prefix, c.prefix);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(consumed, c.consumed);
        if (c.fault != ok) continue;
        for (std::size_t cut = 0; cut < c.consumed; ++cut) {
            SCOPED_TRACE(cut);
            const std::vector<char> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            const auto [shortVerdict, moved] = apply(c, part, value);
            EXPECT_TRUE(shortVerdict.truncated());
            EXPECT_GT(shortVerdict.need(), cut);
            EXPECT_LE(shortVerdict.need(), c.consumed);
            EXPECT_EQ(moved, 0u);
        }
    }
}

// Every proper prefix of a run of fields fails without reading past it.
TEST(ByteStream, EveryTruncationFails) {
    const std::vector<char> full = unhex("AC 02 FF FF FF FF 0F 03 61 62 63 01 02 03 04 05 06 07 08");
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::vector<char> bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        ZrLCByteStream stream = reader(bytes, kCompact);
        unsigned int a = 0;
        int b = 0;
        std::string c;
        std::uint64_t d = 0;
        stream.transfer(a).transfer(b).transfer(c).transfer(d);
        EXPECT_FALSE(stream.good());
    }
}

// A short string whose length fits but whose text does not leaves the length
// byte written and the stream failed, as two separate writes would; when both
// fit they go together.
TEST(ByteStream, ShortStringWriteLeavesWhatItsTwoWritesWould) {
    struct Case {
        std::uint32_t room;
        bool good;
        const char* written;  // the buffer after the write, 'z' where untouched
    };
    const Case cases[] = {
        {4, false, "7A 7A 7A 7A"},
        {5, false, "0A 7A 7A 7A 7A"},
        {10, false, "0A 7A 7A 7A 7A 7A 7A 7A 7A 7A"},
        {11, true, "0A 61 62 63 64 65 66 67 68 69 6A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.room);
        std::vector<char> buffer(c.room, 'z');
        ZrLCByteStream stream = writer(buffer, kCompact);
        std::string text = "abcdefghij";
        stream.transfer(text);
        EXPECT_EQ(stream.good(), c.good);
        EXPECT_EQ(stream.usedLength(), c.good ? 11u : c.room >= 5 ? 1u : 0u);
        EXPECT_EQ(hex(buffer), c.written);
    }
}

}  // namespace

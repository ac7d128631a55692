// Containers on the wire: vectors, maps, records and char[N], with the
// receiving limit and the rule that a decoded container holds exactly what
// was sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_body_packet_impl.h"
#include "zr_byte_stream.h"
#include "zr_named_fields.h"

using zrtest::hex;
using zrtest::unhex;

// A record of the shape the packets use: numbers first, then its text.
struct TestRecord {
    unsigned int number;
    int signedNumber;
    char text[8];
};

template <class Fields>
void zrRecordFields(TestRecord& r, Fields&& field) {
    field("number", r.number)("signedNumber", r.signedNumber)("text", r.text);
}

// Numbers only: written with one room check when it fits at its longest.
struct NumbersRecord {
    unsigned int unit = 0;
    int money = 0;
    unsigned long long time = 0;
    unsigned char flag = 0;
    unsigned short port = 0;
};

template <class Fields>
void zrRecordFields(NumbersRecord& r, Fields&& field) {
    field("unit", r.unit)("money", r.money)("time", r.time)("flag", r.flag)("port", r.port);
}

namespace {

// A packet with a char[8] field of its own: the catalogue's texts sit in
// records, zeroed per element, which would hide a text left unterminated.
class TextPacket : public ZrBodyPacket<TextPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 9;  // plain
    static constexpr ZrEnvelopeStyle ENVELOPE{"TextPacket", ZrBodyMode::Compact};
    char m_text[8] = {};

private:
    friend class ZrCPacketHead;
    template <class Fields>
    static void fieldList(Fields&& field) {
        field("text", &TextPacket::m_text);
    }
};

template <class T>
std::string encode(T value, bool compact = true) {
    std::vector<char> buffer(64 * 1024);
    ZrLCByteStream stream(buffer.data(), static_cast<std::uint32_t>(buffer.size()), true);
    stream.setCompact(compact);
    stream.transfer(value);
    EXPECT_TRUE(stream.good());
    return hex(buffer.data(), stream.usedLength());
}

template <class T>
bool decode(const std::vector<char>& bytes, T& value, bool compact = true) {
    ZrLCByteStream stream;
    stream.attachForReading(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream.setSerializing(false);
    stream.setCompact(compact);
    stream.transfer(value);
    return stream.good();
}

TestRecord record(unsigned int n, int s, const char* text = "") {
    TestRecord r{};
    r.number = n;
    r.signedNumber = s;
    std::snprintf(r.text, sizeof r.text, "%s", text);
    return r;
}

TEST(Containers, GoldenBytes) {
    EXPECT_EQ(encode(std::vector<TestRecord>{record(1, 2), record(3, -1)}), "02 01 02 00 03 FF FF FF FF 0F 00");
    EXPECT_EQ(encode(std::vector<std::string>{"ab", "c"}), "02 02 61 62 01 63");
    EXPECT_EQ(encode(std::vector<std::string>{"ab"}, false), "00 00 00 01 00 00 00 02 61 62");
    EXPECT_EQ(encode(std::vector<std::string>{}), "00");
    // Entries go in ascending key order: 3 before 7.
    EXPECT_EQ(encode(std::map<int, TestRecord>{{7, record(7, 0, "x")}, {3, record(3, 0)}}),
              "02 03 03 00 00 07 07 00 01 78");
    EXPECT_EQ(encode(std::map<int, TestRecord>{{-1, record(0, 0)}}), "01 FF FF FF FF 0F 00 00 00");
}

TEST(Containers, RoundTripRecordsAndMaps) {
    const std::vector<TestRecord> records = {record(0, 0), record(127, -1, "seven77"), record(0xFFFFFFFF, 128, "a")};
    std::vector<TestRecord> back;
    ASSERT_TRUE(decode(unhex(encode(records)), back));
    ASSERT_EQ(back.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back[i].number, records[i].number);
        EXPECT_EQ(back[i].signedNumber, records[i].signedNumber);
        EXPECT_STREQ(back[i].text, records[i].text);
    }

    const std::map<int, TestRecord> table = {{-5, record(1, 1, "m")}, {9, record(2, 2)}};
    std::map<int, TestRecord> tableBack;
    ASSERT_TRUE(decode(unhex(encode(table)), tableBack));
    ASSERT_EQ(tableBack.size(), 2u);
    EXPECT_STREQ(tableBack.at(-5).text, "m");
    EXPECT_EQ(tableBack.at(9).number, 2u);
}

TEST(Containers, CountLimitIsOneThousand) {
    for (unsigned int count : {1000u, 1001u}) {
        SCOPED_TRACE(count);
        const std::vector<std::string> sent(count);
        std::vector<std::string> received = {"kept"};
        const bool ok = decode(unhex(encode(sent)), received);
        EXPECT_EQ(ok, count <= 1000);
        if (ok) {
            EXPECT_EQ(received.size(), count);
        } else {
            EXPECT_EQ(received, std::vector<std::string>{"kept"});  // a refused count changes nothing
        }
    }
    std::map<int, TestRecord> table = {{1, record(1, 1)}};
    EXPECT_FALSE(decode(unhex("E9 07"), table));  // 1001 entries announced
    EXPECT_EQ(table.size(), 1u);
}

// A receiver that reuses its packet object must not see stale elements.
TEST(Containers, DecodedContainerHoldsExactlyWhatWasSent) {
    std::vector<std::string> texts = {"old1", "old2", "old3"};
    ASSERT_TRUE(decode(unhex("00"), texts));
    EXPECT_TRUE(texts.empty());

    texts = {"old1", "old2", "old3"};
    ASSERT_TRUE(decode(unhex("01 01 61"), texts));
    EXPECT_EQ(texts, std::vector<std::string>{"a"});

    std::vector<TestRecord> records = {record(5, 5, "stale"), record(6, 6, "stale")};
    ASSERT_TRUE(decode(unhex("01 01 02 00"), records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].number, 1u);
    EXPECT_STREQ(records[0].text, "");
    for (char c : records[0].text) EXPECT_EQ(c, '\0');  // a fresh record, not the old bytes

    std::map<int, TestRecord> table = {{1, record(1, 1)}, {2, record(2, 2)}};
    ASSERT_TRUE(decode(unhex("01 02 09 00 00"), table));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(2).number, 9u);
    ASSERT_TRUE(decode(unhex("00"), table));
    EXPECT_TRUE(table.empty());
}

TEST(Containers, DuplicateMapKeyKeepsTheLaterValue) {
    std::map<int, TestRecord> table;
    ASSERT_TRUE(decode(unhex("02 04 01 00 00 04 02 00 00"), table));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(4).number, 2u);
}

TEST(Containers, FailedElementFailsTheContainer) {
    std::vector<std::string> texts;
    EXPECT_FALSE(decode(unhex("02 01 61 05 62"), texts));  // second text claims 5 bytes, has 1
    std::map<int, TestRecord> table;
    EXPECT_FALSE(decode(unhex("02 01 01 00 00 02"), table));
}

TEST(Containers, CharArrayWritesAtMostNMinusOne) {
    struct Holder {
        char text[20];
    };
    Holder h{};
    std::memset(h.text, 'x', sizeof h.text);  // no NUL anywhere: the last byte is never sent
    std::vector<char> buffer(64);
    ZrLCByteStream stream(buffer.data(), 64, true);
    stream.setCompact(true);
    stream.transfer(h.text);
    EXPECT_EQ(hex(buffer.data(), stream.usedLength()), "13 " + hex(std::string(19, 'x').data(), 19));

    char shortText[20] = "ab\0cd";  // stops at the first NUL
    stream.attach(buffer.data(), 64, true);
    stream.transfer(shortText);
    EXPECT_EQ(hex(buffer.data(), stream.usedLength()), "02 61 62");
}

TEST(Containers, CharArrayReadBounds) {
    struct Case {
        const char* bytes;
        bool good;
        const char* text;
        std::uint32_t roomLeft;
    };
    const std::string nineteen = hex(std::string(19, 'y').data(), 19);
    const std::string twenty = hex(std::string(20, 'y').data(), 20);
    const std::vector<Case> cases = {
        {"02 61 62", true, "ab", 0},
        {"00 61", true, "", 1},
        {"FF FF FF FF 0F 61", true, "", 1},  // negative: empty, nothing consumed
        {"05 61", false, "", 1},             // more than the data holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::vector<char> bytes = unhex(c.bytes);
        ZrLCByteStream stream;
        stream.attachForReading(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        stream.setSerializing(false);
        stream.setCompact(true);
        char text[20] = "previous";
        stream.transfer(text);
        EXPECT_EQ(stream.good(), c.good);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(stream.readRoom(), c.roomLeft);
    }

    // A shorter text read into a packet's char[8] keeps nothing of the last.
    TextPacket packet;
    for (const char* body : {"07 61 62 63 64 65 66 67", "02 78 79"}) {
        std::vector<char> wire = unhex(zrtest::headHex(TextPacket::DEFAULT_CMDID) + " 00 " + body + " 03");
        ASSERT_EQ(0, packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
    }
    EXPECT_STREQ("xy", packet.m_text);

    char text[20] = "previous";
    EXPECT_TRUE(decode(unhex("13 " + nineteen), text));
    EXPECT_EQ(std::string(text), std::string(19, 'y'));
    EXPECT_FALSE(decode(unhex("14 " + twenty), text));  // 20 characters do not fit a char[20]
    EXPECT_STREQ(text, "");
}

// A record goes out with one room check when its longest form fits; in
// every room, from none to more than enough, it leaves exactly what writing
// it field by field leaves: the same bytes, count and failure. Rows: a
// record of numbers, and one whose char[8] text is at its longest (in fixed
// mode its longest form is its exact size, so a short count would write
// past the room).
TEST(Containers, RecordWritesAsFieldByField) {
    NumbersRecord numbers;
    numbers.unit = 0xFFFFFFFF, numbers.money = -1, numbers.time = 0x0102030405060708u, numbers.flag = 0xFF,
    numbers.port = 0x1234;
    TestRecord fullText = record(0xFFFFFFFF, -1, "1234567");
    auto check = [](auto& r) {
        for (bool compact : {true, false}) {
            for (std::uint32_t room = 0; room <= 30; ++room) {
                SCOPED_TRACE(std::string(compact ? "compact" : "fixed") + ", room " + std::to_string(room));
                std::vector<char> once(room + 1), byField(room + 1);
                ZrLCByteStream a(once.data(), room, true), b(byField.data(), room, true);
                a.setCompact(compact), b.setCompact(compact);
                a.transfer(r);
                zrRecordFields(r, ZrWireFields(b));
                EXPECT_EQ(b.good(), a.good());
                ASSERT_EQ(b.usedLength(), a.usedLength());
                EXPECT_EQ(hex(byField.data(), b.usedLength()), hex(once.data(), a.usedLength()));
            }
        }
    };
    check(numbers);
    check(fullText);
}

}  // namespace

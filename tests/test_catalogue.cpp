// Every class of the catalogue, through its named fields: the rows match
// their classes, every field of every class round-trips on both envelope
// paths with every value set, exact-size buffers and cut packets are
// handled, and decoding by command or by a forced class reports failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_stream_splitter.h"

using zrtest::dumpBody;
using zrtest::dumpHead;
using zrtest::FieldDump;
using zrtest::FieldFiller;
using zrtest::Fill;

namespace {

constexpr unsigned int kPlainCmd = 9;   // a command whose body travels plain
constexpr unsigned int kCipherCmd = 5;  // a command whose body is enciphered

std::unique_ptr<ZrAnyPacket> filled(const ZrPacketClass& row, Fill fill, unsigned int cmdID) {
    std::unique_ptr<ZrAnyPacket> p = row.create();
    FieldFiller filler(fill);
    p->visitFields(filler);
    ZrCPacketHead& h = p->head();
    h.setCmdID(cmdID);
    h.setVersion(0x0102);
    h.setSubcmdID(3);
    h.setUserID(0xFFFFFFFF);
    h.setSN(5);
    h.setContext1(6), h.setContext2(7), h.setContext3(0x80000000), h.setContext4(9);
    return p;
}

// getPacketLength() of a new or decoded packet: the head's 33, but the
// keep-alive is always 34.
unsigned int fresh(const ZrPacketClass& row) { return row.mode == ZrBodyMode::None ? 34u : 33u; }

std::vector<char> encode(ZrAnyPacket& p) {
    std::vector<char> wire(256 * 1024);
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size()))) << p.head().getLastErrMsg();
    wire.resize(p.getPacketLength());
    return wire;
}

// Parameterised by the catalogue's own rows (by address, since a row's
// identity is part of what is tested).
std::vector<const ZrPacketClass*> rows() {
    std::vector<const ZrPacketClass*> out;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) out.push_back(&row);
    return out;
}

class EveryClass : public ::testing::TestWithParam<const ZrPacketClass*> {
protected:
    static const ZrPacketClass& GetParam() { return *TestWithParam::GetParam(); }
};

std::string rowName(const ::testing::TestParamInfo<const ZrPacketClass*>& info) { return info.param->className; }

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryClass, ::testing::ValuesIn(rows()), rowName);

TEST_P(EveryClass, RowMatchesItsClass) {
    const ZrPacketClass& row = GetParam();
    std::unique_ptr<ZrAnyPacket> p = row.create();
    EXPECT_EQ(row.cmdID, p->head().getCmdID());
    EXPECT_EQ(&row, &p->packetClass());
    EXPECT_EQ(row.enciphered, p->head().isNeedEncrypt());
    EXPECT_EQ(&row, ZrCatalogue::find(row.cmdID));
    EXPECT_EQ(&row, ZrCatalogue::find(std::string(row.className)));
    EXPECT_EQ(fresh(row), p->getPacketLength());
    const ZrPacketClass copy = row;  // a packet made from a copy still reports the catalogue's own row
    EXPECT_EQ(&row, &copy.create()->packetClass());
    if (&row != &ZrCatalogue::classes().front()) {  // rows in ascending command order
        EXPECT_LT((&row - 1)->cmdID, row.cmdID);
        // No command between this row's and the one before finds a class,
        // nor any past the last row's.
        for (unsigned int gap : {(&row - 1)->cmdID + 1, row.cmdID - 1}) {
            if (gap != row.cmdID && gap != (&row - 1)->cmdID) {
                EXPECT_EQ(nullptr, ZrCatalogue::find(gap)) << gap;
            }
        }
    } else {
        EXPECT_EQ(nullptr, ZrCatalogue::find(0u));
    }
    if (&row == &ZrCatalogue::classes().back()) {
        for (unsigned int past : {row.cmdID + 1, 4095u, 4096u, 0xFFFFFFFFu})
            EXPECT_EQ(nullptr, ZrCatalogue::find(past));
    }
}

TEST_P(EveryClass, FieldNamesAreNonEmptyAndUniqueInTheirScope) {
    zrtest::FieldNames names;
    GetParam().create()->visitFields(names);
    for (const std::string& n : names.names) EXPECT_FALSE(n.empty());
    EXPECT_TRUE(names.repeated.empty()) << names.repeated.front();
    EXPECT_EQ(GetParam().mode == ZrBodyMode::None, names.names.empty());
}

TEST_P(EveryClass, RoundTripsEveryFieldPlainAndEnciphered) {
    const ZrPacketClass& row = GetParam();
    for (unsigned int cmd : {kPlainCmd, kCipherCmd, row.cmdID}) {
        for (Fill fill : zrtest::kAllFills) {
            SCOPED_TRACE(std::string(zrtest::fillName(fill)) + ", cmd " + std::to_string(cmd));
            std::unique_ptr<ZrAnyPacket> out = filled(row, fill, cmd);
            std::vector<char> wire = encode(*out);
            EXPECT_EQ(ZrCPacketHead::isEncipheredCommand(cmd), wire[16] != 0);
            std::string error;
            std::unique_ptr<ZrAnyPacket> in =
                ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &row);
            ASSERT_TRUE(in) << error;
            EXPECT_EQ(dumpBody(*out), dumpBody(*in));
            EXPECT_EQ(dumpHead(out->head()), dumpHead(in->head()));
            EXPECT_EQ(fresh(row), in->getPacketLength());
        }
    }
}

// Decoding fills every field afresh: nothing of what the object held before
// survives, lists and maps included.
TEST_P(EveryClass, DecodingReplacesWhatTheObjectHeld) {
    const ZrPacketClass& row = GetParam();
    for (auto [sent, held] : {std::pair{Fill::Boundary, Fill::Extremes}, std::pair{Fill::Zero, Fill::Large},
                              std::pair{Fill::Extremes, Fill::Boundary}}) {
        SCOPED_TRACE(std::string(zrtest::fillName(sent)) + " over " + zrtest::fillName(held));
        std::unique_ptr<ZrAnyPacket> out = filled(row, sent, kPlainCmd);
        std::vector<char> wire = encode(*out);
        std::unique_ptr<ZrAnyPacket> in = filled(row, held, kCipherCmd);
        ASSERT_EQ(0, in->deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        EXPECT_EQ(dumpBody(*out), dumpBody(*in));
    }
}

TEST_P(EveryClass, DecodesThroughTheCatalogueByItsDefaultCommand) {
    const ZrPacketClass& row = GetParam();
    std::unique_ptr<ZrAnyPacket> out = filled(row, Fill::Boundary, row.cmdID);
    std::vector<char> wire = encode(*out);
    std::string error;
    std::unique_ptr<ZrAnyPacket> in = ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error);
    ASSERT_TRUE(in) << error;
    EXPECT_EQ(&row, &in->packetClass());
    EXPECT_EQ(dumpBody(*out), dumpBody(*in));
}

// Exact-size heap buffers of every length around the packet's own, so that
// any write past the buffer is caught by the sanitizer build. Below its
// length a packet never fits; from four bytes over it always does (the
// compact writer's five-byte rule), with the same bytes.
TEST_P(EveryClass, EncodesIntoBuffersOfEveryLength) {
    const ZrPacketClass& row = GetParam();
    if (row.mode == ZrBodyMode::None) GTEST_SKIP() << "a buffer below its 34 bytes is a contract breach";
    for (unsigned int cmd : {kPlainCmd, kCipherCmd}) {
        for (Fill fill : {Fill::Boundary, Fill::Extremes}) {  // Extremes: every char[N] text at its longest
            std::unique_ptr<ZrAnyPacket> p = filled(row, fill, cmd);
            const std::vector<char> reference = encode(*p);
            const auto length = static_cast<unsigned int>(reference.size());
            for (unsigned int room = PKT_HEAD_FIXED_LEN; room <= length + 5; ++room) {
                SCOPED_TRACE(std::string(zrtest::fillName(fill)) + ", cmd " + std::to_string(cmd) + ", room " +
                             std::to_string(room));
                std::unique_ptr<char[]> exact(new char[room]);
                const int result = p->enCode(exact.get(), room);
                if (room < length) {
                    EXPECT_EQ(-1, result);
                    EXPECT_LE(p->getPacketLength(), room);
                } else if (room >= length + 4) {
                    EXPECT_EQ(0, result);
                }
                if (result == 0) {
                    ASSERT_EQ(length, p->getPacketLength());
                    if (cmd == kPlainCmd) {
                        EXPECT_EQ(zrtest::hex(reference), zrtest::hex(exact.get(), length));
                    }
                }
            }
        }
    }
}

// Every cut of a packet, in an exact-size buffer: a plain packet needs every
// byte up to its end byte; an enciphered one must at least not crash.
TEST_P(EveryClass, CutPacketsFail) {
    const ZrPacketClass& row = GetParam();
    for (unsigned int cmd : {kPlainCmd, kCipherCmd}) {
        std::unique_ptr<ZrAnyPacket> out = filled(row, Fill::Boundary, cmd);
        const std::vector<char> wire = encode(*out);
        std::unique_ptr<ZrAnyPacket> in = row.create();
        for (std::size_t length = 0; length < wire.size(); ++length) {
            std::unique_ptr<char[]> cut(new char[length + (length == 0)]);
            std::memcpy(cut.get(), wire.data(), length);
            const int result = in->deCode(cut.get(), static_cast<unsigned int>(length));
            if (wire[16] == 0) {
                EXPECT_EQ(-1, result) << "cmd " << cmd << ", length " << length;
            }
        }
        std::vector<char> whole = wire;
        EXPECT_EQ(0, in->deCode(whole.data(), static_cast<unsigned int>(whole.size())));  // still usable
    }
}

// Measured without an object, a packet is exactly its length, whatever
// follows it; every cut of it is incomplete, and the bytes it still claims
// never exceed what it has.
TEST_P(EveryClass, MeasuresItsPacketExactly) {
    const ZrPacketClass& row = GetParam();
    ZrPacketMeter meter;
    for (unsigned int cmd : {kPlainCmd, kCipherCmd, row.cmdID}) {
        for (Fill fill : zrtest::kAllFills) {
            SCOPED_TRACE(std::string(zrtest::fillName(fill)) + ", cmd " + std::to_string(cmd));
            std::unique_ptr<ZrAnyPacket> out = filled(row, fill, cmd);
            std::vector<char> wire = encode(*out);
            const ZrPacketClass* byCommand = ZrCatalogue::find(cmd);
            ZrPacketMeter::Options options;
            options.forcedClass = &row;
            ZrPacketMeter forced(options);
            for (const std::string& after : {std::string(), std::string("\x02\x03\x03", 3), std::string(40, '\x03')}) {
                std::vector<char> bytes = wire;
                bytes.insert(bytes.end(), after.begin(), after.end());
                const ZrFrame frame = forced.measure(bytes.data(), bytes.size());
                ASSERT_TRUE(frame.complete()) << frame.why();
                EXPECT_EQ(wire.size(), frame.packetLength);
                EXPECT_EQ(&row, frame.packetClass);
                if (byCommand == &row) {
                    EXPECT_EQ(wire.size(), meter.measure(bytes.data(), bytes.size()).packetLength);
                }
            }
            ZrMeasureState search;
            for (std::size_t cut = 0; cut < wire.size(); ++cut) {
                const ZrFrame frame = forced.measure(wire.data(), cut, search);
                ASSERT_TRUE(frame.incomplete()) << "cut to " << cut << ": " << frame.why();
                ASSERT_GT(frame.needed, cut);
                ASSERT_LE(frame.needed, wire.size()) << "cut to " << cut;
            }
        }
    }
}

// Packets of every class decoded through one receiver: each class's object
// is made once and reused, and holds what its latest packet says.
TEST(Catalogue, ReceiverReusesOneObjectPerClass) {
    ZrPacketReceiver receiver;
    std::vector<const ZrAnyPacket*> objects;
    for (Fill fill : {Fill::Boundary, Fill::Large, Fill::Boundary, Fill::Zero}) {  // long texts, then short
        for (std::size_t i = 0; i < ZrCatalogue::classes().size(); ++i) {
            const ZrPacketClass& row = ZrCatalogue::classes()[i];
            std::unique_ptr<ZrAnyPacket> out = filled(row, fill, row.cmdID);
            std::vector<char> wire = encode(*out);
            std::string error;
            ZrAnyPacket* in = receiver.decode(wire.data(), static_cast<unsigned int>(wire.size()), error);
            ASSERT_TRUE(in) << row.className << ": " << error;
            EXPECT_EQ(&row, &in->packetClass());
            EXPECT_EQ(dumpBody(*out), dumpBody(*in));
            if (objects.size() <= i) objects.push_back(in);
            EXPECT_EQ(objects[i], in) << row.className;
        }
    }
    // A failure is this decode's own, not one the object met before.
    std::vector<char> wire = encode(*filled(*ZrCatalogue::find(3), Fill::Zero, 3));
    std::string error;
    // A row given by copy still finds the one object of its class.
    const ZrPacketClass copied = *ZrCatalogue::find(3);
    const ZrAnyPacket* first = receiver.decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &copied);
    EXPECT_TRUE(first != nullptr) << error;
    EXPECT_EQ(first, receiver.decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &copied));
    EXPECT_FALSE(receiver.decode(wire.data(), 36, error));
    EXPECT_NE(std::string::npos, error.find("body's fields cannot be read")) << error;
    wire.back() = 0x04;
    EXPECT_FALSE(receiver.decode(wire.data(), static_cast<unsigned int>(wire.size()), error));
    EXPECT_NE(std::string::npos, error.find("l_cETX != _ETX_")) << error;
    EXPECT_FALSE(receiver.decode(wire.data(), 36, error));
    EXPECT_NE(std::string::npos, error.find("body's fields cannot be read")) << error;
}

// Which classes are on ZrAllPacketTypes, and that each is compiled in the
// library under its own name with a command of its own, the library's build
// checks (ZR_LIBRARY_PACKET_CLASS, catalogue.cpp). Here, the members every
// class offered before it took them from a base, class by class: the two
// smallest have constructors of their own and no initliaze.
template <class P, class = void>
struct HasInitliaze : std::false_type {};
template <class P>
struct HasInitliaze<P, std::void_t<decltype(std::declval<P&>().initliaze())>> : std::true_type {};

template <class P>
constexpr bool offersItsMembers() {
    constexpr bool common =
        !std::is_same<P, ZrCkeepAlivePacket>::value && !std::is_same<P, ZrCServerIdentifyPacket>::value;
    return std::is_default_constructible<P>::value && std::is_copy_constructible<P>::value &&
           std::is_copy_assignable<P>::value &&
           std::is_same<decltype(std::declval<P&>().enCode(std::declval<char*>(), 0u)), int>::value &&
           std::is_same<decltype(std::declval<P&>().deCode(std::declval<char*>(), 0u)), int>::value &&
           std::is_same<decltype(std::declval<P&>().getPacketLength()), unsigned int>::value &&
           HasInitliaze<P>::value == common &&
           std::is_constructible<P, unsigned char, unsigned char, unsigned int, unsigned char, unsigned int,
                                 unsigned int, unsigned char>::value == common;
}
template <class... Packets>
constexpr bool everyClassOffersItsMembers(ZrPacketTypes<Packets...>) {
    return (offersItsMembers<Packets>() && ...);
}
static_assert(everyClassOffersItsMembers(ZrAllPacketTypes()), "a class lost a member of its own");

// A packet is copied, never moved: a move leaves its source as it was.
template <class... Packets>
void movesCopy(ZrPacketTypes<Packets...>) {
    auto fields = [](auto& packet) {
        FieldDump body;
        packet.visitFields(body);
        return dumpHead(packet) + body.str();
    };
    // On the heap: 35 packets of up to 60 KB each in one test's frame are
    // more stack than a checker such as valgrind accepts.
    auto check = [&](auto* type) {
        using Packet = std::remove_pointer_t<decltype(type)>;
        auto source = std::make_unique<Packet>();
        FieldFiller filler(Fill::Boundary, 2);
        source->visitFields(filler);
        source->setSN(7);
        const std::string before = fields(*source);
        auto moved = std::make_unique<Packet>(std::move(*source));
        auto assigned = std::make_unique<Packet>();
        *assigned = std::move(*moved);
        EXPECT_EQ(before, fields(*source)) << Packet::ENVELOPE.className;
        EXPECT_EQ(before, fields(*moved));
        EXPECT_EQ(before, fields(*assigned));
    };
    (check(static_cast<Packets*>(nullptr)), ...);
}
TEST(Catalogue, EveryClassCopiesWhereItIsMoved) { movesCopy(ZrAllPacketTypes()); }

TEST(Catalogue, DecodeFailuresSayWhy) {
    std::unique_ptr<ZrAnyPacket> sender = ZrCatalogue::find(3)->create();
    std::vector<char> wire = encode(*sender);
    auto decodeWith = [](std::vector<char> bytes, const ZrPacketClass* forced = nullptr) {
        std::string error;
        EXPECT_FALSE(ZrCatalogue::decode(bytes.data(), static_cast<unsigned int>(bytes.size()), error, forced));
        return error;
    };
    struct Row {
        const char* name;
        std::vector<char> bytes;
        const ZrPacketClass* forced;
        std::string error;
    };
    std::unique_ptr<ZrAnyPacket> http = ZrCatalogue::find(9)->create();
    const std::vector<char> httpWire = encode(*http);  // five empty fields: 00 00 00 00 00
    std::vector<char> unknown = wire, badEnd = wire, badBody = wire, badStart = wire;
    ZrCPacketHead::fastSetCmdID(unknown.data(), 33, 77);
    badEnd.back() = 0x04;
    badBody.resize(36);
    badStart[0] = 'X';
    sender->head().setCmdID(5);  // enciphered: its empty body's three bytes cut to two, then the ETX
    std::vector<char> cutCipher = encode(*sender);
    cutCipher.resize(37);
    cutCipher[36] = 0x03;
    const Row rows[] = {
        {"unknown command", unknown, nullptr, "no packet class has the command 77"},
        {"short", std::vector<char>(wire.begin(), wire.begin() + 20), nullptr,
         "[ZrCPacketHead::deCode], nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = 20"},
        {"start byte", badStart, nullptr, "[ZrCPacketHead::deCode], Check _STX_ failed, STX  =  X"},
        {"end byte", badEnd, nullptr, "[ZrAuthSockMsgPacket::deCode],l_cETX != _ETX_ (found 0x04 at offset 37)"},
        {"body", badBody, nullptr,
         "ZrAuthSockMsgPacket: the body's fields cannot be read: body.ErrorDesc: number from offset 36: the body "
         "ends there"},
        {"enciphered body", cutCipher, ZrCatalogue::find(3),
         "ZrAuthSockMsgPacket: the body's fields cannot be read: body.ErrorDesc: number from offset 2: the body "
         "ends there (offsets in the deciphered body)"},
        {"forced class reads the body as its own", httpWire, ZrCatalogue::find(3),
         "[ZrAuthSockMsgPacket::deCode],l_cETX != _ETX_ (found 0x00 at offset 37)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.error, decodeWith(row.bytes, row.forced));
    }
}

// --- field runs against field by field ------------------------------------------------

// A packet whose streams take runs (one room check for a body written at
// its longest, a local cursor for a body read) or not, and what a caller can
// see of it.
template <class Packet>
class RunsOf : public Packet {
public:
    explicit RunsOf(bool runs) {
        this->m_mainStream.setRuns(runs);
        this->m_bodyStream.setRuns(runs);
    }
    // The streams, the length to send and the error text; with `fields`,
    // the head and body too.
    std::string seen(bool fields) {
        auto stream = [](const ZrLCByteStream& s) {
            return std::to_string(s.readGood()) + std::to_string(s.writeGood()) + " r" + std::to_string(s.readRoom()) +
                   " w" + std::to_string(s.writeRoom());
        };
        std::string text = stream(this->m_mainStream) + " / " + stream(this->m_bodyStream) + " / " +
                           std::to_string(this->getPacketLength()) + " / " + this->getLastErrMsg();
        if (fields) {
            FieldDump body;
            this->visitFields(body);
            text += " / " + dumpHead(*this) + body.str();
        }
        return text;
    }
};

// Encodes into an exact-size buffer of `room` bytes; the result, then the
// bytes and what the packet shows.
template <class Packet>
std::string encodeSeen(RunsOf<Packet>& p, unsigned int room, unsigned int seed) {
    std::unique_ptr<char[]> buffer(new char[room + (room == 0)]);
    std::memset(buffer.get(), 0xAB, room);
    std::srand(seed);  // the same cipher variant both ways
    const int result = p.enCode(buffer.get(), room);
    return std::to_string(result) + " " + std::string(buffer.get(), room) + " " + p.seen(false);
}
template <class Packet>
std::string decodeSeen(RunsOf<Packet>& p, const std::vector<char>& bytes) {
    std::unique_ptr<char[]> buffer(new char[bytes.size() + bytes.empty()]);
    std::copy(bytes.begin(), bytes.end(), buffer.get());
    const int result = p.deCode(buffer.get(), static_cast<unsigned int>(bytes.size()));
    return std::to_string(result) + " " + p.seen(true);
}

// Both ways at every room from 0 to the packet's length + 5, for encoding
// and for decoding (cut, and with each byte changed): the same bytes, result,
// failure point and stream state.
template <class Packet>
void runsMatchFieldByField() {
    if (Packet::ENVELOPE.mode == ZrBodyMode::None) return;  // no body, no runs
    SCOPED_TRACE(Packet::ENVELOPE.className);
    for (unsigned int cmd : {kPlainCmd, kCipherCmd}) {
        for (Fill fill : {Fill::Boundary, Fill::Extremes}) {
            SCOPED_TRACE(std::string(zrtest::fillName(fill)) + ", cmd " + std::to_string(cmd));
            RunsOf<Packet> withRuns(true), fieldByField(false);
            for (RunsOf<Packet>* p : {&withRuns, &fieldByField}) {
                FieldFiller filler(fill);
                p->visitFields(filler);
                p->setCmdID(cmd);
            }
            std::vector<char> wire(1 << 16), again(1 << 16);
            std::srand(1);
            ASSERT_EQ(0, withRuns.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
            std::srand(1);
            ASSERT_EQ(0, fieldByField.enCode(again.data(), static_cast<unsigned int>(again.size())));
            ASSERT_EQ(wire, again);
            wire.resize(withRuns.getPacketLength());
            const auto length = static_cast<unsigned int>(wire.size());
            for (unsigned int room = 0; room <= length + 5; ++room) {
                ASSERT_EQ(encodeSeen(fieldByField, room, room), encodeSeen(withRuns, room, room)) << "room " << room;
            }
            std::vector<std::vector<char>> inputs;
            for (unsigned int cut = 0; cut <= length + 5; ++cut) {
                std::vector<char> bytes = wire;
                bytes.resize(cut, '\x03');
                inputs.push_back(bytes);
            }
            for (std::size_t at = PKT_OFFSET_KEY; at < wire.size(); ++at) {
                for (char value : {'\x00', '\x80'}) {
                    std::vector<char> bytes = wire;
                    bytes[at] = value;
                    inputs.push_back(bytes);
                }
            }
            for (const std::vector<char>& bytes : inputs) {
                FieldFiller held(Fill::Large);  // what the objects held before
                withRuns.visitFields(held);
                FieldFiller heldToo(Fill::Large);
                fieldByField.visitFields(heldToo);
                ASSERT_EQ(decodeSeen(fieldByField, bytes), decodeSeen(withRuns, bytes)) << zrtest::hex(bytes);
            }
        }
    }
}

template <class... Packets>
void runsMatchFieldByField(ZrPacketTypes<Packets...>) {
    (runsMatchFieldByField<Packets>(), ...);
}

TEST(Catalogue, RunsMatchFieldByFieldAtEveryRoom) { runsMatchFieldByField(ZrAllPacketTypes()); }

}  // namespace

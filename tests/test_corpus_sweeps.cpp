// Every golden packet made hostile: cut at every shorter length, each byte
// set to 00, FF and its value plus and minus one, each head field patched
// through the raw accessors. Every decode, by the file's class and through
// the catalogue by command, comes back cleanly (exact-size buffers, so the
// sanitizer builds catch any byte touched outside them): 0 or -1; a packet
// that decodes re-encodes to the same fields; after a failure the same
// object decodes the original packet again to the same fields.
// Then the whole corpus as one stream, split in chunks of every size and
// damaged at every byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "field_tools.h"
#include "packet_checks.h"
#include "test_util.h"
#include "zr_encrypt.h"
#include "zr_session_packets.h"

using zrtest::CorpusFile;

namespace {

class Sweep {
public:
    explicit Sweep(const CorpusFile& file) : m_file(file), m_packet(file.row->create()), m_original(original()) {}

    // The result of decoding `bytes`, made from the file's as `what` says.
    int check(const std::vector<char>& bytes, const std::string& what) {
        const auto length = static_cast<unsigned int>(bytes.size());
        std::unique_ptr<char[]> exact(new char[length]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        const int result = m_packet->deCode(exact.get(), length);
        if (result == 0) {
            EXPECT_EQ("", zrfuzz::checkReencodes(*m_packet)) << what;
        } else {
            EXPECT_EQ(-1, result) << what;
            EXPECT_EQ(m_original, original()) << what << ", then the original";
        }
        std::string error;
        const bool byCommand = ZrCatalogue::decode(exact.get(), length, error) != nullptr;
        EXPECT_TRUE(byCommand || !error.empty()) << what << ", by command: a failure without a reason";
        return result;
    }
    std::string body() { return zrtest::dumpBody(*m_packet); }

private:
    std::string original() {
        std::vector<char> copy = m_file.bytes;
        const int result = m_packet->deCode(copy.data(), static_cast<unsigned int>(copy.size()));
        return result != 0 ? m_packet->head().getLastErrMsg() : zrtest::dumpHead(m_packet->head()) + body();
    }

    const CorpusFile& m_file;
    std::unique_ptr<ZrAnyPacket> m_packet;
    const std::string m_original;
};

class SweptPacket : public ::testing::TestWithParam<CorpusFile> {
protected:
    void SetUp() override { ASSERT_NE(nullptr, GetParam().row) << "no class is named " << GetParam().className; }
};

INSTANTIATE_TEST_SUITE_P(Corpus, SweptPacket, ::testing::ValuesIn(zrtest::corpusFiles()), zrtest::fileTestName);

// A plain body needs every byte up to its ETX.
TEST_P(SweptPacket, CutAtEveryLength) {
    const std::vector<char>& bytes = GetParam().bytes;
    const bool plain = bytes[PKT_OFFSET_ENCRYPT_TYPE] == 0;
    Sweep sweep(GetParam());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::string what = "cut to " + std::to_string(length);
        const int result = sweep.check({bytes.begin(), bytes.begin() + length}, what);
        if (plain) {
            EXPECT_EQ(-1, result) << what;
        }
    }
}

// A changed STX or ETX always fails.
TEST_P(SweptPacket, EveryByteChanged) {
    const std::vector<char>& bytes = GetParam().bytes;
    Sweep sweep(GetParam());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto was = static_cast<unsigned char>(bytes[i]);
        for (const unsigned char value : {0x00, 0xFF, was + 1, was - 1}) {
            if (value == was) continue;
            std::vector<char> changed = bytes;
            changed[i] = static_cast<char>(value);
            const std::string what = "byte " + std::to_string(i) + " = " + zrtest::hex(&value, 1);
            const int result = sweep.check(changed, what);
            if (i == 0 || i + 1 == bytes.size()) {
                EXPECT_EQ(-1, result) << what;
            }
        }
    }
}

struct HeadField {
    const char* name;
    unsigned int (*get)(const char*, unsigned int);
    int (*set)(char*, unsigned int, unsigned int);
    unsigned int allOnes;
};

template <class T, T (*Get)(const char*, unsigned int), int (*Set)(char*, unsigned int, T)>
HeadField headField(const char* name) {
    return {name, [](const char* b, unsigned int n) -> unsigned int { return Get(b, n); },
            [](char* b, unsigned int n, unsigned int v) { return Set(b, n, static_cast<T>(v)); },
            std::numeric_limits<T>::max()};
}

using H = ZrCPacketHead;
const HeadField kHeadFields[] = {
    headField<unsigned short, &H::fastGetVersion, &H::fastSetVersion>("version"),
    headField<unsigned int, &H::fastGetCmdID, &H::fastSetCmdID>("cmdID"),
    headField<unsigned char, &H::fastGetSubcmdID, &H::fastSetSubcmdID>("subcmdID"),
    headField<unsigned int, &H::fastGetUserID, &H::fastSetUserID>("userID"),
    headField<unsigned int, &H::fastGetSN, &H::fastSetSN>("SN"),
    headField<unsigned char, &H::fastGetEncryptType, &H::fastSetEncryptType>("encryptType"),
    headField<unsigned int, &H::fastGetContext1, &H::fastSetContext1>("context1"),
    headField<unsigned int, &H::fastGetContext2, &H::fastSetContext2>("context2"),
    headField<unsigned int, &H::fastGetContext3, &H::fastSetContext3>("context3"),
    headField<unsigned int, &H::fastGetContext4, &H::fastSetContext4>("context4"),
};

// Each head field to 0, all ones and its value plus one. Only the encrypt
// type bears on the body: with any other field patched the packet decodes
// to the same body. An encrypt type beyond the codec's fails every body.
TEST_P(SweptPacket, EveryHeadFieldPatched) {
    const std::vector<char>& bytes = GetParam().bytes;
    const auto length = static_cast<unsigned int>(bytes.size());
    Sweep sweep(GetParam());
    const std::string body = sweep.body();
    for (const HeadField& field : kHeadFields) {
        for (const unsigned int value : {0u, field.allOnes, field.get(bytes.data(), length) + 1}) {
            std::vector<char> patched = bytes;
            ASSERT_EQ(0, field.set(patched.data(), length, value));
            const std::string what = std::string(field.name) + " = " + std::to_string(value & field.allOnes);
            const int result = sweep.check(patched, what);
            if (std::string(field.name) != "encryptType") {
                EXPECT_EQ(0, result) << what;
                EXPECT_EQ(body, sweep.body()) << what;
            } else if (value == field.allOnes && GetParam().row->mode != ZrBodyMode::None) {
                EXPECT_EQ(-1, result) << what;
            }
        }
    }
}

}  // namespace

// --- the corpus as one stream ------------------------------------------------------

// Every corpus packet under its class's own command (the boundary ones are
// sent under 1002, which names no class), one after another.
struct CorpusStream {
    std::vector<std::uint8_t> bytes;
    std::vector<zrfuzz::SplitPiece> packets;  // what splitting it must give
};

const CorpusStream& corpusStream() {
    static const CorpusStream stream = [] {
        CorpusStream s;
        for (const CorpusFile& file : zrtest::corpusFiles()) {
            std::vector<char> bytes = file.bytes;
            ZrCPacketHead::fastSetCmdID(bytes.data(), static_cast<unsigned int>(bytes.size()), file.row->cmdID);
            s.packets.push_back({true, s.bytes.size(), bytes.size(), file.className, false});
            s.bytes.insert(s.bytes.end(), bytes.begin(), bytes.end());
        }
        return s;
    }();
    return stream;
}

std::size_t longestPacket() {
    std::size_t longest = 0;
    for (const zrfuzz::SplitPiece& p : corpusStream().packets) longest = std::max(longest, p.length);
    return longest;
}

// In chunks of every size from one byte to the longest packet, and of
// random sizes, the stream gives exactly its packets, plain and enciphered.
TEST(CorpusStream, SplitsIntoItsPacketsInChunksOfAnySize) {
    const CorpusStream& stream = corpusStream();
    std::vector<std::vector<std::size_t>> chunkings;
    for (std::size_t size = 1; size <= longestPacket(); ++size) chunkings.push_back({size});
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::size_t> sizes;
        for (std::size_t fed = 0; fed < stream.bytes.size(); fed += sizes.back()) sizes.push_back(1 + rng() % 300);
        chunkings.push_back(sizes);
    }
    for (const std::vector<std::size_t>& chunks : chunkings) {
        const std::vector<zrfuzz::SplitPiece> pieces = zrfuzz::split(stream.bytes.data(), stream.bytes.size(), chunks);
        ASSERT_EQ(stream.packets, pieces) << "first chunk " << chunks.front() << " bytes";
        for (const zrfuzz::SplitPiece& p : pieces) ASSERT_FALSE(p.afterFinish) << p.offset;
    }
}

// One byte changed or removed, at every position of the stream: the packet
// it hits is lost (or comes out changed), the others come out whole, and
// every byte lost is reported. Two things can cost more, and are counted:
// a damaged length or a damaged cipher whose end is taken at a later 0x03
// (the packet swallows what follows it: deCode accepts an enciphered body
// whose fields read whole before its end, so a damaged one may end at any
// later 0x03), and a damaged length that claims bytes the stream never
// sends (what follows waits until the stream ends or the limit is reached,
// then splitting resumes inside it). The limit here is that of a peer
// whose packets are no longer than the corpus's.
TEST(CorpusStream, ADamagedByteCostsThePacketItHits) {
    const CorpusStream& stream = corpusStream();
    ZrPacketMeter::Options options;
    options.maxPacketLength = 1024;
    ASSERT_LE(longestPacket(), options.maxPacketLength);
    std::size_t damaged = 0, swallowing = 0, waiting = 0;
    for (std::size_t at = 0; at < stream.bytes.size(); ++at) {
        for (const bool removed : {false, true}) {
            std::vector<std::uint8_t> bytes = stream.bytes;
            if (removed) {
                bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at));
            } else {
                bytes[at] ^= 0x5A;
            }
            const std::vector<zrfuzz::SplitPiece> pieces = zrfuzz::split(bytes.data(), bytes.size(), {}, options);
            // Where each undamaged packet must be found.
            bool swallowed = false, waited = false;
            std::size_t next = 0;
            for (const zrfuzz::SplitPiece& want : stream.packets) {
                if (want.offset <= at && at < want.offset + want.length) continue;  // the one hit
                const std::uint64_t offset = want.offset > at && removed ? want.offset - 1 : want.offset;
                while (next < pieces.size() && pieces[next].offset < offset) ++next;
                const bool whole = next < pieces.size() && pieces[next].packet && pieces[next].offset == offset &&
                                   pieces[next].length == want.length && pieces[next].what == want.what;
                if (!whole) swallowed = true;
                if (whole && pieces[next].afterFinish) waited = true;
            }
            std::uint64_t covered = 0;
            for (const zrfuzz::SplitPiece& p : pieces) {
                ASSERT_EQ(covered, p.offset) << "byte " << at << (removed ? " removed" : " changed");
                covered += p.length;
            }
            ASSERT_EQ(bytes.size(), covered);
            ++damaged;
            swallowing += swallowed;
            waiting += waited;
        }
    }
    std::cout << damaged << " damaged streams: " << swallowing << " lost a packet besides the one hit, " << waiting
              << " held packets after the one hit until the stream ended\n";
    EXPECT_LE(swallowing * 40, damaged);  // under 1 in 40
}

// --- the meter agrees with deCode --------------------------------------------------

namespace {

// A packet from a head and a plain body: enciphered in `type` when it is
// not 0, the key byte the codec's.
std::vector<char> envelope(const std::vector<char>& head, const std::string& body, unsigned char type) {
    std::vector<char> wire(head.begin(), head.begin() + PKT_HEAD_FIXED_LEN);
    wire[PKT_OFFSET_ENCRYPT_TYPE] = static_cast<char>(type);
    std::vector<char> cipher(PKT_SCRATCH_HALF_LEN);
    unsigned int cipherLen = static_cast<unsigned int>(body.size());
    unsigned char key = 0;
    if (type != 0) {
        EXPECT_EQ(0, ZRIEncrypt::encryptProtocolEx(body.data(), cipherLen, cipher.data(), cipherLen, key,
                                                   static_cast<char>(type)));
    } else {
        std::copy(body.begin(), body.end(), cipher.begin());
    }
    wire.push_back(static_cast<char>(key));
    wire.insert(wire.end(), cipher.begin(), cipher.begin() + cipherLen);
    wire.push_back('\x03');
    return wire;
}

// A billing message whose AccountName of `n` bytes is enciphered as 0x03
// bytes: the cipher is chosen and deciphered, the bytes that carry lengths
// and numbers found one at a time (the codec deciphers prefixes, so each
// cipher byte is settled before the next).
std::vector<char> floodedBillMsg(std::size_t n) {
    ZrBillMsgPacket p;
    p.setAccountName(std::string(n, 'A'));
    p.setCmdID(1002);  // plain, so the body can be read off the wire
    std::vector<char> wire(n + 256);
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    const std::string body(wire.data() + PKT_OFFSET_BODY, p.getPacketLength() - PKT_ENVELOPE_MIN_LEN);
    const std::size_t text = body.find(std::string(n, 'A'));
    const unsigned char key = 0x5C, type = 1;
    std::vector<char> cipher(body.size(), '\x03'), plain(PKT_SCRATCH_HALF_LEN);
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (i >= text && i < text + n) continue;  // the text's bytes may be anything
        for (int c = 0; c < 256; ++c) {
            cipher[i] = static_cast<char>(c);
            unsigned int plainLen = 0;
            ZRIEncrypt::decryptProtocolEx(cipher.data(), static_cast<unsigned int>(i + 1), plain.data(), plainLen, key,
                                          static_cast<char>(type));
            if (plain[i] == body[i]) break;
        }
    }
    std::vector<char> out(wire.begin(), wire.begin() + PKT_HEAD_FIXED_LEN);
    ZrCPacketHead::fastSetCmdID(out.data(), PKT_HEAD_FIXED_LEN, ZrBillMsgPacket::DEFAULT_CMDID);
    out[PKT_OFFSET_ENCRYPT_TYPE] = static_cast<char>(type);
    out.push_back(static_cast<char>(key));
    out.insert(out.end(), cipher.begin(), cipher.end());
    out.push_back('\x03');
    return out;
}

}  // namespace

// The meter's length is that of the shortest prefix deCode accepts, and it
// refuses or waits exactly when deCode accepts no prefix: every corpus
// packet under its own command, followed by nothing, by 0x03 bytes and by
// another packet's start; each enciphered one again with bytes after its
// body's fields; a cipher that is nearly all 0x03; keep-alives of every
// encryptType; a class without a field list.
TEST(CorpusStream, MeterAgreesWithDeCode) {
    struct Row {
        std::string name;
        std::vector<char> bytes;
        bool refused = false;  // no prefix of it is a packet, whatever the two say
    };
    std::vector<Row> rows;
    for (const CorpusFile& file : zrtest::corpusFiles()) {
        std::vector<char> bytes = file.bytes;
        ZrCPacketHead::fastSetCmdID(bytes.data(), static_cast<unsigned int>(bytes.size()), file.row->cmdID);
        for (const std::string& after : {std::string(), std::string(40, '\x03'), std::string("\x02\x00\x03", 3)}) {
            rows.push_back({file.name + " + " + std::to_string(after.size()), bytes});
            rows.back().bytes.insert(rows.back().bytes.end(), after.begin(), after.end());
        }
        const unsigned char type = static_cast<unsigned char>(bytes[PKT_OFFSET_ENCRYPT_TYPE]);
        if (type != 0 && file.row->mode != ZrBodyMode::None) {
            std::string plain;
            std::vector<char> body(PKT_SCRATCH_HALF_LEN);
            unsigned int bodyLen = 0;
            if (ZRIEncrypt::decryptProtocolEx(bytes.data() + PKT_OFFSET_BODY,
                                              static_cast<unsigned int>(bytes.size() - PKT_ENVELOPE_MIN_LEN),
                                              body.data(), bodyLen, static_cast<unsigned char>(bytes[PKT_OFFSET_KEY]),
                                              static_cast<char>(type)) == 0) {
                plain.assign(body.data(), bodyLen);
                rows.push_back({file.name + " with bytes after its fields", envelope(bytes, plain + "tail", type)});
                rows.push_back(
                    {file.name + " cut short of its fields", envelope(bytes, plain.substr(0, plain.size() / 2), type)});
            }
        }
    }
    rows.push_back({"a 4 200-byte AccountName enciphered as 0x03 bytes", floodedBillMsg(4200)});
    {  // a record's char[20] text of 20 bytes, which deCode refuses: one byte more than it holds
        ZrLoginMsgPacket login;
        NETPACCONTINFO record{};
        std::memset(record.szField1, 'a', sizeof record.szField1 - 1);
        login.setACCONTINFO({record});
        login.setCmdID(1002);
        std::vector<char> wire(512);
        EXPECT_EQ(0, login.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
        wire.resize(login.getPacketLength());
        const std::string text(sizeof record.szField1 - 1, 'a');
        const auto at = static_cast<std::size_t>(std::search(wire.begin(), wire.end(), text.begin(), text.end()) -
                                                 wire.begin());
        wire[at - 1] = static_cast<char>(sizeof record.szField1);  // the length, one more
        wire.insert(wire.begin() + static_cast<std::ptrdiff_t>(at), 'a');
        ZrCPacketHead::fastSetCmdID(wire.data(), PKT_HEAD_FIXED_LEN, ZrLoginMsgPacket::DEFAULT_CMDID);
        rows.push_back({"a char[20] text of 20 bytes", wire, true});
    }
    for (unsigned type : {0u, 1u, 8u, 9u, 255u}) {
        rows.push_back({"keep-alive, encryptType " + std::to_string(type),
                        zrtest::unhex(zrtest::headHex(1, static_cast<unsigned char>(type)) + " 03")});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ("", zrfuzz::checkMeasure(reinterpret_cast<const std::uint8_t*>(row.bytes.data()), row.bytes.size()));
        if (row.refused) {
            EXPECT_TRUE(ZrPacketMeter().measure(row.bytes.data(), row.bytes.size()).notAPacket());
        }
    }
    // The flooded message is framed, not refused for the work it takes.
    const std::vector<char> flooded = floodedBillMsg(4200);
    ZrPacketMeter meter;
    const ZrFrame frame = meter.measure(flooded.data(), flooded.size());
    EXPECT_TRUE(frame.complete()) << frame.why();
    EXPECT_LE(meter.work().deciphered, 2 * flooded.size());
    // A class without a field list is refused with a reason, not measured by a null call.
    ZrPacketClass bare = *ZrCatalogue::find(3u);
    bare.walkBody = nullptr;
    ZrPacketMeter::Options options;
    options.forcedClass = &bare;
    const std::vector<char> wire = zrtest::corpusFiles().front().bytes;
    EXPECT_NE(std::string::npos, ZrPacketMeter(options).measure(wire.data(), wire.size()).why().find("no field list"));
}

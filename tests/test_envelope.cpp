// The envelope shared by every body packet, exercised through the socket
// authentication packet: golden bytes, room rules, both paths, every
// failure with its text, and the length checks in front of the codec.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_encrypt.h"
#include "zr_session_packets.h"

using zrtest::headHex;
using zrtest::hex;
using zrtest::unhex;

namespace {

constexpr unsigned int kEnciphered = 5;  // a command whose body is enciphered

ZrAuthSockMsgPacket authPacket(unsigned int cmdID, const std::string& key, int flag, const std::string& desc) {
    ZrAuthSockMsgPacket packet(0, 1, cmdID, 0, 0, 0, 0);
    packet.setkey(key);
    packet.setResultFlag(flag);
    packet.setErrorDesc(desc);
    return packet;
}

std::vector<char> encode(ZrAuthSockMsgPacket& packet, unsigned int room = 70000) {
    std::vector<char> buffer(room);
    EXPECT_EQ(packet.enCode(buffer.data(), room), 0) << packet.getLastErrMsg();
    buffer.resize(packet.getPacketLength());
    return buffer;
}

TEST(Envelope, PlainGoldenPackets) {
    struct Case {
        const char* name;
        std::string key;
        int flag;
        std::string desc;
        const char* body;
    };
    const std::vector<Case> cases = {
        {"empty", "", 0, "", "00 00 00"},
        {"ok", "", 1, "ok", "00 01 02 6F 6B"},
        {"negative flag", "k", -1, "", "01 6B FF FF FF FF 0F 00"},
        {"NUL in text", std::string("a\0b", 3), 128, "", "03 61 00 62 80 01 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZrAuthSockMsgPacket packet;
        packet.setkey(c.key);
        packet.setResultFlag(c.flag);
        packet.setErrorDesc(c.desc);
        const std::vector<char> wire = encode(packet);
        EXPECT_EQ(hex(wire), headHex(3) + " 00 " + c.body + " 03");
        EXPECT_EQ(wire.size(), 35 + unhex(c.body).size());

        ZrAuthSockMsgPacket received;
        std::vector<char> copy = wire;
        ASSERT_EQ(received.deCode(copy.data(), static_cast<unsigned int>(copy.size())), 0);
        EXPECT_EQ(received.getkey(), c.key);
        EXPECT_EQ(received.getResultFlag(), c.flag);
        EXPECT_EQ(received.getErrorDesc(), c.desc);
        EXPECT_EQ(received.getPacketLength(), 33u);
    }
}

// The compact writer wants five free bytes before each integer or length.
TEST(Envelope, CompactRoomRule) {
    for (unsigned int room = 33; room <= 41; ++room) {
        SCOPED_TRACE(room);
        ZrAuthSockMsgPacket packet;
        std::vector<char> buffer(room);
        const int result = packet.enCode(buffer.data(), room);
        EXPECT_EQ(result, room >= 41 ? 0 : -1);
        if (room >= 41) {
            EXPECT_EQ(packet.getPacketLength(), 38u);
        }
        EXPECT_STREQ(packet.getLastErrMsg(), "");  // running out of room sets no text
    }
    // What a partial write left behind is reported, and a failed stream
    // writes nothing more, even where a later field would fit.
    const struct {
        const char* key;
        unsigned int room;
        unsigned int length;
    } partial[] = {
        {"", 39, 35},          // head, key byte and the first length; the result flag does not fit
        {"abcdefgh", 42, 35},  // the key's length fits, its text does not; the flag would, but is not written
    };
    for (const auto& row : partial) {
        SCOPED_TRACE(row.key);
        ZrAuthSockMsgPacket packet;
        packet.setkey(row.key);
        std::vector<char> buffer(row.room);
        ASSERT_EQ(packet.enCode(buffer.data(), row.room), -1);
        EXPECT_EQ(packet.getPacketLength(), row.length);
    }
}

TEST(Envelope, EncipheredRoundTrip) {
    for (const std::string& key : {std::string(), std::string("key"), std::string(5000, 'k')}) {
        SCOPED_TRACE(key.size());
        ZrAuthSockMsgPacket packet = authPacket(kEnciphered, key, -7, std::string("d\0e", 3));
        const std::vector<char> wire = encode(packet);
        const unsigned char type = static_cast<unsigned char>(wire[16]);
        EXPECT_GE(type, 1);
        EXPECT_LE(type, 8);
        EXPECT_EQ(wire.back(), 0x03);
        const std::size_t keyLengthBytes = key.size() < 128 ? 1 : 2;
        // The codec keeps the body's length: key, flag -7 (5 bytes), description.
        EXPECT_EQ(wire.size(), 35 + keyLengthBytes + key.size() + 5 + 1 + 3);

        ZrAuthSockMsgPacket received;
        std::vector<char> copy = wire;
        ASSERT_EQ(received.deCode(copy.data(), static_cast<unsigned int>(copy.size())), 0);
        EXPECT_EQ(received.getkey(), key);
        EXPECT_EQ(received.getResultFlag(), -7);
        EXPECT_EQ(received.getErrorDesc(), std::string("d\0e", 3));
        EXPECT_EQ(received.getEncryptType(), type);
    }
}

TEST(Envelope, TrailingBytes) {
    ZrAuthSockMsgPacket plain = authPacket(3, "k", 1, "x");
    std::vector<char> wire = encode(plain);
    wire.push_back(0x55);  // plain: bytes after the ETX are not the packet's
    ZrAuthSockMsgPacket received;
    EXPECT_EQ(received.deCode(wire.data(), static_cast<unsigned int>(wire.size())), 0);
    EXPECT_EQ(received.envelopeVerdict().at, wire.size() - 1);  // the packet's own length
    EXPECT_EQ(received.envelopeVerdict().trailing(), 0u);

    // Enciphered: the last byte of the buffer is taken as the ETX and the
    // codec is handed one byte more.
    ZrAuthSockMsgPacket enciphered = authPacket(kEnciphered, "k", 1, "x");
    std::vector<char> cipherWire = encode(enciphered);
    cipherWire.push_back(0x03);
    ASSERT_EQ(received.deCode(cipherWire.data(), static_cast<unsigned int>(cipherWire.size())), 0);
    EXPECT_EQ(received.getkey(), "k");
    EXPECT_EQ(received.envelopeVerdict().trailing(), 1u);  // the old ETX, deciphered after the fields
    cipherWire.back() = 0x55;
    EXPECT_EQ(received.deCode(cipherWire.data(), static_cast<unsigned int>(cipherWire.size())), -1);
    EXPECT_STREQ(received.getLastErrMsg(), "[ZrAuthSockMsgPacket::deCode],l_cETX != _ETX_");
}

TEST(Envelope, DecodeFailuresAndTheirTexts) {
    const char* const kEndByte = "[ZrAuthSockMsgPacket::deCode],l_cETX != _ETX_";
    const char* const kDecipher = "[ZrAuthSockMsgPacket deCode],decryptProtocol failed";
    ZrAuthSockMsgPacket plainSender = authPacket(3, "abc", 2, "");
    ZrAuthSockMsgPacket cipherSender = authPacket(kEnciphered, "abc", 2, "");
    const std::vector<char> plain = encode(plainSender);
    const std::vector<char> cipher = encode(cipherSender);

    struct Case {
        const char* name;
        std::vector<char> bytes;
        const char* text;  // null: -1 with the text left as it was
        ZrEnvelopeStep step;
        std::size_t at;  // where the verdict says the step failed
    };
    auto with = [](std::vector<char> bytes, std::size_t at, int value) {
        bytes[at] = static_cast<char>(value);
        return bytes;
    };
    auto cut = [](std::vector<char> bytes, std::size_t length) {
        bytes.resize(length);
        return bytes;
    };
    using Step = ZrEnvelopeStep;
    const std::vector<Case> cases = {
        {"plain end byte", with(plain, plain.size() - 1, 0x04), kEndByte, Step::EndByte, plain.size() - 1},
        {"plain, key longer than the body", with(plain, 34, 0x30), nullptr, Step::Body, 34},
        {"plain, no end byte", cut(plain, plain.size() - 1), kEndByte, Step::EndByte, plain.size() - 1},
        {"plain, key byte only", cut(plain, 34), nullptr, Step::Body, 34},
        {"plain, head only", cut(plain, 33), nullptr, Step::Body, 33},
        {"enciphered end byte", with(cipher, cipher.size() - 1, 0x00), kEndByte, Step::EndByte, cipher.size() - 1},
        {"encrypt type 9", with(cipher, 16, 9), kDecipher, Step::Decipher, 34},
        {"encrypt type 0x80", with(cipher, 16, 0x80), kDecipher, Step::Decipher, 34},
        {"encrypt type 0xFF", with(cipher, 16, 0xFF), kDecipher, Step::Decipher, 34},
        {"enciphered, 34 bytes", cut(cipher, 34), kEndByte, Step::TooShort, 34},
        {"enciphered, an empty cipher before a right end byte", with(cut(cipher, 35), 34, 0x03), nullptr, Step::Body,
         34},
        {"enciphered, head only", cut(cipher, 33), kEndByte, Step::TooShort, 33},
        {"no STX", with(plain, 0, 0x03), "[ZrCPacketHead::deCode], Check _STX_ failed, STX  =  \x03", Step::Head, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZrAuthSockMsgPacket received;
        std::vector<char> bytes = c.bytes;
        EXPECT_EQ(received.deCode(bytes.data(), static_cast<unsigned int>(bytes.size())), -1);
        EXPECT_STREQ(received.getLastErrMsg(), c.text ? c.text : "");
        EXPECT_EQ(received.envelopeVerdict().step, c.step);
        EXPECT_EQ(received.envelopeVerdict().at, c.at);
    }
}

// The one check before the codec sees a cipher, for every caller of it.
TEST(Envelope, CipherBounds) {
    const struct {
        int type;
        std::size_t length;
        ZrCipherFault fault;
    } rows[] = {
        {0, 10, ZrCipherFault::Variant},          {9, 10, ZrCipherFault::Variant},
        {-1, 10, ZrCipherFault::Variant},         {1, 0, ZrCipherFault::None},
        {8, PKT_SCRATCH_HALF_LEN, ZrCipherFault::None}, {3, PKT_SCRATCH_HALF_LEN + 1, ZrCipherFault::Length},
        {3, std::size_t{1} << 33, ZrCipherFault::Length},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + " " + std::to_string(row.length));
        EXPECT_EQ(ZRIEncrypt::decipherFault(static_cast<char>(row.type), row.length), row.fault);
    }
}

// A body too large for the scratch half is refused before the codec runs,
// on both sides, and nothing outside the buffers is touched.
TEST(Envelope, ScratchHalfLimit) {
    // The largest body that fits: the compact writer wants five free bytes
    // for the description's length, which then takes one. Key length (3
    // bytes at this size), key, flag, description length.
    const unsigned int largest = PKT_SCRATCH_HALF_LEN - 4;
    ZrAuthSockMsgPacket sender = authPacket(kEnciphered, std::string(largest - 5, 'x'), 0, "");
    std::vector<char> wire = encode(sender);
    EXPECT_EQ(wire.size(), 35u + largest);
    ZrAuthSockMsgPacket received;
    ASSERT_EQ(received.deCode(wire.data(), static_cast<unsigned int>(wire.size())), 0);
    EXPECT_EQ(received.getkey().size(), largest - 5u);

    std::vector<char> big(70000);
    sender.setkey(std::string(largest - 4, 'x'));
    EXPECT_EQ(sender.enCode(big.data(), 70000), -1);  // one byte more no longer fits

    // A received cipher one byte over the scratch half.
    std::vector<char> oversized(35 + PKT_SCRATCH_HALF_LEN + 1, 0x11);
    std::copy(wire.begin(), wire.begin() + 34, oversized.begin());
    oversized.back() = 0x03;
    EXPECT_EQ(received.deCode(oversized.data(), static_cast<unsigned int>(oversized.size())), -1);
    EXPECT_STREQ(received.getLastErrMsg(), "[ZrAuthSockMsgPacket deCode],decryptProtocol failed");

    // The plain path is limited only by the caller's buffer.
    ZrAuthSockMsgPacket plain = authPacket(3, std::string(2 * PKT_SCRATCH_HALF_LEN, 'p'), 0, "");
    const std::vector<char> large = encode(plain, 3 * PKT_SCRATCH_HALF_LEN);
    EXPECT_GT(large.size(), 2u * PKT_SCRATCH_HALF_LEN);
}

// With room for the codec's longest output after the key byte, the codec
// writes straight into the caller's buffer; with less, into the cipher
// half, copied out. The bytes are the same either way.
TEST(Envelope, EncipheredBytesDoNotDependOnTheRoom) {
    constexpr unsigned int kInPlaceRoom = PKT_OFFSET_BODY + PKT_SCRATCH_HALF_LEN;
    for (std::size_t keyLength : {std::size_t{0}, std::size_t{100}, std::size_t{30000}}) {
        SCOPED_TRACE(keyLength);
        ZrAuthSockMsgPacket sender = authPacket(kEnciphered, std::string(keyLength, 'k'), -1, "d");
        const auto length = static_cast<unsigned int>(encode(sender).size());
        std::vector<std::string> packets;
        for (unsigned int room : {length, kInPlaceRoom - 1, kInPlaceRoom, 70000u}) {
            std::unique_ptr<char[]> buffer(new char[room]);  // exact size: any overrun is caught
            std::srand(7);                                   // the same cipher variant every time
            ASSERT_EQ(sender.enCode(buffer.get(), room), 0) << "room " << room;
            packets.push_back(hex(buffer.get(), sender.getPacketLength()));
        }
        for (const std::string& packet : packets) EXPECT_EQ(packet, packets.front());
    }

    // A fixed-mode body of a whole cipher half: one byte short of the
    // in-place room it is refused after the codec ran into the cipher half;
    // at that room the codec fills the buffer in place and the ETX needs
    // one byte more.
    ZrBillServerIdentifyPacket full;
    full.setserver_name(std::string(PKT_SCRATCH_HALF_LEN - 20, 'n'));
    for (unsigned int room : {kInPlaceRoom - 1, kInPlaceRoom, kInPlaceRoom + 1}) {
        std::unique_ptr<char[]> buffer(new char[room]);
        EXPECT_EQ(full.enCode(buffer.get(), room), room <= kInPlaceRoom ? -1 : 0) << "room " << room;
    }
    EXPECT_EQ(full.getPacketLength(), kInPlaceRoom + 1);
}

TEST(Envelope, HeadFailuresPassThrough) {
    ZrAuthSockMsgPacket packet;
    std::vector<char> buffer(64);
    EXPECT_EQ(packet.enCode(buffer.data(), 20), -1);
    EXPECT_STREQ(packet.getLastErrMsg(), "[ZrCPacketHead::enCode], nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = 20");
    ASSERT_EQ(packet.enCode(buffer.data(), 64), 0);
    ASSERT_EQ(packet.getPacketLength(), 38u);
    buffer[0] = 'A';
    EXPECT_EQ(packet.deCode(buffer.data(), 64), -1);
    EXPECT_STREQ(packet.getLastErrMsg(), "[ZrCPacketHead::deCode], Check _STX_ failed, STX  =  A");
    EXPECT_EQ(packet.getPacketLength(), 33u);  // a failed decode leaves no stale length to send

    ASSERT_EQ(packet.enCode(buffer.data(), 64), 0);
    EXPECT_EQ(packet.deCode(buffer.data(), 32), -1);
    EXPECT_EQ(packet.getPacketLength(), 33u);
}

// The plain path sends the key byte the object holds: the one its last
// enCode or deCode left.
TEST(Envelope, PlainPathSendsTheKeyByteLastSeen) {
    ZrAuthSockMsgPacket cipherSender = authPacket(kEnciphered, "abc", 0, "");
    std::vector<char> cipher = encode(cipherSender);
    ZrAuthSockMsgPacket relay;
    ASSERT_EQ(relay.deCode(cipher.data(), static_cast<unsigned int>(cipher.size())), 0);
    relay.setCmdID(3);
    const std::vector<char> plain = encode(relay);
    EXPECT_EQ(plain[33], cipher[33]);
}

TEST(Envelope, EveryTruncationFails) {
    for (unsigned int cmd : {3u, kEnciphered}) {
        ZrAuthSockMsgPacket sender = authPacket(cmd, "key", 300, "description");
        const std::vector<char> wire = encode(sender);
        for (std::size_t length = 0; length < wire.size(); ++length) {
            SCOPED_TRACE(testing::Message() << "cmd " << cmd << " length " << length);
            // An exact-size copy, so a read past the cut is caught by the sanitizer build.
            std::vector<char> bytes(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(length));
            char none = 0;
            ZrAuthSockMsgPacket received;
            EXPECT_NE(received.deCode(length > 0 ? bytes.data() : &none, static_cast<unsigned int>(length)), 0);
        }
    }
}

}  // namespace

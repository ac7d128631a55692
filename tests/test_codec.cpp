// The stand-in codec and its wrapper: every variant gives the body back,
// output is never longer than input, and bad arguments are refused before
// anything is written. Built twice: against the stand-in, and against it
// without its optional calls (ZRPACKET_TWO_CALL_CODEC), as a codec with
// only netPackEncode and netPackDecode.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hostile_streams.h"
#include "zr_encrypt.h"
#include "zr_packet_head.h"
#include "zr_stream_splitter.h"
#include "zre_sec_io.h"

namespace {

std::vector<char> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> out(n);
    for (char& c : out) c = static_cast<char>(rng());
    return out;
}

TEST(Codec, EveryVariantRoundTrips) {
    for (int length : {0, 1, 2, 17, 255, 4096, ZRE_SEC_MAX_LEN}) {
        const std::vector<char> body = randomBytes(static_cast<std::size_t>(length), static_cast<unsigned>(length));
        for (unsigned char type = 1; type <= 8; ++type) {
            SCOPED_TRACE(testing::Message() << "length " << length << " type " << int{type});
            std::vector<char> cipher(static_cast<std::size_t>(length) + 1, 0x5A);
            unsigned char key = 0;
            int cipherLen = -1;
            ASSERT_TRUE(ZreSecIO::netPackEncode(key, body.data(), length, cipher.data(), cipherLen, type, nullptr));
            ASSERT_EQ(cipherLen, length);
            EXPECT_EQ(cipher.back(), 0x5A);  // nothing past the output
            std::vector<char> plain(static_cast<std::size_t>(length) + 1, 0x5A);
            int plainLen = -1;
            ASSERT_TRUE(ZreSecIO::netPackDecode(key, cipher.data(), cipherLen, plain.data(), plainLen, type, nullptr));
            ASSERT_EQ(plainLen, length);
            EXPECT_TRUE(std::equal(body.begin(), body.end(), plain.begin()));
        }
    }
}

TEST(Codec, VariantsDiffer) {
    const std::vector<char> body(32, 'a');
    std::set<std::vector<char>> outputs;
    for (unsigned char type = 1; type <= 8; ++type) {
        std::vector<char> cipher(32);
        unsigned char key = 0;
        int cipherLen = 0;
        ASSERT_TRUE(ZreSecIO::netPackEncode(key, body.data(), 32, cipher.data(), cipherLen, type, nullptr));
        EXPECT_NE(cipher, body);
        outputs.insert(cipher);
    }
    EXPECT_EQ(outputs.size(), 8u);
}

TEST(Codec, RefusesBadArguments) {
    std::vector<char> src(ZRE_SEC_MAX_LEN + 1, 1);
    std::vector<char> dest(8, 0x77);
    unsigned char key = 0;
    struct Case {
        const char* name;
        int length;
        unsigned char type;
    };
    for (const Case& c : {Case{"type 0", 4, 0}, Case{"type 9", 4, 9}, Case{"type 255", 4, 255},
                          Case{"negative length", -1, 1}, Case{"over the limit", ZRE_SEC_MAX_LEN + 1, 1}}) {
        SCOPED_TRACE(c.name);
        int destLen = 0;
        EXPECT_FALSE(ZreSecIO::netPackEncode(key, src.data(), c.length, dest.data(), destLen, c.type, nullptr));
        EXPECT_FALSE(ZreSecIO::netPackDecode(key, src.data(), c.length, dest.data(), destLen, c.type, nullptr));
        EXPECT_EQ(destLen, 0);
        EXPECT_EQ(dest, std::vector<char>(8, 0x77));
    }
}

TEST(EncryptWrapper, DecryptChecksTheTypeAsASignedByte) {
    const std::vector<char> src(4, 1);
    std::vector<char> dest(PKT_SCRATCH_HALF_LEN, 0);
    for (int type : {0, 9, 0x80, 0xFF}) {
        SCOPED_TRACE(type);
        unsigned int destLen = 0;
        EXPECT_EQ(ZRIEncrypt::decryptProtocolEx(src.data(), 4, dest.data(), destLen, 0, static_cast<char>(type)), -1);
    }
    unsigned int destLen = 0;
    EXPECT_EQ(ZRIEncrypt::decryptProtocolEx(src.data(), 4, dest.data(), destLen, 0, 8), 0);
    EXPECT_EQ(destLen, 4u);
}

TEST(EncryptWrapper, EncryptRoundTripsThroughDecrypt) {
    const std::vector<char> body = randomBytes(100, 7);
    std::vector<char> cipher(PKT_SCRATCH_HALF_LEN);
    std::vector<char> plain(PKT_SCRATCH_HALF_LEN);
    unsigned int cipherLen = 0;
    unsigned int plainLen = 0;
    unsigned char key = 0;
    ASSERT_EQ(ZRIEncrypt::encryptProtocolEx(body.data(), 100, cipher.data(), cipherLen, key, 3), 0);
    ASSERT_EQ(ZRIEncrypt::decryptProtocolEx(cipher.data(), cipherLen, plain.data(), plainLen, key, 3), 0);
    ASSERT_EQ(plainLen, 100u);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), plain.begin()));
    // A refusal is reported rather than passed off as a cipher.
    EXPECT_EQ(ZRIEncrypt::encryptProtocolEx(body.data(), 100, cipher.data(), cipherLen, key, 0), -1);
}

// Whatever the codec offers, a stream of every class, plain and enciphered,
// splits into its packets in pieces of every size: a codec that goes on
// from where it stopped deciphers each enciphered byte once; one with only
// the two calls deciphers prefixes, about once each.
TEST(EncryptWrapper, PacketsSplitWhateverTheCodecOffers) {
#ifdef ZRPACKET_TWO_CALL_CODEC
    const bool resumes = false;
#else
    const bool resumes = true;
#endif
    ASSERT_EQ(resumes, ZRIEncrypt::resumesDecipher());
    EXPECT_EQ(resumes ? ZrEndSearch::Resume : ZrEndSearch::Prefixes, ZrPacketMeter().endSearch());
    const zrtest::MixedStream mixed = zrtest::mixedStream(3);
    const std::string& stream = mixed.bytes;
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1460}, stream.size()}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        ZrStreamSplitter splitter;
        std::vector<std::size_t> found;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            splitter.feed(stream.data() + at, std::min(piece, stream.size() - at));
            for (ZrSplitItem item; splitter.next(item);) found.push_back(item.isPacket() ? item.offset : ~item.offset);
        }
        EXPECT_EQ(mixed.offsets, found);
        EXPECT_GE(splitter.meter().work().deciphered, mixed.cipherBytes);
        EXPECT_LE(splitter.meter().work().deciphered, resumes ? mixed.cipherBytes : mixed.cipherBytes * 11 / 10);
    }
}

TEST(EncryptWrapper, SingleInstance) {
    EXPECT_EQ(ZRIEncrypt::creaseInstanece(0), nullptr);
    ZRIEncrypt* first = ZRIEncrypt::creaseInstanece(3);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getEncryptType(), 3);
    EXPECT_EQ(ZRIEncrypt::creaseInstanece(5), first);
    EXPECT_EQ(first->getEncryptType(), 5);
    EXPECT_EQ(ZRIEncrypt::creaseInstanece(0), nullptr);  // even with an instance
    EXPECT_EQ(first->getEncryptType(), 5);

    ZRIEncrypt local(2);
    local = *first;
    EXPECT_EQ(local.getEncryptType(), 5);
}

}  // namespace

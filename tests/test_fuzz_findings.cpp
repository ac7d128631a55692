// Inputs replayed through the fuzz harness's property checks (layout and
// properties in fuzz/packet_checks.h), so that they hold in every build and
// not only in the clang one: whatever the harness finds becomes a row here,
// beside inputs that sit on the edges of its properties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet_checks.h"
#include "test_util.h"
#include "zr_encrypt.h"

namespace {

std::string bytes(const std::string& hexText) {
    const std::vector<char> b = zrtest::unhex(hexText);
    return std::string(b.begin(), b.end());
}

// Head with the command and encrypt type, then the rest.
std::string packet(unsigned int cmdID, unsigned char encryptType, const std::string& rest) {
    return bytes(zrtest::headHex(cmdID, encryptType)) + rest;
}

// A peer's enciphered portal packet whose plain body fills the scratch half
// to its last byte: one request of 30712 bytes, then four empty fields.
std::string fullScratchPortal() {
    const std::string plain = bytes("01 F8 EF 01") + std::string(30712, 'r') + bytes("00 00 00 00");
    std::string cipher(PKT_SCRATCH_HALF_LEN, '\0');
    unsigned int cipherLen = 0;
    unsigned char key = 0;
    EXPECT_EQ(0, ZRIEncrypt::encryptProtocolEx(plain.data(), static_cast<unsigned int>(plain.size()), cipher.data(),
                                               cipherLen, key, 1));
    cipher.resize(cipherLen);
    return packet(10, 1, std::string(1, static_cast<char>(key)) + cipher + bytes("03"));
}

// Damaged packets split at a limit of 120 bytes, enciphered ends found by
// deciphering prefixes: whole, an enciphered start's doubled prefix reached
// a field that claims more than the limit allows; a byte at a time, its
// prefixes stopped short of it, and it was refused for having no end.
const char* const kReasonByChunks =
    "02 01 02 00 00 03 f5 01 00 00 00 2a 00 00 00 07 05 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 "
    "04 ae d0 05 64 e9 cf 63 83 26 c7 46 c8 38 a8 33 cf c7 4d e4 1b 67 cc 73 a6 9c 7a 8f e3 e6 ee d5 "
    "68 24 b8 f7 33 ca 71 d7 71 75 9e 0e 1e 6f d5 7c 45 ea 86 8e 03 02 01 02 00 00 00 6d 01 00 00 00 "
    "2a 00 00 00 07 05 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 8a 8f a4 35 eb fe e0 1a 7d ec "
    "73 0c 03";

// A stream the harness found (split whole and in chunks, its verdicts
// differed): its last start's body, walked in pieces, asked for more bytes
// than the stream had left while a later field's length already claimed
// more than the limit.
const char* const kClaimBeforeItsBytes =
    "73 02 fe 01 00 00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 02 03 04 ff ff "
    "ff fe a5 16 4e 00 00 7f 00 00 00 80 01 02 03 04 ff ff ff fe a5 ff ff ff ff 0f 80 01 7f 16 4e 55 "
    "4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 03 80 80 80 80 08 ff ff ff ff 0f ff "
    "ff ff ff 0f 80 01 80 01 80 65 00 80 08 7f ff ff ff ff 07 80 80 80 80 08 ff ff ff ff 0f ff ff ff "
    "ff 0f 80 01 ff ff ff ff ff ff ff ff 0f ff fe 20 6e 6f 74 20 55 54 46 2d 38 20 00 80 80 01 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 16 4e "
    "55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 0f ff fe 20 6e 6f 74 20 55 54 46 "
    "2d 38 20 00 80 80 01 30 31 32 33 34 9c 93 03 02 01 02 00 00 03 f0 01 00 00 00 2a 00 00 00 07 06 "
    "00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 4a 3a d5 4d 20 05 b1 15 ae 39 31 e9 62 08 3e 7a "
    "58 bd 4c 2f 30 03 02 fe 01 00 00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 "
    "02 03 04 ff ff ff fe a5 ff ff ff ff ff ff ff ff 01 02 03 04 05 06 07 08 ff ff ff ff 0f 16 4e 55 "
    "4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 ff ff ff ff 0f 0f ff fe 20 6e 6f 74 "
    "20 55 54 46 2d 38 20 00 80 03 02 01 02 00 00 03 fd 01 00 00 00 2a 00 00 00 07 04 00 00 00 01 00 "
    "00 00 02 00 00 00 00 03 04 00 00 5a 00 f4 55 96 32 24 5b 8d 8d 36 f1 50 45 0d 7c 82 8f 8b ef 22 "
    "4a 2b 2b fa 03 02 fe 01 00 00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 02 "
    "03 04 ff ff ff fe a5 ff ff ff ff ff 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 "
    "64 65 66 ff ff 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 "
    "35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 "
    "35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 "
    "35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 00 00 00 7f 00 "
    "00 00 80 03 02 01 02 00 00 03 f1 01 00 00 00 2a 00 00 00 07 00 00 00 00 01 00 00 00 02 00 00 00 "
    "03 00 00 00 04 5a 00 00 00 01 00 00 00 02 00 00 00 02 73 33 00 00 00 02 73 34 00 00 00 02 73 35 "
    "00 00 00 02 73 36 00 00 00 00 00 00 00 07 00 00 00 02 73 38 00 00 00 02 73 39 00 00 00 03 73 31 "
    "30 40 00 00 03 73 31 31 00 00 00 0c 00 00 00 03 73 31 33 00 00 00 0e 00 00 00 0f 03 02 fe 01 00 "
    "00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 02 03 04 ff ff ff fe a5 ff ff "
    "ff ff 0f 80 01 7f 16 4e 55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 63 64 65 66 30 31 32 33 34 35 "
    "36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 "
    "36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 "
    "36 37 38 39 61 62 63 64 65 66 ff ff 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 "
    "65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 "
    "65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 "
    "65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 "
    "65 66 00 00 00 7f 00 00 00 80 03 02 01 02 00 00 03 f1 01 00 00 00 2a 00 00 00 07 00 00 00 00 01 "
    "00 00 00 02 00 00 00 03 00 00 00 04 5a 00 00 00 01 00 00 00 02 00 00 00 02 73 33 00 00 00 02 73 "
    "34 00 00 00 02 73 35 00 00 00 02 73 36 00 00 00 00 00 00 00 07 00 00 00 02 73 38 00 00 00 02 73 "
    "39 00 00 00 03 73 31 30 00 00 00 03 73 31 31 00 00 00 0c 00 00 00 03 73 31 33 00 00 00 0e 00 00 "
    "00 0f 03 02 fe 01 00 00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 02 03 04 "
    "ff ff ff fe a5 ff ff ff ff 0f 80 01 7f 16 4e 55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 "
    "20 e2 9c 93 03 80 80 80 80 08 ff ff ff ff 0f ff ff ff ff 0f 80 01 80 01 80 80 80 80 08 7f ff ff "
    "ff ff 07 80 80 80 80 08 ff ff ff ff 0f ff ff ff ff 0f 80 01 ff ff ff ff ff ff ff ff 0f ff fe 20 "
    "6e 6f 74 20 55 54 46 2d 38 20 00 80 80 01 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 62 61 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 "
    "32 33 34 35 36 37 38 39 61 62 63 64 65 66 16 4e 55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 "
    "65 20 e2 9c 93 0f ff fe 20 6e 6f 74 20 55 54 46 2d 38 20 00 80 80 01 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 80 80 80 80 08 16 4e 55 4c "
    "00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 03 02 01 02 00 00 03 f4 01 00 00 00 2a "
    "00 00 00 07 02 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 8e af bd 74 ee 61 40 72 55 5d 17 "
    "04 e9 fe 95 1d 62 d1 7b b6 35 ab 4d 88 96 14 5f df d6 6f d0 31 cd e0 8b ca 7e 93 71 b8 36 61 0f "
    "e8 3e 03 02 fe 01 00 00 03 ea 80 80 00 00 00 ff ff ff ff 00 00 00 00 7f 00 00 00 80 01 02 03 04 "
    "ff ff ff fe a5 ff ff ff ff 0f 80 01 7f 16 4e 55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 "
    "20 e2 9c 93 ff ff ff ff ff ff ff ff 80 80 80 80 08 ff ff ff ff 0f 0f ff fe 20 6e 6f 74 20 32 33 "
    "34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 43 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 "
    "39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 80 80 80 80 08 16 4e 55 4c "
    "00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 03 02 01 02 00 00 03 f4 01 00 00 00 2a "
    "00 00 00 07 02 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 8e af bd 74 ee 61 40 72 55 5d 17 "
    "04 e9 fe 95 1d 62 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 "
    "31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 "
    "31 32 33 34 35 36 17 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 "
    "31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 16 4e 55 4c 00 20 61 6e 64 20 c3 bc 6e 69 63 c3 b6 "
    "64 65 20 e2 9c 93 0f ff fe 20 6e 6f 74 20 55 54 46 2d 38 20 00 80 80 01 30 31 32 33 34 35 36 37 "
    "38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 c3 bc 6e "
    "69 63 c3 b6 64 65 20 e2 9c 93 03 02 01 02 00 00 03 f4 01 00 00 00 2a 00 00 00 07 02 00 00 00 01 "
    "00 00 00 02 00 00 00 03 00 00 00 04 8e af bd 74 ee 61 40 72 55 5d 17 04 e9 fe 95 1d 62 d1 7b b6 "
    "35 ab 4d 88 93 5a b1 96 14 5f df d6 6f d0 32 cd e0 8b ca bc 6e 69 63 c3 b6 64 65 20 e2 9c 93 0f "
    "ff fe 20 6e 6f 74 20 55 54 46 2d 38 20 00 80 80 01 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 "
    "66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 "
    "66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 "
    "66 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 30 31 32 33 34 35 36 37 ";

TEST(FuzzFindings, KeepEveryProperty) {
    // An authentication packet whose key length is a six-byte varint.
    const std::string overlongVarint = packet(3, 0, bytes("00 80 80 80 80 80 00 00 00 03"));
    const struct {
        const char* name;
        std::string input;
    } rows[] = {
        {"over-long varint, re-encoded short", overlongVarint},
        {"char[N] of negative length reads as empty",
         packet(4, 0, bytes("00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 FF FF FF FF 0F 00 00 00 00 00 03"))},
        {"hex text of a packet", "h" + zrtest::hex(overlongVarint.data(), overlongVarint.size()) + "\n"},
        {"enciphered body filling the scratch half, which the writer cannot reproduce", fullScratchPortal()},
        {"JSON of an enciphered body too large to encipher",
         R"({"class":"ZrLoginMsgPacket","body":{"AccountName":")" + std::string(PKT_SCRATCH_HALF_LEN, 'x') + "\"}}"},
        {"a stream: packets, bytes that are not, an enciphered packet filling the scratch half, a cut end",
         "s" + overlongVarint + "junk\x02\x03" + fullScratchPortal() + overlongVarint.substr(0, 40)},
        {"a stream of end bytes behind an enciphered head", "s" + packet(5, 3, std::string(4000, '\x03'))},
        {"a stream at a limit of 120, by prefixes, whose skipped run's reason depended on the chunks",
         "l" + bytes("01 00 55") + bytes(kReasonByChunks)},
        {"a stream whose last start is refused at a claim before the bytes its body needs could come",
         bytes(kClaimBeforeItsBytes)},
        {"JSON of a plain body larger than the first buffer",
         R"({"class":"ZrLoginMsgPacket","head":{"cmdID":9},"body":{"AccountName":")" + std::string(70000, 'x') +
             "\"}}"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto* data = reinterpret_cast<const std::uint8_t*>(row.input.data());
        EXPECT_EQ("", zrfuzz::checkInput(data, row.input.size()));
        if (row.input[0] == _STX_) {  // each packet here is one a receiver takes
            std::string error;
            EXPECT_TRUE(ZrCatalogue::decode(row.input.data(), static_cast<unsigned int>(row.input.size()), error))
                << error;
        }
    }
}

}  // namespace

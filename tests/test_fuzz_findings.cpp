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

// Small helpers shared by the tests: hex text to bytes and back.
#ifndef ZRPACKET_TESTS_TEST_UTIL_H
#define ZRPACKET_TESTS_TEST_UTIL_H

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "zr_encrypt.h"
#include "zr_packet_head.h"

namespace zrtest {

// "AC 02" style: upper-case bytes separated by single blanks.
inline std::string hex(const void* data, std::size_t length) {
    std::string out;
    const auto* p = static_cast<const unsigned char*>(data);
    char byte[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", p[i]);
        out += byte;
    }
    return out;
}
inline std::string hex(const std::vector<char>& bytes) { return hex(bytes.data(), bytes.size()); }

// Parses blank-separated hex bytes ("02 61 62").
inline std::vector<char> unhex(const std::string& text) {
    std::vector<char> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token) out.push_back(static_cast<char>(std::stoul(token, nullptr, 16)));
    return out;
}

// The 33 head bytes of a packet with the given command and encrypt type,
// every other field zero.
inline std::string headHex(unsigned int cmdID, unsigned char encryptType = 0) {
    std::vector<unsigned char> head(33, 0);
    head[0] = 0x02;
    head[3] = static_cast<unsigned char>(cmdID >> 24);
    head[4] = static_cast<unsigned char>(cmdID >> 16);
    head[5] = static_cast<unsigned char>(cmdID >> 8);
    head[6] = static_cast<unsigned char>(cmdID);
    head[16] = encryptType;
    return hex(head.data(), head.size());
}

// The plain body of an encoded packet (head, key byte, body, ETX), deciphered
// when its head says it is enciphered.
inline std::string bodyHex(const std::vector<char>& wire) {
    const char* body = wire.data() + PKT_OFFSET_BODY;
    const auto length = static_cast<unsigned int>(wire.size() - PKT_ENVELOPE_MIN_LEN);
    const auto encryptType = static_cast<unsigned char>(wire[PKT_OFFSET_ENCRYPT_TYPE]);
    if (encryptType == 0) return hex(body, length);
    std::vector<char> plain(PKT_SCRATCH_HALF_LEN);
    unsigned int plainLength = 0;
    if (ZRIEncrypt::decryptProtocolEx(body, length, plain.data(), plainLength,
                                      static_cast<unsigned char>(wire[PKT_OFFSET_KEY]),
                                      static_cast<char>(encryptType)) != 0) {
        return "(does not decipher)";
    }
    return hex(plain.data(), plainLength);
}

}  // namespace zrtest

#endif  // ZRPACKET_TESTS_TEST_UTIL_H

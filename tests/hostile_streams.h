// Streams that make a receiver work hard, for the splitter's work-bound
// tests and its benchmarks: enciphered heads before 0x03 floods, heads
// packed back to back, plain heads claiming the longest body, and the
// longest packets of each kind.
#ifndef ZRPACKET_TESTS_HOSTILE_STREAMS_H
#define ZRPACKET_TESTS_HOSTILE_STREAMS_H

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"
#include "zr_stream_splitter.h"

namespace zrtest {

inline std::string bytesOf(const std::string& hexText) {
    const std::vector<char> b = unhex(hexText);
    return std::string(b.begin(), b.end());
}

// 50 enciphered billing heads, then 4 000 bytes of 0x03 (5 750 bytes).
inline std::string headsBeforeEndBytes() {
    std::string s;
    for (int i = 0; i < 50; ++i) s += bytesOf(headHex(5, 1)) + "\x03";
    return s + std::string(4000, '\x03');
}

// A head of every enciphered command in every variant, each before 200 bytes of 0x03.
inline std::string everyEncipheredHead() {
    std::string s;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        if (!row.enciphered) continue;
        for (unsigned char type = 1; type <= 8; ++type)
            s += bytesOf(headHex(row.cmdID, type)) + std::string(200, '\x03');
    }
    return s;
}

// Enciphered heads back to back: each one's cipher is the heads after it.
inline std::string packedHeads() {
    std::string s;
    for (int i = 0; i < 400; ++i) {
        s += bytesOf(headHex(1003 + i % 11, static_cast<unsigned char>(1 + i % 8))) + "\x5A";
    }
    return s;
}

// Plain heads whose body claims nearly a megabyte that never comes.
inline std::string plainClaims() {
    std::string s;
    for (int i = 0; i < 20; ++i) s += bytesOf(headHex(3)) + bytesOf("00 F0 FF 03") + std::string(30, 'x');
    return s;
}

// A plain login packet of 1 000 records, about 15 KB, under its own command.
inline std::string longPlainPacket() {
    ZrLoginMsgPacket login;
    std::vector<NETPACCONTINFO> records(1000);
    for (NETPACCONTINFO& record : records) std::snprintf(record.szField1, sizeof record.szField1, "%s", "rec");
    login.setACCONTINFO(records);
    login.setCmdID(1002);
    std::string wire(256 * 1024, '\0');
    if (login.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    wire.resize(login.getPacketLength());
    ZrCPacketHead::fastSetCmdID(wire.data(), PKT_HEAD_FIXED_LEN, ZrLoginMsgPacket::DEFAULT_CMDID);  // sent plain
    return wire;
}

// The longest enciphered packet (30 755 bytes): a body that fills the
// scratch half, which deCode takes though enCode keeps spare room for its
// last numbers, so it is enciphered here.
inline std::string longestEncipheredPacket() {
    ZrBillMsgPacket packet;
    packet.setCmdID(1002);
    std::string wire(64 * 1024, '\0');
    for (std::size_t n = PKT_SCRATCH_HALF_LEN; packet.getPacketLength() != ZR_MAX_ENCIPHERED_PACKET_LEN; --n) {
        packet.setAccountName(std::string(n, 'L'));
        if (packet.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    }
    wire.resize(ZR_MAX_ENCIPHERED_PACKET_LEN);
    const std::string body = wire.substr(PKT_OFFSET_BODY, PKT_SCRATCH_HALF_LEN);
    unsigned int cipherLen = 0;
    unsigned char key = 0;
    if (ZRIEncrypt::encryptProtocolEx(body.data(), PKT_SCRATCH_HALF_LEN, &wire[PKT_OFFSET_BODY], cipherLen, key, 3) !=
        0) {
        std::abort();
    }
    wire[PKT_OFFSET_KEY] = static_cast<char>(key);
    wire[PKT_OFFSET_ENCRYPT_TYPE] = 3;
    ZrCPacketHead::fastSetCmdID(wire.data(), PKT_HEAD_FIXED_LEN, ZrBillMsgPacket::DEFAULT_CMDID);
    return wire;
}

inline std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

}  // namespace zrtest

#endif  // ZRPACKET_TESTS_HOSTILE_STREAMS_H

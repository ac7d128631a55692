// Streams that make a receiver work hard, for the splitter's work-bound
// tests and its benchmarks: enciphered heads before 0x03 floods, heads
// packed back to back, plain heads claiming the longest body, the longest
// packets of each kind; and an honest stream of every class to set them
// against.
#ifndef ZRPACKET_TESTS_HOSTILE_STREAMS_H
#define ZRPACKET_TESTS_HOSTILE_STREAMS_H

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "field_tools.h"
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

// A login packet of `records` records, enciphered or plain (under its own
// command either way).
inline std::string loginPacket(int records, bool enciphered) {
    ZrLoginMsgPacket login;
    std::vector<NETPACCONTINFO> list(static_cast<std::size_t>(records));
    for (int i = 0; i < records; ++i) {
        NETPACCONTINFO& r = list[static_cast<std::size_t>(i)];
        std::snprintf(r.szField1, sizeof r.szField1, "acct-%d", i);
        std::snprintf(r.szField4, sizeof r.szField4, "info %d", i);
        r.uField2 = 300 + static_cast<unsigned>(i);
        r.llField5 = -1;
    }
    login.setACCONTINFO(list);
    login.setAccountName("login");
    if (!enciphered) login.setCmdID(1002);
    std::string wire(256 * 1024, '\0');
    if (login.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    wire.resize(login.getPacketLength());
    ZrCPacketHead::fastSetCmdID(wire.data(), PKT_HEAD_FIXED_LEN, ZrLoginMsgPacket::DEFAULT_CMDID);
    return wire;
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

// The stream that stalled a relay: an enciphered head every 37 bytes (a
// class whose body starts with a text), each one's three cipher bytes
// deciphering to a text length that runs up to the farthest 0x03 it may end
// at, with a 0x03 every 15 355 bytes. Without a budget each start deciphers
// up to about 30 000 bytes before it is refused.
inline std::string craftedStall(std::size_t size = 142 * 1024) {
    constexpr std::size_t kEvery = 37, kEndEvery = 15355;
    const std::string head = bytesOf(headHex(9, 1));  // ZrHttpMsgPacket: its Request text first
    std::string s;
    for (std::size_t h = 0; h + kEvery <= size; h += kEvery) {
        const std::size_t farthest = (h + ZR_MAX_ENCIPHERED_PACKET_LEN - 1) / kEndEvery * kEndEvery;
        const std::size_t length = farthest - h - PKT_OFFSET_BODY - 3;
        std::string want;  // the length as a varint, then text
        for (std::size_t v = length; want.size() < 3; v >>= 7)
            want += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
        // A key and three cipher bytes, none of them 0x02 or 0x03, that decipher to it.
        for (unsigned key = 0; key < 256; ++key) {
            std::string packet = head + static_cast<char>(key);
            for (std::size_t i = 0; i < want.size(); ++i) {
                for (unsigned c = 0; c < 256 && packet.size() == PKT_OFFSET_BODY + i; ++c) {
                    if (c == _STX_ || c == _ETX_) continue;
                    const std::string cipher = packet.substr(PKT_OFFSET_BODY) + static_cast<char>(c);
                    char plain[4];
                    unsigned int plainLen = 0;
                    ZRIEncrypt::decryptProtocolEx(cipher.data(), static_cast<unsigned int>(cipher.size()), plain,
                                                  plainLen, static_cast<unsigned char>(key), 1);
                    if (plain[i] == want[i]) packet += static_cast<char>(c);
                }
            }
            if (key != _STX_ && key != _ETX_ && packet.size() == kEvery) {
                s += packet;
                break;
            }
        }
    }
    for (std::size_t at = kEndEvery; at < s.size(); at += kEndEvery) s[at] = _ETX_;
    return s;
}

// A valid enciphered ZrPortalMsgPacket of 2 x 1 000 short texts whose
// cipher has a 0x03 at every length byte, and nowhere else but its ETX:
// each may end the packet, so a reader that deciphered a held packet from
// its start at each one would do so 2 000 times. Needs a codec that
// deciphers in pieces (ZRIEncrypt::resumesDecipher()), to build it.
inline std::string craftedPortal() {
    const unsigned char key = 0x5C, type = 1;
    ZrDecipherRun run;
    if (ZRIEncrypt::decryptBeginEx(run, key, static_cast<char>(type)) != 0) std::abort();
    std::string cipher;
    std::mt19937 rng(29);
    // What the next cipher bytes would decipher to, and putting them.
    auto plainOf = [&](const std::string& next) {
        ZrDecipherRun trial = run;
        char plain[2];
        unsigned int n = 0;
        ZRIEncrypt::decryptOnEx(trial, next.data(), static_cast<unsigned int>(next.size()), plain, n);
        return static_cast<unsigned char>(plain[next.size() - 1]);
    };
    auto put = [&](unsigned char c) {
        const unsigned char plain = plainOf(std::string(1, static_cast<char>(c)));
        char ignored;
        unsigned int n = 0;
        ZRIEncrypt::decryptOnEx(run, reinterpret_cast<const char*>(&c), 1, &ignored, n);
        cipher += static_cast<char>(c);
        return plain;
    };
    auto isFree = [](unsigned c) { return c != _STX_ && c != _ETX_; };
    auto putPlain = [&](unsigned char want) {  // a byte whose plain is fixed
        for (unsigned c = 0; c < 256; ++c) {
            if (isFree(c) && plainOf(std::string(1, static_cast<char>(c))) == want)
                return void(put(static_cast<unsigned char>(c)));
        }
        std::abort();
    };
    for (int list = 0; list < 2; ++list) {
        putPlain(0xE8), putPlain(0x07);  // 1 000 texts
        for (int i = 0; i < 1000; ++i) {
            unsigned length = put(_ETX_);
            if (length >= 0x80) putPlain(0), length &= 0x7F;
            for (unsigned j = 0; j < length; ++j) {
                unsigned c = 0;
                do {
                    c = rng() & 0xFF;
                    // The last byte before the next length: one that makes it short.
                    if (j + 1 == length && i + 1 < 1000) {
                        const std::string two{static_cast<char>(c), static_cast<char>(_ETX_)};
                        if (isFree(c) && (plainOf(two) == 0 || plainOf(two) > 16)) c = _ETX_;
                    }
                } while (!isFree(c));
                put(static_cast<unsigned char>(c));
            }
        }
    }
    putPlain(0), putPlain(0), putPlain(0);  // StateCode, ResultFlag, an empty ErrorDesc
    std::string wire = bytesOf(headHex(ZrPortalMsgPacket::DEFAULT_CMDID, type));
    wire += static_cast<char>(key);
    return wire + cipher + static_cast<char>(_ETX_);
}

// Every class of the catalogue `rounds` times, with boundary values and
// three elements a list, each under its own command, so enciphered where
// the command says: its packets' offsets, and how many of its bytes are
// cipher.
struct MixedStream {
    std::string bytes;
    std::vector<std::size_t> offsets;
    std::size_t cipherBytes = 0;
};

inline MixedStream mixedStream(int rounds) {
    MixedStream s;
    for (int round = 0; round < rounds; ++round) {
        for (const ZrPacketClass& row : ZrCatalogue::classes()) {
            std::unique_ptr<ZrAnyPacket> packet = row.create();
            FieldFiller filler(Fill::Boundary, 3);
            packet->visitFields(filler);
            packet->head().setSN(static_cast<unsigned int>(round));
            std::string wire(64 * 1024, '\0');
            if (packet->enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
            wire.resize(packet->getPacketLength());
            if (wire[PKT_OFFSET_ENCRYPT_TYPE] != 0 && row.mode != ZrBodyMode::None) {
                s.cipherBytes += wire.size() - PKT_ENVELOPE_MIN_LEN;
            }
            s.offsets.push_back(s.bytes.size());
            s.bytes += wire;
        }
    }
    return s;
}

inline std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

}  // namespace zrtest

#endif  // ZRPACKET_TESTS_HOSTILE_STREAMS_H

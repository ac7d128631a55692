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

// A login packet of `records` records, enciphered or plain, under its own
// command either way.
inline std::string loginPacket(std::size_t records, bool enciphered) {
    ZrLoginMsgPacket login;
    std::vector<NETPACCONTINFO> list(records);
    for (NETPACCONTINFO& record : list) std::snprintf(record.szField1, sizeof record.szField1, "%s", "rec");
    login.setACCONTINFO(list);
    if (!enciphered) login.setCmdID(1002);
    std::string wire(256 * 1024, '\0');
    if (login.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    wire.resize(login.getPacketLength());
    ZrCPacketHead::fastSetCmdID(wire.data(), PKT_HEAD_FIXED_LEN, ZrLoginMsgPacket::DEFAULT_CMDID);
    return wire;
}

// A plain login packet of 1 000 records, about 15 KB.
inline std::string longPlainPacket() { return loginPacket(1000, false); }

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

// A cipher built a byte at a time for the plain bytes wanted, none of its
// bytes 0x02 or 0x03 unless put so (needs ZRIEncrypt::resumesDecipher()).
class CipherBuilder {
public:
    CipherBuilder(unsigned char key, unsigned char type) {
        if (ZRIEncrypt::decryptBeginEx(m_run, key, static_cast<char>(type)) != 0) std::abort();
    }
    // What the last of the next bytes would decipher to; put when `keep`.
    unsigned char plainOf(const std::string& next, bool keep = false) {
        ZrDecipherRun run = m_run;
        char plain[8];
        unsigned int n = 0;
        ZRIEncrypt::decryptOnEx(run, next.data(), static_cast<unsigned int>(next.size()), plain, n);
        if (keep) m_run = run, cipher += next;
        return static_cast<unsigned char>(plain[next.size() - 1]);
    }
    unsigned char put(char c) { return plainOf(std::string(1, c), true); }
    // Puts a byte that deciphers to `want`; false when none does.
    bool putPlain(unsigned char want) {
        for (unsigned c = 0; c < 256; ++c) {
            if (isFree(c) && plainOf(std::string(1, static_cast<char>(c))) == want)
                return put(static_cast<char>(c)), true;
        }
        return false;
    }
    static bool isFree(unsigned c) { return c != _STX_ && c != _ETX_; }

    std::string cipher;

private:
    ZrDecipherRun m_run;
};

// The stream that stalled a relay: an enciphered head every 37 bytes (a
// class whose body starts with a text), each one's three cipher bytes
// deciphering to a text length that runs up to the farthest 0x03 it may end
// at, with a 0x03 every 15 355 bytes. Without a budget each start deciphers
// up to about 30 000 bytes before it is refused.
inline std::string craftedStall(std::size_t size = 142 * 1024) {
    constexpr std::size_t kEvery = 37, kEndEvery = 15355;
    std::string s;
    for (std::size_t h = 0; h + kEvery <= size; h += kEvery) {
        const std::size_t farthest = (h + ZR_MAX_ENCIPHERED_PACKET_LEN - 1) / kEndEvery * kEndEvery;
        const std::size_t length = farthest - h - PKT_OFFSET_BODY - 3;  // a three-byte varint: 2^14 or more
        for (unsigned key = 0; key < 256; ++key) {
            if (!CipherBuilder::isFree(key)) continue;
            CipherBuilder b(static_cast<unsigned char>(key), 1);
            if (b.putPlain((length & 0x7F) | 0x80) && b.putPlain(((length >> 7) & 0x7F) | 0x80) &&
                b.putPlain(static_cast<unsigned char>(length >> 14))) {
                s += bytesOf(headHex(9, 1)) + static_cast<char>(key) + b.cipher;  // ZrHttpMsgPacket: a text first
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
// its start at each one would do so 2 000 times.
inline std::string craftedPortal() {
    CipherBuilder b(0x5C, 1);
    std::mt19937 rng(29);
    for (int list = 0; list < 2; ++list) {
        b.putPlain(0xE8), b.putPlain(0x07);  // 1 000 texts
        for (int i = 0; i < 1000; ++i) {
            unsigned length = b.put(_ETX_);
            if (length >= 0x80) b.putPlain(0), length &= 0x7F;
            for (unsigned j = 0; j < length; ++j) {
                char c;
                do {  // the last byte before the next length makes that length 1 to 16
                    c = static_cast<char>(rng());
                } while (!CipherBuilder::isFree(static_cast<unsigned char>(c)) ||
                         (j + 1 == length && i + 1 < 1000 && (b.plainOf({c, _ETX_}) - 1u) >= 16));
                b.put(c);
            }
        }
    }
    b.putPlain(0), b.putPlain(0), b.putPlain(0);  // StateCode, ResultFlag, an empty ErrorDesc
    std::string wire = bytesOf(headHex(ZrPortalMsgPacket::DEFAULT_CMDID, 1)) + '\x5C' + b.cipher + '\x03';
    ZrPortalMsgPacket valid;
    if (valid.deCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    return wire;
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

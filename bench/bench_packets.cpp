// Speed of the common paths, each beside a minimal hand-written baseline
// that produces or parses the very same bytes, so one run gives the ratio.
//
//   BM_Encode/Decode*        ZrAuthSockMsgPacket, plain and enciphered
//   BM_Baseline*             varints and length-prefixed strings by hand
//   BM_RawHead*              the static head accessors against a bare load/store
//   BM_ConstructPacket       a packet object (its 60 KB scratch area is zero-filled)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zr_session_packets.h"

namespace {

constexpr unsigned int kBufferLen = 256;
const std::string kKey = "session-key-0123456789";
const std::string kDesc = "ok";

// --- the baseline: the same packet bytes, written and read by hand -----------

struct PlainAuth {
    unsigned short version;
    unsigned int cmdID, userID, SN;
    unsigned char subcmdID, encryptType, keyByte;
    unsigned int context[4];
    std::string key;
    int resultFlag;
    std::string errorDesc;
};

inline unsigned char* put32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
    return p + 4;
}
inline std::uint32_t get32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline unsigned char* putVarint(unsigned char* p, std::uint32_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}
inline const unsigned char* getVarint(const unsigned char* p, const unsigned char* end, std::uint32_t& v) {
    v = 0;
    for (int shift = 0; shift < 35 && p < end; shift += 7) {
        const unsigned char b = *p++;
        v |= std::uint32_t{b & 0x7Fu} << shift;
        if (b < 0x80) return p;
    }
    return nullptr;
}
inline unsigned char* putString(unsigned char* p, const std::string& s) {
    p = putVarint(p, static_cast<std::uint32_t>(s.size()));
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}
inline const unsigned char* getString(const unsigned char* p, const unsigned char* end, std::string& s) {
    std::uint32_t n = 0;
    p = getVarint(p, end, n);
    if (p == nullptr || n > static_cast<std::size_t>(end - p)) return nullptr;
    s.assign(reinterpret_cast<const char*>(p), n);
    return p + n;
}

// Returns the packet length, or 0 when it does not fit.
unsigned int baselineEncode(const PlainAuth& a, unsigned char* out, unsigned int room) {
    if (room < 35 + 3 * 5 + a.key.size() + a.errorDesc.size()) return 0;
    unsigned char* p = out;
    *p++ = 0x02;
    *p++ = static_cast<unsigned char>(a.version >> 8);
    *p++ = static_cast<unsigned char>(a.version);
    p = put32(p, a.cmdID);
    *p++ = a.subcmdID;
    p = put32(p, a.userID);
    p = put32(p, a.SN);
    *p++ = a.encryptType;
    for (unsigned int c : a.context) p = put32(p, c);
    *p++ = a.keyByte;
    p = putString(p, a.key);
    p = putVarint(p, static_cast<std::uint32_t>(a.resultFlag));
    p = putString(p, a.errorDesc);
    *p++ = 0x03;
    return static_cast<unsigned int>(p - out);
}

bool baselineDecode(PlainAuth& a, const unsigned char* in, unsigned int length) {
    const unsigned char* end = in + length;
    if (length < 35 || in[0] != 0x02) return false;
    a.version = static_cast<unsigned short>((in[1] << 8) | in[2]);
    a.cmdID = get32(in + 3);
    a.subcmdID = in[7];
    a.userID = get32(in + 8);
    a.SN = get32(in + 12);
    a.encryptType = in[16];
    for (int i = 0; i < 4; ++i) a.context[i] = get32(in + 17 + 4 * i);
    a.keyByte = in[33];
    const unsigned char* p = getString(in + 34, end, a.key);
    std::uint32_t flag = 0;
    if (p != nullptr) p = getVarint(p, end, flag);
    a.resultFlag = static_cast<int>(flag);
    if (p != nullptr) p = getString(p, end, a.errorDesc);
    return p != nullptr && p < end && *p == 0x03;
}

PlainAuth baselineFields() { return PlainAuth{0x0102, 3, 42, 7, 0, 0, 0, {1, 2, 3, 4}, kKey, 0, kDesc}; }

ZrAuthSockMsgPacket makePacket(unsigned int cmdID) {
    ZrAuthSockMsgPacket packet(1, 2, cmdID, 0, 42, 7, 0);
    packet.setContext1(1);
    packet.setContext2(2);
    packet.setContext3(3);
    packet.setContext4(4);
    packet.setkey(kKey);
    packet.setResultFlag(0);
    packet.setErrorDesc(kDesc);
    return packet;
}

std::vector<char> encoded(unsigned int cmdID) {
    ZrAuthSockMsgPacket packet = makePacket(cmdID);
    std::vector<char> wire(kBufferLen);
    if (packet.enCode(wire.data(), kBufferLen) != 0) std::abort();
    wire.resize(packet.getPacketLength());
    return wire;
}

// The baseline must produce exactly the library's bytes, or the ratio means nothing.
void checkBaselineMatches() {
    const std::vector<char> library = encoded(3);
    unsigned char mine[kBufferLen];
    const unsigned int length = baselineEncode(baselineFields(), mine, kBufferLen);
    if (length != library.size() || std::memcmp(mine, library.data(), length) != 0) {
        std::fprintf(stderr, "baseline bytes differ from the library's\n");
        std::abort();
    }
}

// --- packets ----------------------------------------------------------------------

void BM_EncodePlain(benchmark::State& state) {
    static ZrAuthSockMsgPacket packet = makePacket(3);
    char buffer[kBufferLen];
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer, kBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodePlain);

void BM_BaselineEncodePlain(benchmark::State& state) {
    checkBaselineMatches();
    const PlainAuth fields = baselineFields();
    unsigned char buffer[kBufferLen];
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineEncode(fields, buffer, kBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineEncodePlain);

void BM_DecodePlain(benchmark::State& state) {
    static ZrAuthSockMsgPacket packet;
    std::vector<char> wire = encoded(3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodePlain);

void BM_BaselineDecodePlain(benchmark::State& state) {
    const std::vector<char> wire = encoded(3);
    PlainAuth fields{};
    const auto* bytes = reinterpret_cast<const unsigned char*>(wire.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineDecode(fields, bytes, static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineDecodePlain);

void BM_EncodeEnciphered(benchmark::State& state) {
    static ZrAuthSockMsgPacket packet = makePacket(5);
    char buffer[kBufferLen];
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer, kBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeEnciphered);

void BM_DecodeEnciphered(benchmark::State& state) {
    static ZrAuthSockMsgPacket packet;
    std::vector<char> wire = encoded(5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeEnciphered);

// --- raw head accessors -------------------------------------------------------------

void BM_RawHeadGetCmdID(benchmark::State& state) {
    std::vector<char> wire = encoded(3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZrCPacketHead::fastGetCmdID(wire.data(), static_cast<unsigned int>(wire.size())));
    }
}
BENCHMARK(BM_RawHeadGetCmdID);

void BM_RawHeadSetSN(benchmark::State& state) {
    std::vector<char> wire = encoded(3);
    unsigned int sn = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZrCPacketHead::fastSetSN(wire.data(), static_cast<unsigned int>(wire.size()), ++sn));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RawHeadSetSN);

void BM_BaselineLoad32(benchmark::State& state) {
    std::vector<char> wire = encoded(3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(get32(reinterpret_cast<const unsigned char*>(wire.data()) + 3));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineLoad32);

void BM_BaselineStore32(benchmark::State& state) {
    std::vector<char> wire = encoded(3);
    unsigned int sn = 0;
    for (auto _ : state) {
        put32(reinterpret_cast<unsigned char*>(wire.data()) + 12, ++sn);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineStore32);

void BM_DispatchPacket(benchmark::State& state) {
    std::vector<char> wire = encoded(3);
    unsigned short version = 0;
    unsigned int cmdID = 0, userID = 0;
    unsigned char subcmdID = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZrCPacketHead::dispatchPacket(wire.data(), static_cast<unsigned int>(wire.size()),
                                                               version, cmdID, subcmdID, userID));
    }
}
BENCHMARK(BM_DispatchPacket);

// --- construction -------------------------------------------------------------------

void BM_ConstructPacket(benchmark::State& state) {
    for (auto _ : state) {
        auto* packet = new ZrAuthSockMsgPacket();
        benchmark::DoNotOptimize(packet);
        delete packet;
    }
}
BENCHMARK(BM_ConstructPacket);

}  // namespace

// --- registration request: ZrUserRegisterMsgPacket beside its own baseline ---
//
//   BM_EncodeRegister/DecodeRegister          the library, plain command 9
//   BM_BaselineEncodeRegister/DecodeRegister  the same bytes by hand
//
// Ten body fields, seven of them texts of about ten characters: the shape of
// most account packets.
#include "zr_account_packets.h"

namespace {

struct PlainRegister {
    unsigned short version;
    unsigned int cmdID, userID, SN;
    unsigned char subcmdID, encryptType, keyByte;
    unsigned int context[4];
    int userId;
    std::string userName, userPwd, stbId, caId, ip, mac;
    int resultFlag;
    std::string errorDesc;
    int accountType;
};

PlainRegister registerFields() {
    PlainRegister r{0x0102, 9, 42, 7, 0, 0, 0, {1, 2, 3, 4}, 1000042, {}, {}, {}, {}, {}, {}, 0, {}, 1};
    r.userName = "user-00042", r.userPwd = "secret-pw1", r.stbId = "stb-000042", r.caId = "ca-0000042";
    r.ip = "10.0.0.42", r.mac = "0A:0B:0C:0D", r.errorDesc = "no error!!";
    return r;
}

// Returns the packet length, or 0 when it does not fit.
unsigned int baselineEncodeRegister(const PlainRegister& r, unsigned char* out, unsigned int room) {
    const std::size_t texts = r.userName.size() + r.userPwd.size() + r.stbId.size() + r.caId.size() + r.ip.size() +
                              r.mac.size() + r.errorDesc.size();
    if (room < 35 + 10 * 5 + texts) return 0;
    unsigned char* p = out;
    *p++ = 0x02;
    *p++ = static_cast<unsigned char>(r.version >> 8);
    *p++ = static_cast<unsigned char>(r.version);
    p = put32(p, r.cmdID);
    *p++ = r.subcmdID;
    p = put32(p, r.userID);
    p = put32(p, r.SN);
    *p++ = r.encryptType;
    for (unsigned int c : r.context) p = put32(p, c);
    *p++ = r.keyByte;
    p = putVarint(p, static_cast<std::uint32_t>(r.userId));
    p = putString(p, r.userName);
    p = putString(p, r.userPwd);
    p = putString(p, r.stbId);
    p = putString(p, r.caId);
    p = putString(p, r.ip);
    p = putString(p, r.mac);
    p = putVarint(p, static_cast<std::uint32_t>(r.resultFlag));
    p = putString(p, r.errorDesc);
    p = putVarint(p, static_cast<std::uint32_t>(r.accountType));
    *p++ = 0x03;
    return static_cast<unsigned int>(p - out);
}

const unsigned char* getInt(const unsigned char* p, const unsigned char* end, int& v) {
    std::uint32_t bits = 0;
    p = p ? getVarint(p, end, bits) : nullptr;
    v = static_cast<int>(bits);
    return p;
}
const unsigned char* getText(const unsigned char* p, const unsigned char* end, std::string& s) {
    return p ? getString(p, end, s) : nullptr;
}

bool baselineDecodeRegister(PlainRegister& r, const unsigned char* in, unsigned int length) {
    const unsigned char* end = in + length;
    if (length < 35 || in[0] != 0x02) return false;
    r.version = static_cast<unsigned short>((in[1] << 8) | in[2]);
    r.cmdID = get32(in + 3);
    r.subcmdID = in[7];
    r.userID = get32(in + 8);
    r.SN = get32(in + 12);
    r.encryptType = in[16];
    for (int i = 0; i < 4; ++i) r.context[i] = get32(in + 17 + 4 * i);
    r.keyByte = in[33];
    const unsigned char* p = getInt(in + 34, end, r.userId);
    p = getText(p, end, r.userName);
    p = getText(p, end, r.userPwd);
    p = getText(p, end, r.stbId);
    p = getText(p, end, r.caId);
    p = getText(p, end, r.ip);
    p = getText(p, end, r.mac);
    p = getInt(p, end, r.resultFlag);
    p = getText(p, end, r.errorDesc);
    p = getInt(p, end, r.accountType);
    return p != nullptr && p < end && *p == 0x03;
}

ZrUserRegisterMsgPacket makeRegister() {
    const PlainRegister r = registerFields();
    ZrUserRegisterMsgPacket packet(1, 2, r.cmdID, r.subcmdID, r.userID, r.SN, 0);
    packet.setContext1(1);
    packet.setContext2(2);
    packet.setContext3(3);
    packet.setContext4(4);
    packet.setUserId(r.userId);
    packet.setUserName(r.userName);
    packet.setUserPwd(r.userPwd);
    packet.setStbId(r.stbId);
    packet.setCaId(r.caId);
    packet.setIp(r.ip);
    packet.setMac(r.mac);
    packet.setResultFlag(r.resultFlag);
    packet.setErrorDesc(r.errorDesc);
    packet.setAccountType(r.accountType);
    return packet;
}

std::vector<char> encodedRegister() {
    static ZrUserRegisterMsgPacket packet = makeRegister();
    std::vector<char> wire(kBufferLen);
    if (packet.enCode(wire.data(), kBufferLen) != 0) std::abort();
    wire.resize(packet.getPacketLength());
    return wire;
}

// The baseline must produce exactly the library's bytes, and read them back.
void checkRegisterBaselineMatches() {
    const std::vector<char> library = encodedRegister();
    unsigned char mine[kBufferLen];
    const unsigned int length = baselineEncodeRegister(registerFields(), mine, kBufferLen);
    PlainRegister back{};
    if (length != library.size() || std::memcmp(mine, library.data(), length) != 0 ||
        !baselineDecodeRegister(back, mine, length) || back.errorDesc != registerFields().errorDesc ||
        back.accountType != registerFields().accountType) {
        std::fprintf(stderr, "registration baseline differs from the library\n");
        std::abort();
    }
}

void BM_EncodeRegister(benchmark::State& state) {
    static ZrUserRegisterMsgPacket packet = makeRegister();
    char buffer[kBufferLen];
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer, kBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeRegister);

void BM_BaselineEncodeRegister(benchmark::State& state) {
    checkRegisterBaselineMatches();
    const PlainRegister fields = registerFields();
    unsigned char buffer[kBufferLen];
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineEncodeRegister(fields, buffer, kBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineEncodeRegister);

void BM_DecodeRegister(benchmark::State& state) {
    static ZrUserRegisterMsgPacket packet;
    std::vector<char> wire = encodedRegister();
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeRegister);

void BM_BaselineDecodeRegister(benchmark::State& state) {
    checkRegisterBaselineMatches();
    const std::vector<char> wire = encodedRegister();
    PlainRegister fields{};
    const auto* bytes = reinterpret_cast<const unsigned char*>(wire.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineDecodeRegister(fields, bytes, static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineDecodeRegister);

}  // namespace

BENCHMARK_MAIN();

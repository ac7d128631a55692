// Speed of the common paths, each beside a minimal hand-written baseline
// that produces or parses the very same bytes, so one run gives the ratio.
//
//   BM_Encode/Decode*        ZrAuthSockMsgPacket, plain and enciphered
//   BM_Baseline*             varints and length-prefixed strings by hand
//   BM_RawHead*              the static head accessors against a bare load/store
//   BM_ConstructPacket       a packet object (its 60 KB scratch area is zero-filled)
//   BM_*Balance100           a balance reply with 100 records, plain, beside a
//                            hand-written baseline and (where built) protobuf
//   BM_*Text30k*             a 30 000-byte text body: plain against memcpy;
//                            enciphered against the codec alone
//   BM_EnvelopeShare*        the enciphered envelope's own time, without the codec
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zr_billing_packets.h"
#include "zr_encrypt.h"
#include "zr_session_packets.h"

#ifdef ZRPACKET_BENCH_PROTOBUF
#include "balance_reply.pb.h"
#endif

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

// --- billing: a balance reply with 100 records -------------------------------------
//
// ZrBillUserBalancePacket under the plain command 9, beside a hand-written
// encoder and decoder of the same bytes (checked at start-up), and, where
// protobuf is installed, the same reply as a protobuf message.

constexpr unsigned int kBalanceRecords = 100;
constexpr unsigned int kBalanceBufferLen = 4096;

struct BalanceRecord {
    unsigned int unit;
    int money;
};

// The head fields as a receiver reads them.
struct PlainHead {
    unsigned short version;
    unsigned int cmdID, userID, SN;
    unsigned char subcmdID, encryptType, keyByte;
    unsigned int context[4];
};

// Reads the head and the key byte; the body starts at in + 34.
bool getHead(PlainHead& h, const unsigned char* in, unsigned int length) {
    if (length < 35 || in[0] != 0x02) return false;
    h.version = static_cast<unsigned short>((in[1] << 8) | in[2]);
    h.cmdID = get32(in + 3);
    h.subcmdID = in[7];
    h.userID = get32(in + 8);
    h.SN = get32(in + 12);
    h.encryptType = in[16];
    for (int i = 0; i < 4; ++i) h.context[i] = get32(in + 17 + 4 * i);
    h.keyByte = in[33];
    return true;
}

struct PlainBalance {
    PlainHead head;
    unsigned int userId, currencyType;
    std::string identifyingCode, token, checkCode, addInfo;
    int retStatus;
    std::string retMessage;
    std::vector<BalanceRecord> records;
};

// Units 1 to 4; amounts from -1000 upwards, so both short and five-byte varints.
BalanceRecord balanceRecord(unsigned int i) { return {i % 4 + 1, static_cast<int>(i * 37) - 1000}; }

PlainBalance balanceFields() {
    PlainBalance b{{}, 300, 1, "id-0042", "token-0123456789", "check", "", 0, "ok", {}};
    for (unsigned int i = 0; i < kBalanceRecords; ++i) b.records.push_back(balanceRecord(i));
    return b;
}

// The head of the benchmark packets: version 1.2, userID 42, SN 7,
// contexts 1 to 4, then the key byte 0 of a plain body.
unsigned char* putHead(unsigned char* p, unsigned int cmdID) {
    *p++ = 0x02;
    *p++ = 1;
    *p++ = 2;
    p = put32(p, cmdID);
    *p++ = 0;
    p = put32(p, 42);
    p = put32(p, 7);
    *p++ = 0;
    for (unsigned int c = 1; c <= 4; ++c) p = put32(p, c);
    *p++ = 0;
    return p;
}

unsigned int baselineEncodeBalance(const PlainBalance& b, unsigned char* out, unsigned int room) {
    const std::size_t texts =
        b.identifyingCode.size() + b.token.size() + b.checkCode.size() + b.addInfo.size() + b.retMessage.size();
    if (room < 35 + 9 * 5 + texts + 10 * b.records.size()) return 0;
    unsigned char* p = putHead(out, 9);
    p = putVarint(p, b.userId);
    p = putVarint(p, b.currencyType);
    p = putString(p, b.identifyingCode);
    p = putString(p, b.token);
    p = putString(p, b.checkCode);
    p = putString(p, b.addInfo);
    p = putVarint(p, static_cast<std::uint32_t>(b.retStatus));
    p = putString(p, b.retMessage);
    p = putVarint(p, static_cast<std::uint32_t>(b.records.size()));
    for (const BalanceRecord& r : b.records) {
        p = putVarint(p, r.unit);
        p = putVarint(p, static_cast<std::uint32_t>(r.money));
    }
    *p++ = 0x03;
    return static_cast<unsigned int>(p - out);
}

bool baselineDecodeBalance(PlainBalance& b, const unsigned char* in, unsigned int length) {
    const unsigned char* end = in + length;
    if (!getHead(b.head, in, length)) return false;
    const unsigned char* p = in + 34;
    std::uint32_t v = 0;
    if ((p = getVarint(p, end, b.userId)) == nullptr || (p = getVarint(p, end, b.currencyType)) == nullptr)
        return false;
    if ((p = getString(p, end, b.identifyingCode)) == nullptr || (p = getString(p, end, b.token)) == nullptr ||
        (p = getString(p, end, b.checkCode)) == nullptr || (p = getString(p, end, b.addInfo)) == nullptr) {
        return false;
    }
    if ((p = getVarint(p, end, v)) == nullptr) return false;
    b.retStatus = static_cast<int>(v);
    if ((p = getString(p, end, b.retMessage)) == nullptr || (p = getVarint(p, end, v)) == nullptr || v > 1000) {
        return false;
    }
    b.records.resize(v);
    for (BalanceRecord& r : b.records) {
        if ((p = getVarint(p, end, r.unit)) == nullptr || (p = getVarint(p, end, v)) == nullptr) return false;
        r.money = static_cast<int>(v);
    }
    return p < end && *p == 0x03;
}

ZrBillUserBalancePacket makeBalance(unsigned int cmdID) {
    const PlainBalance b = balanceFields();
    ZrBillUserBalancePacket packet(1, 2, cmdID, 0, 42, 7, 0);
    packet.setContext1(1);
    packet.setContext2(2);
    packet.setContext3(3);
    packet.setContext4(4);
    packet.setuser_id(b.userId);
    packet.setcurrency_type(b.currencyType);
    packet.setidentifying_code(b.identifyingCode);
    packet.settoken(b.token);
    packet.setcheck_code(b.checkCode);
    packet.setadd_info(b.addInfo);
    packet.setret_status(b.retStatus);
    packet.setret_message(b.retMessage);
    std::vector<NETPBILLUSERBALANCEINFO> records;
    for (const BalanceRecord& r : b.records) records.push_back({r.unit, r.money});
    packet.setret_BALANCEINFO(records);
    return packet;
}

template <class Packet>
std::vector<char> encodedPacket(Packet& packet, unsigned int room) {
    std::vector<char> wire(room);
    if (packet.enCode(wire.data(), room) != 0) std::abort();
    wire.resize(packet.getPacketLength());
    return wire;
}

// Both baselines must agree with the library byte for byte, both ways.
void checkBalanceBaselineMatches() {
    static const bool checked = [] {
        ZrBillUserBalancePacket packet = makeBalance(9);
        const std::vector<char> library = encodedPacket(packet, kBalanceBufferLen);
        unsigned char mine[kBalanceBufferLen];
        const unsigned int length = baselineEncodeBalance(balanceFields(), mine, kBalanceBufferLen);
        PlainBalance back{};
        if (length != library.size() || std::memcmp(mine, library.data(), length) != 0 ||
            !baselineDecodeBalance(back, reinterpret_cast<const unsigned char*>(library.data()), length) ||
            back.records.size() != kBalanceRecords ||
            back.records.back().money != balanceRecord(kBalanceRecords - 1).money || back.head.SN != 7) {
            std::fprintf(stderr, "balance baseline differs from the library\n");
            std::abort();
        }
        return true;
    }();
    (void)checked;
}

void BM_EncodeBalance100(benchmark::State& state) {
    static ZrBillUserBalancePacket packet = makeBalance(9);
    std::vector<char> buffer(kBalanceBufferLen);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer.data(), kBalanceBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeBalance100);

void BM_BaselineEncodeBalance100(benchmark::State& state) {
    checkBalanceBaselineMatches();
    const PlainBalance fields = balanceFields();
    std::vector<unsigned char> buffer(kBalanceBufferLen);
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineEncodeBalance(fields, buffer.data(), kBalanceBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineEncodeBalance100);

void BM_DecodeBalance100(benchmark::State& state) {
    static ZrBillUserBalancePacket packet;
    ZrBillUserBalancePacket sender = makeBalance(9);
    std::vector<char> wire = encodedPacket(sender, kBalanceBufferLen);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeBalance100);

void BM_BaselineDecodeBalance100(benchmark::State& state) {
    checkBalanceBaselineMatches();
    ZrBillUserBalancePacket sender = makeBalance(9);
    const std::vector<char> wire = encodedPacket(sender, kBalanceBufferLen);
    const auto* bytes = reinterpret_cast<const unsigned char*>(wire.data());
    PlainBalance fields{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(baselineDecodeBalance(fields, bytes, static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineDecodeBalance100);

#ifdef ZRPACKET_BENCH_PROTOBUF
zrbench::BalanceReply balanceMessage() {
    const PlainBalance b = balanceFields();
    zrbench::BalanceReply m;
    m.set_user_id(b.userId);
    m.set_currency_type(b.currencyType);
    m.set_identifying_code(b.identifyingCode);
    m.set_token(b.token);
    m.set_check_code(b.checkCode);
    m.set_add_info(b.addInfo);
    m.set_ret_status(b.retStatus);
    m.set_ret_message(b.retMessage);
    for (const BalanceRecord& r : b.records) {
        zrbench::BalanceInfo* info = m.add_ret_balanceinfo();
        info->set_balance_unit(r.unit);
        info->set_balance_money(r.money);
    }
    return m;
}

void BM_ProtobufEncodeBalance100(benchmark::State& state) {
    const zrbench::BalanceReply message = balanceMessage();
    std::vector<char> buffer(kBalanceBufferLen);
    for (auto _ : state) {
        benchmark::DoNotOptimize(message.SerializeToArray(buffer.data(), kBalanceBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ProtobufEncodeBalance100);

void BM_ProtobufDecodeBalance100(benchmark::State& state) {
    const std::string bytes = balanceMessage().SerializeAsString();
    zrbench::BalanceReply message;
    for (auto _ : state) {
        benchmark::DoNotOptimize(message.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())));
        benchmark::ClobberMemory();
    }
    if (message.ret_balanceinfo_size() != static_cast<int>(kBalanceRecords)) state.SkipWithError("wrong parse");
}
BENCHMARK(BM_ProtobufDecodeBalance100);
#endif

// --- billing: a 30 000-byte text body ------------------------------------------------
//
// A balance packet whose add_info holds 30 000 bytes. Plain (command 9), it
// is set against a memcpy of the whole packet. Enciphered (its default
// command 1014), the codec's own calls are measured alone, so that the
// envelope's share is the difference.

constexpr unsigned int kTextLen = 30000;
constexpr unsigned int kTextBufferLen = 64 * 1024;
// The enciphered encodes and the codec alone start from the same seed and
// draw the cipher variant as enCode does, so that they run the same variants
// (whose costs differ) in the same order.
constexpr unsigned int kVariantSeed = 12345;

ZrBillUserBalancePacket makeTextPacket(unsigned int cmdID) {
    ZrBillUserBalancePacket packet(1, 2, cmdID, 0, 42, 7, 0);
    packet.setuser_id(300);
    packet.setadd_info(std::string(kTextLen, 'x'));
    packet.setret_message("ok");
    return packet;
}


// A 30 KB copy runs at a twentieth of its speed when its destination lies a
// little past its source modulo 4096 (the loads wait on the stores they seem
// to alias): 12 us against 0.7 us on the VM these figures come from. Whether
// that happens depends on where the allocator put the buffers, so the
// decode and the copy benchmarks place their source half a page away from
// where the bytes go, and measure the codec, not the allocator's luck.
constexpr std::size_t kPage = 4096;

// `bytes` copied into `block` at the offset that puts them half a page
// before `target` modulo a page; returns where they start.
const char* placeBefore(std::vector<char>& block, const std::vector<char>& bytes, const void* target) {
    block.assign(bytes.size() + kPage, 0);
    const auto from = reinterpret_cast<std::uintptr_t>(block.data());
    const auto to = reinterpret_cast<std::uintptr_t>(target);
    const std::size_t offset = (to - from - kPage / 2) % kPage;
    std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
    return block.data() + offset;
}

std::vector<char> textWire() {
    ZrBillUserBalancePacket sender = makeTextPacket(9);
    return encodedPacket(sender, kTextBufferLen);
}

// The text goes from the packet to the buffer half a page away from its
// place modulo a page, as the decode's source is placed below.
void BM_EncodeText30k(benchmark::State& state) {
    static ZrBillUserBalancePacket packet = makeTextPacket(9);
    std::vector<char> block(kTextBufferLen + kPage);
    const auto text = reinterpret_cast<std::uintptr_t>(packet.getadd_info().data());
    const auto from = reinterpret_cast<std::uintptr_t>(block.data());
    constexpr std::size_t textAt = PKT_OFFSET_BODY + 4;  // after user_id, currency_type and two empty texts
    char* buffer = block.data() + (text + kPage / 2 - from - textAt) % kPage;
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer, kTextBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeText30k);

void BM_DecodeText30k(benchmark::State& state) {
    static ZrBillUserBalancePacket packet;
    const std::vector<char> wire = textWire();
    std::vector<char> first = wire;
    if (packet.deCode(first.data(), static_cast<unsigned int>(first.size())) != 0) std::abort();
    std::vector<char> block;
    char* bytes = const_cast<char*>(placeBefore(block, wire, packet.getadd_info().data()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(bytes, static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeText30k);

// The baseline of both: one memcpy of the same packet bytes.
void BM_MemcpyText30k(benchmark::State& state) {
    const std::vector<char> wire = textWire();
    std::vector<char> copy(wire.size());
    std::vector<char> block;
    const char* bytes = placeBefore(block, wire, copy.data());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes, wire.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpyText30k);

void BM_EncodeText30kEnciphered(benchmark::State& state) {
    static ZrBillUserBalancePacket packet = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    std::vector<char> buffer(kTextBufferLen);
    std::srand(kVariantSeed);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer.data(), kTextBufferLen));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeText30kEnciphered);

// The same with a buffer of the packet's own size, too small for the codec's
// longest output: the cipher goes to the scratch area and is copied out.
void BM_EncodeText30kEncipheredExactBuffer(benchmark::State& state) {
    static ZrBillUserBalancePacket packet = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    const auto room = static_cast<unsigned int>(encodedPacket(packet, kTextBufferLen).size());
    std::vector<char> buffer(room);
    std::srand(kVariantSeed);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.enCode(buffer.data(), room));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeText30kEncipheredExactBuffer);

void BM_DecodeText30kEnciphered(benchmark::State& state) {
    static ZrBillUserBalancePacket packet;
    ZrBillUserBalancePacket sender = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    std::vector<char> wire = encodedPacket(sender, kTextBufferLen);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeText30kEnciphered);

// The codec alone, on the same plain body, through the call the envelope makes.
void BM_CodecEncipherText30k(benchmark::State& state) {
    ZrBillUserBalancePacket sender = makeTextPacket(9);
    const std::vector<char> wire = encodedPacket(sender, kTextBufferLen);
    const unsigned int bodyLen = static_cast<unsigned int>(wire.size()) - PKT_ENVELOPE_MIN_LEN;
    std::vector<char> cipher(PKT_SCRATCH_HALF_LEN);
    unsigned int cipherLen = 0;
    unsigned char key = 0;
    char type = 0;
    std::srand(kVariantSeed);
    for (auto _ : state) {
        type = static_cast<char>(std::rand() % ZR_ENCRYPT_TYPE_COUNT + ZR_ENCRYPT_TYPE_MIN);
        benchmark::DoNotOptimize(
            ZRIEncrypt::encryptProtocolEx(wire.data() + PKT_OFFSET_BODY, bodyLen, cipher.data(), cipherLen, key, type));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CodecEncipherText30k);

void BM_CodecDecipherText30k(benchmark::State& state) {
    ZrBillUserBalancePacket sender = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    const std::vector<char> wire = encodedPacket(sender, kTextBufferLen);
    const unsigned int cipherLen = static_cast<unsigned int>(wire.size()) - PKT_ENVELOPE_MIN_LEN;
    std::vector<char> plain(PKT_SCRATCH_HALF_LEN);
    unsigned int plainLen = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRIEncrypt::decryptProtocolEx(
            wire.data() + PKT_OFFSET_BODY, cipherLen, plain.data(), plainLen,
            static_cast<unsigned char>(wire[PKT_OFFSET_KEY]), wire[PKT_OFFSET_ENCRYPT_TYPE]));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CodecDecipherText30k);

// The envelope's own share, measured directly: each iteration times the
// packet call, then the codec alone on the same bytes with the same variant,
// then a memcpy of the body. The counters are medians over the iterations,
// so that the codec's cost (about 150 body copies) and a preempted
// iteration on a shared machine cancel out:
//   envelope_ns  packet call minus codec;  copy_ns  one copy of the body;
//   in_copies    envelope_ns / copy_ns.
using Clock = std::chrono::steady_clock;
constexpr int kPairedIterations = 2000;

double nanoseconds(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }
double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

template <class Call, class Codec>
void measureEnvelopeShare(benchmark::State& state, Call call, Codec codec, const char* body, unsigned int bodyLen) {
    std::vector<double> shares, copies;
    shares.reserve(kPairedIterations);
    copies.reserve(kPairedIterations);
    std::vector<char> copy(bodyLen);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(call());
        benchmark::ClobberMemory();
        const Clock::time_point called = Clock::now();
        benchmark::DoNotOptimize(codec());
        benchmark::ClobberMemory();
        const Clock::time_point coded = Clock::now();
        std::memcpy(copy.data(), body, bodyLen);
        benchmark::ClobberMemory();
        const Clock::time_point copied = Clock::now();
        shares.push_back(nanoseconds(called - start) - nanoseconds(coded - called));
        copies.push_back(nanoseconds(copied - coded));
    }
    state.counters["envelope_ns"] = median(shares);
    state.counters["copy_ns"] = median(copies);
    state.counters["in_copies"] = median(shares) / median(copies);
}

// Arg 0: a roomy buffer (the codec writes into it in place); arg 1: a
// buffer of the packet's own size (the cipher is copied out).
void BM_EnvelopeShareEncodeText30k(benchmark::State& state) {
    static ZrBillUserBalancePacket packet = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    ZrBillUserBalancePacket plainSender = makeTextPacket(9);
    const std::vector<char> plain = encodedPacket(plainSender, kTextBufferLen);
    const unsigned int bodyLen = static_cast<unsigned int>(plain.size()) - PKT_ENVELOPE_MIN_LEN;
    const unsigned int room = state.range(0) == 0 ? kTextBufferLen : bodyLen + PKT_ENVELOPE_MIN_LEN;
    std::vector<char> buffer(room);
    std::vector<char> cipher(PKT_SCRATCH_HALF_LEN);
    unsigned int cipherLen = 0;
    unsigned char key = 0;
    measureEnvelopeShare(
        state, [&] { return packet.enCode(buffer.data(), room); },
        [&] {
            return ZRIEncrypt::encryptProtocolEx(plain.data() + PKT_OFFSET_BODY, bodyLen, cipher.data(), cipherLen, key,
                                                 buffer[PKT_OFFSET_ENCRYPT_TYPE]);
        },
        plain.data() + PKT_OFFSET_BODY, bodyLen);
}
BENCHMARK(BM_EnvelopeShareEncodeText30k)->Arg(0)->Arg(1)->Iterations(kPairedIterations);

void BM_EnvelopeShareDecodeText30k(benchmark::State& state) {
    static ZrBillUserBalancePacket packet;
    ZrBillUserBalancePacket sender = makeTextPacket(ZrBillUserBalancePacket::DEFAULT_CMDID);
    std::vector<char> wire = encodedPacket(sender, kTextBufferLen);
    const unsigned int cipherLen = static_cast<unsigned int>(wire.size()) - PKT_ENVELOPE_MIN_LEN;
    std::vector<char> plain(PKT_SCRATCH_HALF_LEN);
    unsigned int plainLen = 0;
    measureEnvelopeShare(
        state, [&] { return packet.deCode(wire.data(), static_cast<unsigned int>(wire.size())); },
        [&] {
            return ZRIEncrypt::decryptProtocolEx(wire.data() + PKT_OFFSET_BODY, cipherLen, plain.data(), plainLen,
                                                 static_cast<unsigned char>(wire[PKT_OFFSET_KEY]),
                                                 wire[PKT_OFFSET_ENCRYPT_TYPE]);
        },
        wire.data() + PKT_OFFSET_BODY, cipherLen);
}
BENCHMARK(BM_EnvelopeShareDecodeText30k)->Iterations(kPairedIterations);

// One copy of the body alone: the yardstick for the envelope's share.
void BM_MemcpyBody30k(benchmark::State& state) {
    ZrBillUserBalancePacket sender = makeTextPacket(9);
    const std::vector<char> wire = encodedPacket(sender, kTextBufferLen);
    const std::size_t bodyLen = wire.size() - PKT_ENVELOPE_MIN_LEN;
    std::vector<char> copy(PKT_SCRATCH_HALF_LEN);
    for (auto _ : state) {
        std::memcpy(copy.data(), wire.data() + PKT_OFFSET_BODY, bodyLen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpyBody30k);

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

#include "packet_checks.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "field_tools.h"
#include "zr_json.h"
#include "zr_session_packets.h"

namespace zrfuzz {

namespace {

// A plain body is written straight into the caller's buffer, which grows up
// to this; an enciphered one is bounded by the scratch half.
constexpr std::size_t kFirstRoom = 1 << 16;
constexpr std::size_t kMaxRoom = 64u << 20;
// Trying each 0x03 costs the square of a packet's length: the meter's
// trial search is checked on packets of at most this many bytes.
constexpr std::size_t kTrialCheckMost = 1024;

void exerciseRawAccessors(std::vector<char>& bytes) {
    char* buf = bytes.data();
    const auto len = static_cast<unsigned int>(bytes.size());
    volatile unsigned int sink = ZrCPacketHead::fastGetVersion(buf, len) + ZrCPacketHead::fastGetVersionHigh(buf, len) +
                                 ZrCPacketHead::fastGetVersionLow(buf, len) + ZrCPacketHead::fastGetCmdID(buf, len) +
                                 ZrCPacketHead::fastGetSubcmdID(buf, len) + ZrCPacketHead::fastGetUserID(buf, len) +
                                 ZrCPacketHead::fastGetSN(buf, len) + ZrCPacketHead::fastGetEncryptType(buf, len) +
                                 ZrCPacketHead::fastGetContext1(buf, len) + ZrCPacketHead::fastGetContext4(buf, len) +
                                 ZrDbrWriteMsgPacket::fastGetDBRRecvSockObjID(buf, len);
    (void)sink;
    unsigned short version = 0;
    unsigned int cmdID = 0, userID = 0, context = 0;
    unsigned char subcmdID = 0;
    ZrCPacketHead::dispatchPacket(buf, len, version, cmdID, subcmdID, userID);
    for (int i = 1; i <= 4; ++i) {
        ZrCPacketHead::dispatchPacketContext_i(buf, len, i, context);
        ZrCPacketHead::modifyPacketNetwork_Context_i(buf, len, i, context);
    }
    ZrCPacketHead::fastSetVersionHigh(buf, len, 1);
    ZrCPacketHead::fastSetSN(buf, len, 7);
    ZrDbrWriteMsgPacket::fastSetID2(buf, len, 9);
}

std::string fieldsOf(ZrAnyPacket& packet) { return zrtest::dumpHead(packet.head()) + "|" + zrtest::dumpBody(packet); }

// The packet's bytes, in a buffer that grows for a plain body; empty when
// it does not encode.
std::vector<char> encode(ZrAnyPacket& packet) {
    std::vector<char> wire;
    for (std::size_t room = kFirstRoom; room <= kMaxRoom; room *= 4) {
        wire.assign(room, 0);
        if (packet.enCode(wire.data(), static_cast<unsigned int>(room)) == 0) {
            wire.resize(packet.getPacketLength());
            return wire;
        }
        if (packet.head().isNeedEncrypt()) break;
    }
    return {};
}

// Whether an enciphered packet may be refused: its body, as a plain command
// would carry it, does not fit the scratch half by the writer's room rule.
bool tooLargeToEncipher(ZrAnyPacket& packet) {
    ZrCPacketHead& head = packet.head();
    if (!head.isNeedEncrypt()) return false;
    const unsigned int cmdID = head.getCmdID();
    head.setCmdID(9);  // a plain command
    const std::vector<char> plain = encode(packet);
    head.setCmdID(cmdID);
    const std::size_t spare = packet.packetClass().mode == ZrBodyMode::Compact ? ZR_VARINT32_MAX_LEN : 0;
    return plain.empty() || plain.size() - PKT_ENVELOPE_MIN_LEN > PKT_SCRATCH_HALF_LEN - spare;
}

std::string checkJsonRoundTrip(ZrAnyPacket& packet) {
    const ZrJson json = zrPacketToJson(packet);
    std::string text;
    try {
        text = json.dump();
        std::unique_ptr<ZrAnyPacket> back = zrPacketFromJson(ZrJson::parse(text));
        const ZrJson again = zrPacketToJson(*back);
        if (again != json) {
            return "a decoded packet's JSON reads back as another packet:\n" + text + "\n" + again.dump();
        }
    } catch (const std::exception& e) {
        return std::string("a decoded packet's JSON does not read back: ") + e.what() + "\n" + text;
    }
    return "";
}

// Decodes bytes as a receiver gets them: in an exact-size heap block, so
// that a read past them is caught.
std::string checkPacket(const char* bytes, std::size_t length, const ZrPacketClass* forced) {
    std::unique_ptr<char[]> exact(new char[length]);
    std::copy(bytes, bytes + length, exact.get());
    std::string error;
    std::unique_ptr<ZrAnyPacket> decoded =
        ZrCatalogue::decode(exact.get(), static_cast<unsigned int>(length), error, forced);
    std::string broken;
    if (!decoded) {
        if (error.empty()) broken = "a failed decode gives no reason";
    } else {
        broken = checkDecoded(*decoded);
    }
    std::vector<char> raw(bytes, bytes + length);
    if (!raw.empty()) exerciseRawAccessors(raw);  // a null buffer breaks their contract
    return broken;
}

std::string checkJsonInput(const std::string& text) {
    const ZrJson json = ZrJson::parse(text, nullptr, false);
    if (json.is_discarded()) return "";
    std::unique_ptr<ZrAnyPacket> packet;
    try {
        packet = zrPacketFromJson(json);
    } catch (const ZrJsonError&) {
        return "";
    } catch (const std::exception& e) {
        return std::string("reading a packet from JSON threw other than ZrJsonError: ") + e.what();
    }
    const std::vector<char> wire = encode(*packet);
    if (wire.empty()) {
        return tooLargeToEncipher(*packet)
                   ? ""
                   : std::string("a packet made from JSON does not encode: ") + packet->head().getLastErrMsg();
    }
    const ZrJson sent = zrPacketToJson(*packet);  // with the encrypt type and key byte just sent
    std::string error;
    std::unique_ptr<ZrAnyPacket> decoded =
        ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &packet->packetClass());
    if (!decoded) return "a packet made from JSON does not decode: " + error;
    const ZrJson received = zrPacketToJson(*decoded);
    if (received != sent) {
        return "a packet made from JSON decodes to other JSON:\n" + sent.dump() + "\n" + received.dump();
    }
    return "";
}

std::string describe(const std::vector<SplitPiece>& pieces) {
    std::string text;
    for (const SplitPiece& p : pieces) {
        text += (p.packet ? "packet " : "skipped ") + std::to_string(p.offset) + "+" + std::to_string(p.length) + " " +
                p.what + "\n";
    }
    return text;
}

}  // namespace

std::vector<SplitPiece> split(const std::uint8_t* data, std::size_t size, const std::vector<std::size_t>& chunks,
                              const ZrPacketMeter::Options& options, SplitCost* cost, std::uint64_t base) {
    ZrStreamSplitter splitter(options, base);
    std::size_t mostHeld = 0;
    std::vector<SplitPiece> pieces;
    auto takeOut = [&](bool finished) {
        for (ZrSplitItem item; splitter.next(item);) {
            const bool joins = !item.isPacket() && !pieces.empty() && !pieces.back().packet &&
                               pieces.back().offset + pieces.back().length == item.offset;
            if (joins) {
                pieces.back().length += item.length;
                // Every piece of a run says the same, counted from the run's start.
                if (item.why() != pieces.back().what) pieces.back().what += " | then: " + item.why();
            } else {
                pieces.push_back({item.isPacket(), item.offset, item.length,
                                  item.isPacket() ? item.packetClass->className : item.why(), finished});
            }
        }
    };
    std::size_t at = 0;
    for (std::size_t i = 0; at < size; ++i) {
        const std::size_t chunk = chunks.empty() ? size : chunks[std::min(i, chunks.size() - 1)];
        const std::size_t n = std::min(std::max<std::size_t>(chunk, 1), size - at);
        splitter.feed(data + at, n);
        at += n;
        takeOut(false);
        mostHeld = std::max(mostHeld, splitter.held());
    }
    splitter.finish();
    takeOut(true);
    if (cost != nullptr) *cost = {splitter.meter().work(), splitter.meter().workLimits(), mostHeld};
    return pieces;
}

std::string checkMeasure(const std::uint8_t* data, std::size_t size, const ZrPacketClass* forced) {
    const ZrPacketClass* cls = forced;
    if (cls == nullptr && size >= PKT_OFFSET_SUBCMDID) {
        cls = ZrCatalogue::find(CHostNetworkConvertorNormal::loadBigEndian32(data + PKT_OFFSET_CMDID));
    }
    // A prefix deCode accepts ends in 0x03 (a plain packet's ETX may have
    // bytes after it, so the shortest accepted prefix ends at it).
    std::size_t shortest = 0;
    if (cls != nullptr) {
        std::unique_ptr<ZrAnyPacket> packet = cls->create();
        std::vector<char> prefix;
        for (std::size_t n = 1; n <= size && shortest == 0; ++n) {
            if (data[n - 1] != _ETX_) continue;
            prefix.assign(data, data + n);
            if (packet->deCode(prefix.data(), static_cast<unsigned int>(n)) == 0) shortest = n;
        }
    }
    for (const ZrEndSearch search : {ZrEndSearch::Resume, ZrEndSearch::Prefixes, ZrEndSearch::Trial}) {
        if (search == ZrEndSearch::Trial && size > kTrialCheckMost) continue;
        ZrPacketMeter::Options options;
        options.forcedClass = forced;
        options.endSearch = search;
        ZrPacketMeter meter(options);
        const ZrFrame frame = meter.measure(data, size);
        const std::string way = " (end search " + std::to_string(static_cast<int>(meter.endSearch())) + ")";
        if (frame.complete() && frame.packetLength != shortest) {
            return "the meter says " + std::to_string(frame.packetLength) + " bytes, deCode's shortest prefix is " +
                   std::to_string(shortest) + way;
        }
        if (!frame.complete() && shortest != 0) {
            return "deCode accepts " + std::to_string(shortest) + " bytes, the meter says " +
                   (frame.incomplete() ? "it needs " + std::to_string(frame.needed) : frame.why()) + way;
        }
        if (frame.incomplete() && frame.needed <= size) return "the meter asks for bytes it has" + way;
        // A budget of part of what that cost: the same verdict, or WorkLimit.
        ZrPacketMeter tight(options);
        const ZrMeterWork cost = meter.work();
        tight.setBudgetLeft({cost.deciphered / 2, cost.fields / 2 + cost.fields % 2});
        const ZrFrame limited = tight.measure(data, size);
        if (limited.fault != ZrFrameFault::WorkLimit &&
            (limited.status != frame.status || limited.packetLength != frame.packetLength ||
             limited.fault != frame.fault)) {
            return "with half the budget it needs, the meter says " + limited.why() + " against " + frame.why() + way;
        }
    }
    return "";
}

// Chunks may change what is split only where the budget refused a start
// (it is spent differently by chunks).
std::string checkSplitting(const std::uint8_t* data, std::size_t size, const ZrPacketMeter::Options& options) {
    SplitCost cost;
    const std::vector<SplitPiece> whole = split(data, size, {}, options, &cost);
    std::uint64_t covered = 0;
    for (const SplitPiece& piece : whole) {
        if (piece.offset != covered || piece.length == 0)
            return "split pieces do not tile the stream:\n" + describe(whole);
        covered += piece.length;
        if (!piece.packet) continue;
        std::unique_ptr<char[]> exact(new char[piece.length]);
        std::copy(data + piece.offset, data + piece.offset + piece.length, exact.get());
        std::string error;
        if (!ZrCatalogue::decode(exact.get(), static_cast<unsigned int>(piece.length), error)) {
            return "a packet the splitter handed out does not decode: " + error;
        }
    }
    if (covered != size) return "split pieces do not cover the stream:\n" + describe(whole);
    // Chunk sizes drawn from the stream itself, and one byte at a time.
    std::vector<std::size_t> drawn;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 64); ++i) drawn.push_back(1 + data[i] % 97);
    for (const std::vector<std::size_t>& chunks : {std::vector<std::size_t>{1}, drawn}) {
        SplitCost again;
        const std::vector<SplitPiece> pieces = split(data, size, chunks, options, &again);
        if (pieces != whole && cost.workLimits + again.workLimits == 0) {
            return "chunks change what is split:\n" + describe(whole) + "against\n" + describe(pieces);
        }
        const ZrMeterWork first = ZrPacketMeter(options).allowance();
        const std::uint64_t perByte = options.workPerByte * size;
        if (again.work.deciphered > first.deciphered + perByte || again.work.fields > first.fields + perByte) {
            return "splitting costs more than its budget: " + std::to_string(again.work.deciphered) +
                   " bytes deciphered, " + std::to_string(again.work.fields) + " fields walked for " +
                   std::to_string(size) + " bytes";
        }
    }
    return "";
}

std::string checkReencodes(ZrAnyPacket& first) {
    const std::vector<char> wire = encode(first);
    if (wire.empty()) {
        return tooLargeToEncipher(first)
                   ? ""
                   : std::string("a decoded packet does not re-encode: ") + first.packetClass().className;
    }
    std::string error;
    std::unique_ptr<ZrAnyPacket> second =
        ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &first.packetClass());
    if (!second) return "a re-encoded packet does not decode: " + error;
    if (fieldsOf(first) != fieldsOf(*second)) {
        return "re-encoding changed the fields:\n" + fieldsOf(first) + "\n" + fieldsOf(*second);
    }
    return "";
}

std::string checkDecoded(ZrAnyPacket& packet) {
    std::string broken = checkJsonRoundTrip(packet);
    return broken.empty() ? checkReencodes(packet) : broken;
}

std::string checkInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return "";
    const auto* text = reinterpret_cast<const char*>(data);
    switch (data[0]) {
        case _STX_: {
            const std::string broken = checkMeasure(data, std::min<std::size_t>(size, 4096));
            return broken.empty() ? checkPacket(text, size, nullptr) : broken;
        }
        case kJsonMark:
            return checkJsonInput(std::string(text, size));
        case kStreamMark:
            return checkSplitting(data + 1, size - 1);
        case kLimitedStreamMark: {
            if (size < 4) return "";
            ZrPacketMeter::Options options;
            options.endSearch = static_cast<ZrEndSearch>(data[1] % 3);
            options.maxPacketLength = PKT_ENVELOPE_MIN_LEN + (data[2] << 8 | data[3]);
            return checkSplitting(data + 4, size - 4, options);
        }
        case kHexMark: {
            std::string bytes;
            if (!zrFromHex(std::string(text + 1, size - 1), bytes)) return "";
            return checkPacket(bytes.data(), bytes.size(), nullptr);
        }
        default: {
            const std::vector<ZrPacketClass>& classes = ZrCatalogue::classes();
            const ZrPacketClass& cls = classes[data[0] % classes.size()];
            const std::string broken = checkMeasure(data + 1, std::min<std::size_t>(size - 1, 4096), &cls);
            return broken.empty() ? checkPacket(text + 1, size - 1, &cls) : broken;
        }
    }
}

}  // namespace zrfuzz

#include "samples.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "capture.h"
#include "zr_byte_stream.h"
#include "zr_named_fields.h"
#include "zr_packet_head.h"

namespace {

class Filler final : public ZrFieldVisitor {
public:
    void field(const char*, unsigned char& v) override { v = 0xFE; }
    void field(const char*, unsigned short& v) override { v = 0xBEEF; }
    void field(const char*, unsigned int& v) override {
        static const unsigned int kValues[] = {300, 0xFFFFFFFFu, 127, 128};
        v = kValues[m_count++ % 4];
    }
    // Distinct, so that map keys stay apart: -1, 201, -3, 203, ...
    void field(const char*, int& v) override {
        v = m_count % 2 == 0 ? -1 - static_cast<int>(m_count) : 200 + static_cast<int>(m_count);
        ++m_count;
    }
    void field(const char*, std::uint64_t& v) override { v = ~std::uint64_t{0}; }
    void field(const char*, std::int64_t& v) override { v = -2; }
    void field(const char*, std::string& v) override {
        static const std::string kTexts[] = {
            "ab", "", std::string("a\0b", 3), "\xFF\xFE", "caf\xC3\xA9", std::string(200, 'x')};
        v = kTexts[m_count++ % 6];
    }
    // Every other text fills its array.
    void text(const char*, char* text, std::size_t size) override {
        const std::string value = m_count++ % 2 == 0 ? std::string(size - 1, 'z') : "t1";
        std::memset(text, 0, size);
        std::memcpy(text, value.data(), std::min(value.size(), size - 1));
    }
    std::size_t beginList(const char*, std::size_t) override { return 2; }
    void endList() override {}
    std::size_t beginMap(const char*, std::size_t) override { return 2; }
    void endMap() override {}
    void beginElement(std::size_t) override {}
    void endElement() override {}
    void beginRecord(const char*) override {}
    void endRecord() override {}

private:
    std::size_t m_count = 0;
};

// enCode sends a body plain only under a plain command, so the packet goes
// out under one and its own command is put back into the bytes.
std::string encode(ZrAnyPacket& packet, bool plain) {
    const unsigned int cmdID = packet.head().getCmdID();
    unsigned int plainCommand = 0;
    while (ZrCPacketHead::isEncipheredCommand(plainCommand)) ++plainCommand;
    if (plain) packet.head().setCmdID(plainCommand);
    std::string bytes(2 << 20, '\0');  // the longest packet reassembled, and room to spare
    if (packet.enCode(bytes.data(), static_cast<unsigned int>(bytes.size())) != 0) {
        throw std::runtime_error(std::string(packet.packetClass().className) + " does not encode");
    }
    bytes.resize(packet.getPacketLength());
    packet.head().setCmdID(cmdID);
    ZrCPacketHead::fastSetCmdID(bytes.data(), static_cast<unsigned int>(bytes.size()), cmdID);
    return bytes;
}

}  // namespace

Case decodedCase(const ZrPacketClass& row, const std::string& variant, const std::string& bytes) {
    Case c{std::string(row.className) + "." + variant, bytes, {}};
    std::string error;
    std::unique_ptr<ZrAnyPacket> decoded =
        ZrCatalogue::decode(c.bytes.data(), static_cast<unsigned int>(c.bytes.size()), error, &row);
    if (!decoded) throw std::runtime_error(c.name + ": " + error);
    c.json = zrPacketToJson(*decoded);
    return c;
}

namespace {

Case makeCase(const ZrPacketClass& row, const std::string& variant, bool fill, bool plain) {
    std::unique_ptr<ZrAnyPacket> packet = row.create();
    Filler filler;
    if (fill) packet->visitFields(filler);
    return decodedCase(row, variant, encode(*packet, plain));
}

// --- the probe classes ------------------------------------------------------------

struct PROBERECORD {
    unsigned char tag = 0;
    char szName[8] = {};
    long long big = 0;
};

template <class Fields>
void zrRecordFields(PROBERECORD& r, Fields&& field) {
    field("tag", r.tag)("szName", r.szName)("szName", ZrTextEcho{r.szName, sizeof r.szName})("big", r.big);
}

template <ZrBodyMode Mode>
class ProbePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = Mode == ZrBodyMode::Fixed ? 0x5A000002 : 0x5A000001;
    static constexpr ZrEnvelopeStyle ENVELOPE{Mode == ZrBodyMode::Fixed ? "ZrProbeFixedPacket" : "ZrProbeCompactPacket",
                                              Mode};

    ProbePacket() : ZrCPacketHead(DEFAULT_CMDID) {}

    void visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
    int enCode(char* buf, unsigned int len) { return encodeEnvelope(*this, buf, len); }
    int deCode(char* buf, unsigned int len) { return decodeEnvelope(*this, buf, len); }
    unsigned int getPacketLength() { return envelopeLength(); }

    std::vector<std::string> m_texts;

private:
    friend class ZrCPacketHead;
    template <class Fields>
    static void fieldList(Fields&& field) {
        using P = ProbePacket;
        field("u8", &P::m_u8)("u16", &P::m_u16)("u32", &P::m_u32)("i32", &P::m_i32)("u64", &P::m_u64);
        field("i64", &P::m_i64)("name", &P::m_name)("szCode", &P::m_code)("record", &P::m_record);
        field("texts", &P::m_texts)("records", &P::m_records)("grid", &P::m_grid)("table", &P::m_table);
    }
    void serializeOrUnSerialize(ZrLCByteStream& stream) {
        zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
    }

    unsigned char m_u8 = 0;
    unsigned short m_u16 = 0;
    unsigned int m_u32 = 0;
    int m_i32 = 0;
    std::uint64_t m_u64 = 0;
    long long m_i64 = 0;
    std::string m_name;
    char m_code[6] = {};
    PROBERECORD m_record;
    std::vector<PROBERECORD> m_records;
    std::vector<std::vector<int>> m_grid;
    std::map<int, PROBERECORD> m_table;
};

template <class Packet>
class AnyOf final : public ZrAnyPacket {
public:
    explicit AnyOf(const ZrPacketClass& row) : m_row(row) {}
    static std::unique_ptr<ZrAnyPacket> make(const ZrPacketClass& row) { return std::make_unique<AnyOf>(row); }

    const ZrPacketClass& packetClass() const override { return m_row; }
    ZrCPacketHead& head() override { return m_packet; }
    void visitFields(ZrFieldVisitor& visitor) override { m_packet.visitFields(visitor); }
    int enCode(char* buf, unsigned int len) override { return m_packet.enCode(buf, len); }
    int deCode(char* buf, unsigned int len) override { return m_packet.deCode(buf, len); }
    unsigned int getPacketLength() override { return m_packet.getPacketLength(); }

private:
    const ZrPacketClass& m_row;
    Packet m_packet;
};

template <class Packet>
ZrPacketClass probeRow() {
    return {Packet::DEFAULT_CMDID, Packet::ENVELOPE.className, Packet::ENVELOPE.mode,
            ZrCPacketHead::isEncipheredCommand(Packet::DEFAULT_CMDID), &AnyOf<Packet>::make};
}

}  // namespace

std::vector<Case> corpusCases(const std::string& dir) {
    std::vector<Case> cases;
    if (!std::filesystem::is_directory(dir)) return cases;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".bin") continue;
        std::filesystem::path json = entry.path();
        json.replace_extension(".json");
        Case c{entry.path().stem().string(), readFile(entry.path().string()), ZrJson::parse(readFile(json.string()))};
        // The class is in the name; the wire names it only by its command.
        const std::string className = c.name.substr(0, c.name.find('.'));
        const ZrPacketClass* row = ZrCatalogue::find(className);
        if (row == nullptr) throw std::runtime_error(c.name + ": no class " + className + " in the catalogue");
        ZrCPacketHead::fastSetCmdID(c.bytes.data(), static_cast<unsigned int>(c.bytes.size()), row->cmdID);
        c.json["head"]["cmdID"] = row->cmdID;
        cases.push_back(std::move(c));
    }
    std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.name < b.name; });
    return cases;
}

std::vector<Case> sampleCases(const std::vector<ZrPacketClass>& classes) {
    std::vector<Case> cases;
    for (const ZrPacketClass& row : classes) {
        cases.push_back(makeCase(row, "default", false, false));
        cases.push_back(makeCase(row, "filled", true, false));
        if (row.enciphered) cases.push_back(makeCase(row, "plain", true, true));
    }
    return cases;
}

Case longTextCase(std::size_t size) {
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        ZrJson json = zrPacketTemplate(row);
        if (row.enciphered || !json.contains("body") || json["body"].empty() || !json["body"].begin()->is_string()) {
            continue;
        }
        json["body"].begin().value() = std::string(size, 'x');
        return decodedCase(row, "longText", encode(*zrPacketFromJson(json), true));
    }
    throw std::runtime_error("no plain class starts its body with a string");
}

std::vector<ZrPacketClass> probeClasses() {
    return {probeRow<ProbePacket<ZrBodyMode::Compact>>(), probeRow<ProbePacket<ZrBodyMode::Fixed>>()};
}

std::string probeWithTooManyElements() {
    static const ZrPacketClass row = probeRow<ProbePacket<ZrBodyMode::Compact>>();
    AnyOf<ProbePacket<ZrBodyMode::Compact>> packet(row);
    auto& probe = static_cast<ProbePacket<ZrBodyMode::Compact>&>(packet.head());
    probe.m_texts.assign(ZR_MAX_CONTAINER_COUNT + 1, "ab");
    return encode(packet, true);
}

std::string probeWithText(const ZrPacketClass& compactProbe, const std::string& wire) {
    // In the default compact body the text's length byte follows u8, u16, two
    // one-byte varints, u64, i64 and the empty string's length.
    const std::size_t at = PKT_OFFSET_BODY + 1 + 2 + 1 + 1 + 8 + 8 + 1;
    std::string bytes = encode(*compactProbe.create(), true);
    return bytes.replace(at, 1, wire);
}

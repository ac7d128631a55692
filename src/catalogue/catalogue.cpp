// The catalogue's one table: a row per packet class of ZrAllPacketTypes, each
// read off the class itself (its default command, its name, body mode and
// body walk), so that adding a class is adding its type to that list.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <type_traits>

#include "zr_catalogue.h"

namespace {

template <class Packet>
class PacketOf final : public ZrAnyPacket {
public:
    static std::unique_ptr<ZrAnyPacket> make(const ZrPacketClass&) { return std::make_unique<PacketOf>(); }

    // The catalogue's own row, whatever row (a copy, say) the packet was made from.
    const ZrPacketClass& packetClass() const override {
        static const ZrPacketClass& row = *ZrCatalogue::find(Packet::DEFAULT_CMDID);
        return row;
    }
    ZrCPacketHead& head() override { return m_packet; }
    void visitFields(ZrFieldVisitor& visitor) override { m_packet.visitFields(visitor); }
    int enCode(char* pSendBuf, unsigned int nBufLen) override { return m_packet.enCode(pSendBuf, nBufLen); }
    int deCode(char* pRecvBuf, unsigned int nBufLen) override { return m_packet.deCode(pRecvBuf, nBufLen); }
    unsigned int getPacketLength() override { return m_packet.getPacketLength(); }

private:
    Packet m_packet;
};

template <class Packet>
ZrPacketClass row() {
    return {Packet::DEFAULT_CMDID,   Packet::ENVELOPE.className,
            Packet::ENVELOPE.mode,   ZrCPacketHead::isEncipheredCommand(Packet::DEFAULT_CMDID),
            &PacketOf<Packet>::make, &Packet::walkBody};
}

// What the compiler checks of the list, besides what each class's
// ZR_LIBRARY_PACKET_CLASS checks: every class but the keep-alive (which has
// no body) is compiled in the library, and no two share a command or a name.
template <class Packet>
constexpr bool zrCompiledHere() {
    return std::is_same<Packet, ZrCkeepAlivePacket>::value || ZrCompiledInLibrary<Packet>::value;
}
template <class... Packets>
constexpr bool zrDistinct(ZrPacketTypes<Packets...>) {
    const unsigned int cmdIDs[] = {Packets::DEFAULT_CMDID...};
    const char* const names[] = {Packets::ENVELOPE.className...};
    for (std::size_t i = 0; i < sizeof...(Packets); ++i) {
        for (std::size_t j = i + 1; j < sizeof...(Packets); ++j) {
            if (cmdIDs[i] == cmdIDs[j] || zrSameText(names[i], names[j])) return false;
        }
    }
    return true;
}

template <class... Packets>
std::vector<ZrPacketClass> makeTable(ZrPacketTypes<Packets...>) {
    static_assert((zrCompiledHere<Packets>() && ...), "a class of ZrAllPacketTypes lacks ZR_LIBRARY_PACKET_CLASS");
    static_assert(zrDistinct(ZrPacketTypes<Packets...>()), "two classes of ZrAllPacketTypes share a command or a name");
    std::vector<ZrPacketClass> table = {row<Packets>()...};
    std::sort(table.begin(), table.end(),
              [](const ZrPacketClass& a, const ZrPacketClass& b) { return a.cmdID < b.cmdID; });
    return table;
}

// The class a packet is decoded with: `forced`, or the one its head's
// command names. Null with `error` set when there is none.
const ZrPacketClass* classFor(const char* buf, unsigned int len, const ZrPacketClass* forced, std::string& error) {
    if (forced != nullptr) return forced;
    if (len < PKT_HEAD_FIXED_LEN || static_cast<unsigned char>(buf[0]) != _STX_) {
        // No command to go by: the head's own decode says what is wrong.
        ZrCkeepAlivePacket bareHead;
        bareHead.deCode(const_cast<char*>(buf), len);
        error = bareHead.getLastErrMsg();
        return nullptr;
    }
    const unsigned int cmdID = ZrCPacketHead::fastGetCmdID(buf, len);
    const ZrPacketClass* cls = ZrCatalogue::find(cmdID);
    if (cls == nullptr) error = "no packet class has the command " + std::to_string(cmdID);
    return cls;
}

// Decodes into `packet`; on failure says why, in the library's words where
// it has them, and where in the body it stopped where it has none.
bool decodeInto(ZrAnyPacket& packet, const ZrPacketClass& cls, const char* buf, unsigned int len, std::string& error) {
    // deCode takes a char* but never writes through it.
    if (packet.deCode(const_cast<char*>(buf), len) == 0) return true;
    error = zrExplainDecodeFailure(cls, packet.head().envelopeVerdict(), packet.head().getLastErrMsg(), buf, len);
    return false;
}

}  // namespace

const std::vector<ZrPacketClass>& ZrCatalogue::classes() {
    static const std::vector<ZrPacketClass> table = makeTable(ZrAllPacketTypes());
    return table;
}

namespace {

// Rows by command, for the commands below kDirectCommands: a receiver's
// stream mixes classes, and a binary search's branches, mispredicted packet
// after packet, cost a good part of decoding a short body.
constexpr unsigned int kDirectCommands = 4096;
constexpr std::uint8_t kNoRow = 0xFF;

std::vector<std::uint8_t> makeDirectIndex(const std::vector<ZrPacketClass>& table) {
    std::vector<std::uint8_t> index(kDirectCommands, kNoRow);
    for (std::size_t row = 0; row < table.size() && row < kNoRow; ++row) {
        if (table[row].cmdID < kDirectCommands) index[table[row].cmdID] = static_cast<std::uint8_t>(row);
    }
    return index;
}

}  // namespace

const ZrPacketClass* ZrCatalogue::find(unsigned int cmdID) {
    const std::vector<ZrPacketClass>& table = classes();
    static const std::vector<std::uint8_t> direct = makeDirectIndex(table);
    if (cmdID < kDirectCommands && table.size() < kNoRow) {
        const std::uint8_t row = direct[cmdID];
        return row == kNoRow ? nullptr : &table[row];
    }
    auto at = std::lower_bound(table.begin(), table.end(), cmdID,
                               [](const ZrPacketClass& row, unsigned int cmd) { return row.cmdID < cmd; });
    return at != table.end() && at->cmdID == cmdID ? &*at : nullptr;
}

const ZrPacketClass* ZrCatalogue::find(const std::string& className) {
    for (const ZrPacketClass& c : classes()) {
        if (className == c.className) return &c;
    }
    return nullptr;
}

std::unique_ptr<ZrAnyPacket> ZrCatalogue::decode(const char* buf, unsigned int len, std::string& error,
                                                 const ZrPacketClass* forced) {
    if (buf == nullptr) {
        error = "no buffer to decode";
        return nullptr;
    }
    const ZrPacketClass* cls = classFor(buf, len, forced, error);
    if (cls == nullptr) return nullptr;
    std::unique_ptr<ZrAnyPacket> packet = cls->create();
    if (!decodeInto(*packet, *cls, buf, len, error)) return nullptr;
    return packet;
}

ZrPacketReceiver::ZrPacketReceiver() : m_packets(ZrCatalogue::classes().size()) {}
ZrPacketReceiver::~ZrPacketReceiver() = default;

ZrAnyPacket& ZrPacketReceiver::packetOf(const ZrPacketClass& row) {
    const std::vector<ZrPacketClass>& table = ZrCatalogue::classes();
    const std::less<const ZrPacketClass*> before;
    if (!before(&row, table.data()) && before(&row, table.data() + table.size())) {  // a row of the catalogue
        std::unique_ptr<ZrAnyPacket>& packet = m_packets[static_cast<std::size_t>(&row - table.data())];
        if (!packet) packet = row.create();
        return *packet;
    }
    for (auto& [make, packet] : m_others) {
        if (make == row.make) return *packet;
    }
    m_others.emplace_back(row.make, row.create());
    return *m_others.back().second;
}

ZrAnyPacket* ZrPacketReceiver::decode(const char* buf, unsigned int len, std::string& error,
                                      const ZrPacketClass* forced) {
    if (buf == nullptr) {
        error = "no buffer to decode";
        return nullptr;
    }
    const ZrPacketClass* cls = classFor(buf, len, forced, error);
    if (cls == nullptr) return nullptr;
    ZrAnyPacket& packet = packetOf(*cls);
    packet.head().clearLastErrMsg();  // a reused object reports only this decode's failure
    return decodeInto(packet, *cls, buf, len, error) ? &packet : nullptr;
}

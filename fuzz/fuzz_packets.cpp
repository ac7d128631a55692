// libFuzzer harness over every decoder of the library.
//
// An input that starts with STX is a whole packet, decoded by the class its
// head's command names (so packet files serve as seeds as they are); any
// other first byte picks a catalogue class by index and the rest is decoded
// with that class forced. Every input also goes through dispatchPacket and
// the raw head accessors.
//
// Properties, beyond not crashing or touching memory outside the input:
//   - a failed decode says why;
//   - a packet that decodes re-encodes, and the new bytes decode with the
//     same class to the same fields (the encrypt type and key byte are drawn
//     anew). The one allowed refusal: an enciphered compact body within the
//     compact writer's five spare bytes of the scratch half, which a peer can
//     send but this writer's room rule does not reproduce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_session_packets.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
    std::abort();
}

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

std::string fieldsOf(ZrAnyPacket& packet) {
    return zrtest::dumpHead(packet.head()) + "|" + zrtest::dumpBody(packet);
}

// The body's length as a plain packet would carry it.
std::size_t plainBodyLength(ZrAnyPacket& packet) {
    ZrCPacketHead& head = packet.head();
    const unsigned int cmdID = head.getCmdID();
    head.setCmdID(9);  // a plain command
    std::vector<char> wire(4 * PKT_SCRATCH_HALF_LEN);
    const int result = packet.enCode(wire.data(), static_cast<unsigned int>(wire.size()));
    head.setCmdID(cmdID);
    return result == 0 ? packet.getPacketLength() - PKT_ENVELOPE_MIN_LEN : 0;
}

void checkReencodes(ZrAnyPacket& first, std::size_t inputSize) {
    std::vector<char> wire(inputSize + 2 * PKT_SCRATCH_HALF_LEN);
    if (first.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) {
        const bool enciphered = first.head().isNeedEncrypt();
        if (enciphered && first.packetClass().mode == ZrBodyMode::Compact &&
            plainBodyLength(first) > PKT_SCRATCH_HALF_LEN - ZR_VARINT32_MAX_LEN) {
            return;
        }
        fail("a decoded packet does not re-encode", first.packetClass().className);
    }
    wire.resize(first.getPacketLength());
    std::string error;
    std::unique_ptr<ZrAnyPacket> second =
        ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &first.packetClass());
    if (!second) fail("a re-encoded packet does not decode", error);
    second->head().setEncryptType(first.head().getEncryptType());
    if (fieldsOf(first) != fieldsOf(*second)) {
        fail("re-encoding changed the fields", fieldsOf(first) + "\n" + fieldsOf(*second));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::vector<ZrPacketClass>& classes = ZrCatalogue::classes();
    const bool byCommand = data[0] == _STX_;
    const ZrPacketClass* forced = byCommand ? nullptr : &classes[data[0] % classes.size()];
    const std::uint8_t* packet = byCommand ? data : data + 1;
    const std::size_t length = byCommand ? size : size - 1;

    // An exact-size copy, so that a read or write past it is caught.
    std::unique_ptr<char[]> bytes(new char[length]);
    std::memcpy(bytes.get(), packet, length);
    std::string error;
    std::unique_ptr<ZrAnyPacket> decoded =
        ZrCatalogue::decode(bytes.get(), static_cast<unsigned int>(length), error, forced);
    if (!decoded) {
        if (error.empty()) fail("a failed decode gives no reason", "");
    } else {
        checkReencodes(*decoded, length);
    }

    std::vector<char> raw(packet, packet + length);
    exerciseRawAccessors(raw);
    return 0;
}

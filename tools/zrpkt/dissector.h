// The Wireshark dissector: Lua source generated from the catalogue and each
// class's named field list, so that the tree it draws cannot drift from the
// classes. Every body field becomes a filter field named
// zrpacket.<class>.<field> (records and containers add their own names to the
// path: zrpacket.ZrLoginMsgPacket.ACCONTINFO.uField2); head fields are
// zrpacket.head.<field>.
#ifndef ZRPACKET_TOOLS_ZRPKT_DISSECTOR_H
#define ZRPACKET_TOOLS_ZRPKT_DISSECTOR_H

#include <cstddef>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_stream_splitter.h"

namespace zrpkt {

// The TCP port the dissector claims unless its preference names another.
constexpr unsigned int kDissectorPort = 7633;
// The longest packet the dissector reassembles over TCP segments, the
// library's own default; one that claims more is taken for bytes that are
// no packet.
constexpr std::size_t kMaxReassembledPacket = ZR_DEFAULT_MAX_PACKET_LEN;
// With the codec module, a packet is measured over this many bytes first,
// then over twice as many until it is framed.
constexpr std::size_t kFirstMeasureWindow = 4096;
// What the first enciphered packet says when the codec module is not found.
extern const char* const kNoCodecText;

// The dissector for these classes (the catalogue's, or a test's). Throws
// std::runtime_error when a name cannot be a Wireshark field name, two
// fields would share one, or two classes a command.
std::string dissectorLua(const std::vector<ZrPacketClass>& classes);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_DISSECTOR_H

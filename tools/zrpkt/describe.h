// zrpkt describe: what a class's JSON and wire form hold, field by field.
#ifndef ZRPACKET_TOOLS_ZRPKT_DESCRIBE_H
#define ZRPACKET_TOOLS_ZRPKT_DESCRIBE_H

#include <string>

#include "zr_catalogue.h"

namespace zrpkt {

// The class's command, whether it is sent enciphered, its body mode, and
// each field in wire order with its wire type and limits; the fields of
// list elements, map keys and values, and records are indented below them.
std::string describeClass(const ZrPacketClass& row);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_DESCRIBE_H

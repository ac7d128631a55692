// Hex dumps as people paste them: the output of xxd, hexdump -C,
// od -A x -t x1 and tshark -x, whose offset and ASCII columns are not bytes.
#ifndef ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H
#define ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H

#include <string>

namespace zrpkt {

inline bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Whether `text` is laid out as one of those dumps, told by its first line:
//   xxd            00000000: 0201 0200 0000 0300 0000 002a 0000 0001  ...........*....
//   hexdump -C     00000000  02 01 02 00 00 00 03 00  00 00 00 2a 00 00 00 01  |...........*....|
//   od -A x -t x1  000000 02 01 02 00 00 00 03 00 00 00 00 2a 00 00 00 01
//   tshark -x      0000  02 01 02 00 00 00 03 00 00 00 00 2a 00 00 00 01   ...........*....
// Bare hex of a packet starts with its STX (02), never with an offset, so
// it is no dump. When it is one, `bytes` receives the bytes of every line:
// each offset must follow from the lines before it, and a '*' line (the
// line before, repeated up to the next offset) is expanded. Throws BadInput
// (without the input's name) naming the line that does not fit.
bool readHexDump(const std::string& text, std::string& bytes);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H

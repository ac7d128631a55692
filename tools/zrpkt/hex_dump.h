// Packet bytes as an input gives them: raw, as bare hex, or as a hex dump
// the way people paste one (the output of xxd, hexdump -C, od -A x -t x1
// and tshark -x, whose offset and ASCII columns are not bytes), read as the
// input comes.
#ifndef ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H
#define ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zrpkt {

inline bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The most bytes one '*' line of a dump may stand for: an offset after it
// that is further on is taken for a mistake, not expanded.
constexpr std::uint64_t kMaxRepeatBytes = 64u << 20;

class DumpReader;

// Turns an input's bytes, fed as they come, into the packet bytes they
// stand for, handed to `sink` as soon as they are known. The form is told
// from the input's start (its first line, or the first 64 KB):
//   - raw bytes: a start that is neither a dump nor only hex digits and
//     blanks. Bytes before the first packet are the stream's own, for the
//     splitter to report as skipped.
//   - a dump, told by its first line:
//       xxd            00000000: 0201 0200 0000 0300 0000 002a 0000 0001  ...........*....
//       hexdump -C     00000000  02 01 02 00 00 00 03 00  00 00 00 2a 00 00 00 01  |...........*....|
//       od -A x -t x1  000000 02 01 02 00 00 00 03 00 00 00 00 2a 00 00 00 01
//       tshark -x      0000  02 01 02 00 00 00 03 00 00 00 00 2a 00 00 00 01   ...........*....
//     Each line's offset must follow from the lines before it (a tshark -x
//     dump of several frames starts again at 0000 for each), and a '*' line
//     (the line before, repeated up to the next offset) is expanded.
//   - bare hex: hex digits and blanks, two digits a byte, as copied from a
//     capture or a log; lines are one stream. Bare hex of a packet starts
//     with its STX (02), never with an offset, so it is no dump.
// feed() throws BadInput (without the input's name) at the first line or
// character that does not fit the form; the bytes before it have been
// handed on.
class PacketText {
public:
    enum class Form { Undecided, Raw, Hex, Dump };
    using Sink = std::function<void(const char* data, std::size_t size)>;

    explicit PacketText(Sink sink);
    ~PacketText();

    void feed(const char* data, std::size_t size);
    // The input has ended. Returns what is wrong with its end, or "": no
    // bytes at all, a dump's '*' with no offset after it, hex that ends in
    // half a byte (the whole bytes before it have been handed on).
    std::string finish();
    Form form() const { return m_form; }

private:
    void decide(bool atEnd);
    void feedHex(const char* data, std::size_t size);
    void feedDump(const char* data, std::size_t size, bool atEnd);

    Sink m_sink;
    Form m_form = Form::Undecided;
    std::string m_start;           // Undecided: the input so far; Dump: a line not yet whole
    std::uint64_t m_textOffset = 0;  // Hex: of the next character
    int m_high = -1;               // Hex: the first digit of a byte, once seen
    std::uint64_t m_bytes = 0;     // handed on so far
    std::unique_ptr<DumpReader> m_dump;
    std::size_t m_lineNumber = 0;  // Dump: lines read
};

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_HEX_DUMP_H

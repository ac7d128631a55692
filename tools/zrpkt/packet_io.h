// Input and output of the inspector: whole files or standard input, packet
// bytes given raw or as hex text, and output files written whole or not at all.
#ifndef ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H
#define ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H

#include <stdexcept>
#include <string>

namespace zrpkt {

// Input the command cannot use: reported as one line, exit status 1.
class BadInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line the tool cannot act on: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Input {
    std::string name;   // the file's path, or "stdin"
    std::string bytes;  // all of it
};

// The whole of the file at `path`, or of standard input when path is empty
// or "-". Refuses a terminal as standard input (the tool would only wait)
// and anything over kMaxInputBytes.
constexpr std::size_t kMaxInputBytes = 64u << 20;
Input readInput(const std::string& path);

// The bytes an input holds: raw bytes, which start with a packet's STX; a
// hex dump of xxd, hexdump -C, od -A x -t x1 or tshark -x (hex_dump.h); or
// bare hex, only hex digits and whitespace, two digits a byte, as copied
// from a capture or a log.
std::string packetBytes(const Input& input);

// `data` to standard output when path is empty or "-". A regular file (or
// one that a symbolic link names) is made or replaced whole: written to a
// temporary file beside it that is renamed over it once complete, so that a
// failure never leaves a partial file; a replaced file keeps its mode, a new
// one gets 0666 less the umask. Anything else (a device, a FIFO, the file
// standard output is open on) is written through as it is.
void writeOutput(const std::string& path, const std::string& data);

// Whether standard output is a terminal.
bool stdoutIsTerminal();

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H

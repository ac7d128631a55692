// The inspector's subcommands. Each returns the exit status, or throws
// BadInput or UsageError (packet_io.h) for main to report.
#ifndef ZRPACKET_TOOLS_ZRPKT_COMMANDS_H
#define ZRPACKET_TOOLS_ZRPKT_COMMANDS_H

#include <cstddef>
#include <string>
#include <vector>

#include "pcap_reader.h"

namespace zrpkt {

struct DecodeOptions {
    std::vector<std::string> files;  // none: standard input
    std::string forcedClass;         // a class name or command; empty: the head's command decides
    bool pretty = false;             // each packet alone, indented: the form encode reads
    bool array = false;              // one JSON array of the lines
    std::string output;              // empty: standard output
    // A plain packet that claims more is no packet: what decode holds at most
    // for one packet not yet whole, so that its memory stays bounded.
    std::size_t maxPacketLength = std::size_t{16} << 20;
    bool snGiven = false;  // only the packets of this SN are written
    unsigned int sn = 0;
    // Each input is one packet of any command, shown as its head's fields
    // and its body's bytes: for a command no class has.
    bool raw = false;
};
// Every packet of each file (each its own stream) as a JSON line with its
// offset, written as soon as the packet is whole: input is read in blocks,
// and what they hold is written before the next is waited for. Bytes that
// are not a packet are reported with their offset and length (status 1); a
// file that cannot be read is reported and the others still decoded
// (status 1); an output file is written only when all decode, and said so
// when it is not.
int runDecode(const DecodeOptions& options);

// The packets of a capture's TCP flows as JSON lines (pcap_reader.h).
int runPcap(const PcapOptions& options);

struct EncodeOptions {
    std::string file;  // empty: standard input
    bool hex = false;  // hex text even when not writing to a terminal
    std::string output;
    bool seeded = false;  // seed the cipher variant's draw with `seed`, not the clock
    unsigned int seed = 0;
};
// The bytes of each packet of the input (an object, an array, or objects one
// after another), written as they are read; an output file only when all
// encode. An enciphered packet's variant is the one head.encryptType names,
// or drawn by the library with rand(), seeded here; a head.encryptType
// other than 0 and the one sent is noted on standard error.
int runEncode(const EncodeOptions& options);

int runList();
// The JSON of a default packet of the class, to `output` (empty: standard
// output); `full`: with one element in every list and map.
int runTemplate(const std::string& classOrCommand, bool full, const std::string& output);
// The class's fields in wire order, with their wire types and limits.
int runDescribe(const std::string& classOrCommand);
// The JSON Schema of every class (classOrCommand empty) or of one.
int runSchema(const std::string& classOrCommand, const std::string& output);
// The Wireshark dissector of the catalogue, to `output` (empty: standard output).
int runDissector(const std::string& output);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_COMMANDS_H

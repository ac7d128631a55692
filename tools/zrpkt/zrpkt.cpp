// zrpkt: packets of the library as JSON, for an engineer at a terminal.
//   zrpkt decode [FILE...]       packets (raw bytes, hex text or a hex dump) to JSON lines
//   zrpkt pcap FILE              the packets of a capture's TCP flows to JSON lines
//   zrpkt encode [FILE]          JSON packets to their bytes
//   zrpkt list                   the command table
//   zrpkt template CLASS|CMD     a JSON packet with every field at its default
//   zrpkt describe CLASS|CMD     the class's fields in wire order, with types and limits
//   zrpkt schema [CLASS|CMD]     the JSON Schema of the packets' JSON
//   zrpkt dissector [-o FILE]    the Wireshark dissector of the catalogue (Lua)
// Exit status: 0 done, 1 bad input (one line on standard error), 2 a wrong
// command line.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "dissector.h"
#include "packet_io.h"

namespace {

constexpr int kBadInput = 1;
constexpr int kUsage = 2;

const char* const kDecodeHelp = R"(Each input is a stream of packets, one after another (packets carry no
length; each is measured as it is read). It is read as it comes, and every
packet is printed as soon as it is whole, one line of JSON (JSON Lines),
its offset in the input first:
  {"offset": 0, "class": "ZrAuthSockMsgPacket", "head": {...}, "keyByte": 0, "body": {...}}
and with several FILEs a "file" member before it. Bytes that are not a
packet (stray bytes before the first one among them) are named on standard
error with their offset, length and reason, and the exit status is then 1.

An input is raw bytes; hex text (hex digits and whitespace, two digits a
byte, several lines one stream); or a dump as xxd, hexdump -C, od -A x -t x1
or tshark -x print it (offset and ASCII columns skipped, '*' lines
expanded; tshark -x shows whole frames, whose link, IP and TCP headers come
out skipped: zrpkt pcap reads captures). The first line tells which. Texts
that are not UTF-8 show as {"hex": "FF 00"}.

--raw shows a packet of a command no class has (a new one, or the corpus's
boundary packets under command 1002): its head's fields, key byte and body
bytes in hex (deciphered too, when enciphered). Packets carry no length,
and only its class knows where a packet's body ends, so --raw takes each
FILE whole as one packet, and a stream of such packets cannot be split.
A capture (pcap or pcapng) is refused: zrpkt pcap reads captures.

Examples:
  cat a.bin b.bin | zrpkt decode
  zrpkt decode --pretty packet.bin > packet.json    # edit, then zrpkt encode packet.json
  zrpkt decode s.bin | zrpkt encode --seed 1 > t.bin   # t.bin is s.bin again
  zrpkt decode --array --sn 7 -o packets.json capture.hex
  zrpkt decode --raw tests/corpus/ZrAuthSockMsgPacket.boundary.bin
)";

const char* const kPcapHelp = R"(Each direction of a TCP connection is a flow: its segments are put in
order (a retransmission counted once), and its bytes split into packets as
a stream of their own. Each packet is one line of JSON:
  {"time": "2026-12-08T19:42:35.123456Z", "flow": {"src": "10.0.0.1:40000",
   "dst": "10.0.0.2:7633"}, "offset": 0, "class": ..., "head": ..., ...}
time and frame: the capture time (UTC) and frame number (from 1) of the
segment with the last of its bytes; connection: the connection's index (from
0, in the order connections began: a 4-tuple used again is a new one);
offset: from the flow's first byte (its first captured byte, for a
connection open before the capture began). IPv4 and IPv6 alike, Ethernet or
Linux cooked (v1 and v2) among the link types; enciphered bodies are
deciphered by the linked codec.

--pair: a packet with the SN and command of one sent the other way on the
same connection, and not yet answered, is its reply (to the oldest such,
when several wait): its line gains
  "request": {"offset": 0, "frame": 4, "time": "..."}, "latency": 0.0012
(the request's place, and the seconds between the two). A packet that
answers a request already answered is a second reply: its line gains
"secondReplyTo" in place of "request", and standard error says so, as it
lists the client's packets with no reply by the connection's end.

--stats: instead of the packets, one table of the capture's requests and
replies, by the request's class: requests, replies, requests left without
one, second replies, and the reply latency's 50th, 90th and 99th
percentiles and maximum, in milliseconds (--json: one JSON object, in
seconds). --class and --sn keep only the requests of that class or SN.

On standard error, one line each (and then exit status 1): bytes that are
not a packet, and bytes missing from the capture (a gap: the peer
acknowledged bytes after them, or the flow ended without them). The packet
a gap cuts is reported, and splitting resumes at the next plausible head.

Examples:
  zrpkt pcap capture.pcapng
  zrpkt pcap --port 9000 --sn 7 capture.pcap
  zrpkt pcap --pair --class ZrLoginMsgPacket capture.pcap
  zrpkt pcap --stats --json capture.pcap
  tcpdump -i any -w - 'tcp port 7633' | zrpkt pcap -
)";

const char* const kEncodeHelp = R"(Reads one JSON packet, an array of them, or any number one after another
(JSON Lines, or decode --pretty's objects) as they come, and writes their
bytes one after another; the members decode and pcap put before a packet's
own (offset, file, time, frame, connection, flow, request, latency) are
passed over. Fields left out keep their defaults. encryptType follows from
cmdID: 0 for a plain command, else the variant 1-8 head.encryptType names,
or one drawn at random (seeded from the clock, or by --seed for the same
bytes on every run). Writes raw bytes, or hex when --hex is given or
standard output is a terminal.

Examples:
  zrpkt template ZrAuthSockMsgPacket > p.json   # edit p.json, then
  zrpkt encode --hex p.json
  zrpkt encode p.json -o p.bin
  zrpkt pcap capture.pcap | zrpkt encode > flows.bin
)";

const char* const kListHelp = R"(Example:
  zrpkt list
)";

const char* const kTemplateHelp = R"(Examples:
  zrpkt template 3 > p.json    # or: zrpkt template ZrAuthSockMsgPacket
  zrpkt template --full ZrLoginMsgPacket -o login.json
)";

const char* const kDescribeHelp = R"(Example:
  zrpkt describe ZrLexsGetStbInfoMsgPacket    # or: zrpkt describe 104
)";

const char* const kSchemaHelp = R"(A JSON Schema (draft 2020-12) of the JSON that encode reads and decode
writes, from each class's fields: integer ranges, text limits, the
{"hex": ...} form, lists of at most 1000 elements. An editor that reads JSON
Schema completes and checks packet JSON with it. encode still refuses a few
documents the schema lets through: a char[N] text of at most N-1 characters
but more UTF-8 bytes, an integer written as 1.0, a map key given twice.

Examples:
  zrpkt schema -o zrpacket.schema.json
  zrpkt schema ZrLoginMsgPacket
)";

// After "The dissector claims TCP port N".
const char* const kDissectorHelp = R"( (preference zrpacket.tcp_port) and finds
packets on other TCP ports by their start byte and command.

The codec module zrpacket_codec.so, built beside the dissector
(build/<preset>/) and installed beside it (share/zrpacket/), deciphers
enciphered bodies and frames packets by the library's own rule. Wireshark
finds it in the directory the dissector is loaded from, or on LUA_CPATH
(LUA_CPATH='/opt/zrpacket/share/zrpacket/?.so;;'). Without it ciphers show
as bytes, their ends are guessed, and the first one says so.

Examples:
  zrpkt dissector -o ~/.local/lib/wireshark/plugins/zrpacket.lua
  zrpkt dissector -o zrpacket.lua && tshark -X lua_script:zrpacket.lua -r capture.pcap -V
)";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Packets of the zrpacket library as JSON: decode, pcap, encode, list, template, describe, schema; and "
        "their Wireshark dissector.",
        "zrpkt"};
    app.require_subcommand(1);

    zrpkt::DecodeOptions decode;
    CLI::App* decodeCmd =
        app.add_subcommand("decode", "Packets (raw bytes, hex text or a hex dump) to JSON, one line a packet");
    decodeCmd->add_option("FILE", decode.files, "Inputs, each a stream of packets; standard input when none")
        ->type_name("");
    decodeCmd->add_option("--class", decode.forcedClass, "Decode as this class (name or command)")->type_name("NAME");
    CLI::Option* decodeSn =
        decodeCmd->add_option("--sn", decode.sn, "Write only the packets of this SN")->type_name("N");
    CLI::Option* prettyOption =
        decodeCmd->add_flag("--pretty", decode.pretty, "Each packet alone, indented by two: the form encode reads");
    CLI::Option* arrayOption =
        decodeCmd->add_flag("--array", decode.array, "One JSON array of the lines (each with its offset)");
    prettyOption->excludes(arrayOption);
    // Kept for scripts written when indented output was the default.
    decodeCmd->add_flag("--compact", "One line of JSON a packet (the default)")->group("")->excludes(prettyOption);
    decodeCmd->add_option("-o,--output", decode.output, "Write to FILE, only if every byte is a packet")
        ->type_name("FILE");
    decodeCmd
        ->add_option("--max-packet", decode.maxPacketLength,
                     "A plain packet that claims more bytes is taken for bytes that are no packet (default 16 MiB)")
        ->type_name("BYTES");
    decodeCmd
        ->add_flag("--raw", decode.raw,
                   "Each input is one packet of any command: its head's fields and its body's bytes in hex")
        ->excludes("--class");
    decodeCmd->footer(kDecodeHelp);

    zrpkt::PcapOptions pcap;
    CLI::App* pcapCmd = app.add_subcommand("pcap", "The packets of a capture's TCP flows to JSON, one line a packet");
    pcapCmd->add_option("FILE", pcap.file, "A pcap or pcapng capture; - for standard input")->required()->type_name("");
    CLI::Option* portOption =
        pcapCmd
            ->add_option("--port", pcap.port,
                         "The flows to or from this TCP port (default " + std::to_string(zrpkt::kDissectorPort) + ")")
            ->type_name("N")
            ->check(CLI::Range(1, 65535));
    pcapCmd->add_flag("--any-port", pcap.anyPort, "Every TCP flow whose first bytes are a plausible head")
        ->excludes(portOption);
    pcapCmd->add_flag("--pair", pcap.pair,
                      "Match each reply to its request (same SN and command, the other way); list requests left "
                      "without reply");
    pcapCmd->add_option("--class", pcap.onlyClassName, "Write only the packets of this class (name or command)")
        ->type_name("NAME");
    CLI::Option* pcapSn = pcapCmd->add_option("--sn", pcap.sn, "Write only the packets of this SN")->type_name("N");
    CLI::Option* statsOption = pcapCmd->add_flag(
        "--stats", pcap.stats,
        "Instead of the packets, a table by class: requests, replies, unanswered, reply latency p50/p90/p99/max");
    pcapCmd->add_flag("--json", pcap.json, "The --stats table as JSON")->needs(statsOption);
    pcapCmd->footer(kPcapHelp);

    zrpkt::EncodeOptions encode;
    CLI::App* encodeCmd = app.add_subcommand("encode", "JSON packets to their bytes");
    encodeCmd->add_option("FILE", encode.file, "The JSON packets; standard input when none")->type_name("");
    encodeCmd->add_flag("--hex", encode.hex, "Write hex text, 16 bytes a line");
    encodeCmd->add_option("-o,--output", encode.output, "Write to FILE, only if every packet encodes")->type_name("FILE");
    CLI::Option* seedOption =
        encodeCmd->add_option("--seed", encode.seed, "Seed the draw of the cipher variant (reproducible output)")
            ->type_name("N");
    encodeCmd->footer(kEncodeHelp);

    CLI::App* listCmd = app.add_subcommand("list", "The command table: command, class, plain or enciphered, mode");
    listCmd->footer(kListHelp);

    std::string templateClass, templateFile;
    bool templateFull = false;
    CLI::App* templateCmd = app.add_subcommand("template", "A JSON packet with every field at its default");
    templateCmd->add_option("CLASS", templateClass, "Class name or command")->required()->type_name("");
    templateCmd->add_flag("--full", templateFull, "One element in every list and map, to show its fields");
    templateCmd->add_option("-o,--output", templateFile, "Write to FILE instead of standard output")->type_name("FILE");
    templateCmd->footer(kTemplateHelp);

    std::string describeClass;
    CLI::App* describeCmd = app.add_subcommand("describe", "A class's fields in wire order, with types and limits");
    describeCmd->add_option("CLASS", describeClass, "Class name or command")->required()->type_name("");
    describeCmd->footer(kDescribeHelp);

    std::string schemaClass, schemaFile;
    CLI::App* schemaCmd = app.add_subcommand("schema", "The JSON Schema of the packets' JSON, for editors");
    schemaCmd->add_option("CLASS", schemaClass, "Class name or command; every class when none")->type_name("");
    schemaCmd->add_option("-o,--output", schemaFile, "Write to FILE instead of standard output")->type_name("FILE");
    schemaCmd->footer(kSchemaHelp);

    std::string dissectorFile;
    CLI::App* dissectorCmd = app.add_subcommand("dissector", "The Wireshark dissector (Lua) of the catalogue");
    dissectorCmd->add_option("-o,--output", dissectorFile, "Write to FILE instead of standard output")
        ->type_name("FILE");
    dissectorCmd->footer("The dissector claims TCP port " + std::to_string(zrpkt::kDissectorPort) + kDissectorHelp);

    app.footer("Run zrpkt SUBCOMMAND --help for its options and an example.\n");
    app.set_version_flag("--version", std::string("zrpkt ") + ZRPACKET_VERSION, "Print the version and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        const std::vector<std::string> left = app.remaining();
        if (app.get_subcommands().empty() && !left.empty() && left.front().rfind('-', 0) != 0) {
            std::string names;
            for (const CLI::App* sub : app.get_subcommands({})) names += (names.empty() ? "" : ", ") + sub->get_name();
            std::cerr << "zrpkt: unknown subcommand \"" << left.front() << "\"; the subcommands are " << names
                      << " (see zrpkt --help)\n";
        } else {
            std::cerr << "zrpkt: " << e.what() << " (see zrpkt --help)\n";
        }
        return kUsage;
    }

    encode.seeded = seedOption->count() > 0;
    pcap.snGiven = pcapSn->count() > 0;
    decode.snGiven = decodeSn->count() > 0;
    try {
        if (*decodeCmd) return zrpkt::runDecode(decode);
        if (*pcapCmd) return zrpkt::runPcap(pcap);
        if (*encodeCmd) return zrpkt::runEncode(encode);
        if (*listCmd) return zrpkt::runList();
        if (*dissectorCmd) return zrpkt::runDissector(dissectorFile);
        if (*describeCmd) return zrpkt::runDescribe(describeClass);
        if (*schemaCmd) return zrpkt::runSchema(schemaClass, schemaFile);
        return zrpkt::runTemplate(templateClass, templateFull, templateFile);
    } catch (const zrpkt::UsageError& e) {
        std::cerr << "zrpkt: " << e.what() << " (see zrpkt --help)\n";
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "zrpkt: " << e.what() << '\n';
        return kBadInput;
    }
}

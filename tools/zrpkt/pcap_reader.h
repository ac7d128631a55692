// zrpkt pcap: the packets of the TCP flows in a pcap or pcapng capture,
// read with libtins, whose stream follower puts each connection's segments
// in order.
#ifndef ZRPACKET_TOOLS_ZRPKT_PCAP_READER_H
#define ZRPACKET_TOOLS_ZRPKT_PCAP_READER_H

#include <iosfwd>
#include <string>

#include "dissector.h"
#include "zr_catalogue.h"

namespace zrpkt {

struct PcapOptions {
    std::string file;                    // "-": standard input
    unsigned int port = kDissectorPort;  // the flows to or from this TCP port
    bool anyPort = false;                // every TCP flow whose first bytes are a plausible head
    bool pair = false;                   // replies matched to their requests
    std::string onlyClassName{};         // --class as given: a class name or command
    const ZrPacketClass* onlyClass = nullptr;  // only the packets of this class are written
    bool snGiven = false;                // only the packets of this SN are written
    unsigned int sn = 0;
    bool stats = false;                  // a table of requests and replies (pairing them) instead of packets
    bool json = false;                   // the table as JSON
};

// Each direction of a TCP connection is a flow, split into packets as a
// stream of its own. Every packet goes to `out` as a JSON line:
//   {"time": "2026-12-08T19:42:35.123456Z", "frame": 7, "connection": 0,
//    "flow": {"src": "10.0.0.1:40000", "dst": "10.0.0.2:7633"},
//    "offset": 0, "class": ..., "head": ..., "keyByte": ..., "body": ...}
// with the capture time (UTC) at which the last of its bytes had come and
// its offset in the flow. Bytes that are not a packet, and bytes the capture
// lacks (a gap in a flow), go to `err` as one line each, naming the flow,
// offset and length. After a gap the packet it cut is reported and
// splitting starts afresh, offsets still counting from the flow's start.
// A gap is taken as lost when the peer acknowledges bytes after it, when
// the flow holds more than a receiver would buffer after it, when the
// connection closes, or at the end of the capture.
// With `pair`, a packet that answers one sent the other way (same SN and
// command, the oldest not yet answered) carries that request's offset,
// frame and time, and the latency in seconds; one that answers a request
// answered already carries it as "secondReplyTo", and `err` says so, as it
// lists the client's packets left unanswered when the connection ends.
// With `stats`, one table of requests and replies by class goes to `out`
// in place of the packets. A port no TCP flow used is said, with the ports
// the capture's connections did use.
// Returns 0 when every flow split cleanly, 1 when anything was skipped or
// lost (a request unanswered or answered twice among it), no flow used the
// port, or the file cannot be read.
int readCapture(const PcapOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_PCAP_READER_H

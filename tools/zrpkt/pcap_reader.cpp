#include "pcap_reader.h"

#include <pcap/pcap.h>
#include <tins/exceptions.h>
#include <tins/ip.h>
#include <tins/ipv6.h>
#include <tins/packet.h>
#include <tins/detail/pdu_helpers.h>
#include <tins/tcp.h>
#include <tins/tcp_ip/stream_follower.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "packet_stream.h"

namespace zrpkt {

namespace {

using Tins::TCPIP::Flow;
using Tins::TCPIP::Stream;
using Nanos = std::chrono::nanoseconds;

// Out-of-order data a flow may hold after a gap before the gap is taken as
// lost: well below the follower's own limits (512 segments or 3 MB for a
// connection), past which it would drop the connection and its data.
constexpr std::size_t kMaxBufferedSegments = 200;
constexpr std::uint32_t kMaxBufferedBytes = 1u << 20;

// --any-port: how far into a flow whose capture began inside its connection
// a whole packet is looked for.
constexpr std::size_t kPartialFlowSearchBytes = 64 * 1024;

// The bytes that show a head's start byte, command and encryptType.
constexpr std::size_t kHeadBytes = PKT_OFFSET_ENCRYPT_TYPE + 1;

// How far sequence number a lies after b (negative: before), modulo 2^32.
std::int32_t seqAfter(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

std::string endpoint(const std::string& address, unsigned int port, bool v6) {
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

// 2026-12-08T19:42:35.123456Z, or .123456789Z for a capture in nanoseconds.
std::string utcTime(Nanos time, bool nanoseconds) {
    const std::int64_t ns = time.count();
    const std::time_t seconds = static_cast<std::time_t>(ns / 1000000000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[48];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    const int fraction = static_cast<int>(ns % 1000000000);
    if (nanoseconds) {
        std::snprintf(text + n, sizeof text - n, ".%09dZ", fraction);
    } else {
        std::snprintf(text + n, sizeof text - n, ".%06dZ", fraction / 1000);
    }
    return text;
}

// The source and destination of a TCP segment.
std::pair<std::string, std::string> endpoints(const Tins::PDU& pdu, const Tins::TCP& tcp) {
    if (const auto* ip = pdu.find_pdu<Tins::IP>()) {
        return {endpoint(ip->src_addr().to_string(), tcp.sport(), false),
                endpoint(ip->dst_addr().to_string(), tcp.dport(), false)};
    }
    const auto* ip6 = pdu.find_pdu<Tins::IPv6>();
    if (ip6 == nullptr) return {};
    return {endpoint(ip6->src_addr().to_string(), tcp.sport(), true),
            endpoint(ip6->dst_addr().to_string(), tcp.dport(), true)};
}

// Linux cooked capture v2: a 20-byte header, its first two bytes the
// EtherType of what follows.
constexpr int kLinkTypeLinuxSll2 = 276;
constexpr std::size_t kLinuxSll2HeaderBytes = 20;

// The IP packet of a Linux cooked v2 frame; null when it carries none.
Tins::PDU* fromLinuxSll2(const std::uint8_t* bytes, std::uint32_t size) {
    if (size < kLinuxSll2HeaderBytes) return nullptr;
    const unsigned int etherType = static_cast<unsigned int>(bytes[0]) << 8 | bytes[1];
    bytes += kLinuxSll2HeaderBytes;
    size -= static_cast<std::uint32_t>(kLinuxSll2HeaderBytes);
    if (etherType == 0x0800) return new Tins::IP(bytes, size);
    if (etherType == 0x86DD) return new Tins::IPv6(bytes, size);
    return nullptr;
}

// A frame of the capture's link type, taken apart; null when it is
// malformed or no layer of it is known. libtins has no parser for Linux
// cooked v2 (what capturing on "any" writes): its header is read here.
std::unique_ptr<Tins::PDU> linkLayer(int linkType, const std::uint8_t* bytes, std::uint32_t size) {
    try {
        return std::unique_ptr<Tins::PDU>(linkType == kLinkTypeLinuxSll2
                                              ? fromLinuxSll2(bytes, size)
                                              : Tins::Internals::pdu_from_dlt_flag(linkType, bytes, size, false));
    } catch (const Tins::exception_base&) {
        return nullptr;  // a malformed frame is passed over, as libtins's own reader does
    }
}

// Whether libtins (or linkLayer) takes frames of this link type apart: a
// known type refuses an empty frame as malformed, an unknown one gives no PDU.
bool readsLinkType(int linkType) {
    if (linkType == kLinkTypeLinuxSll2) return true;
    const std::uint8_t none = 0;
    try {
        std::unique_ptr<Tins::PDU> pdu(Tins::Internals::pdu_from_dlt_flag(linkType, &none, 0, false));
        return pdu != nullptr;
    } catch (const Tins::exception_base&) {
        return true;
    }
}

// Whether the capture's times are in nanoseconds: a pcap file whose magic
// number says so (libpcap gives every file's times in nanoseconds here,
// micro-second ones multiplied). Standard input and pcapng: microseconds.
bool inNanoseconds(const std::string& file) {
    if (file == "-") return false;
    unsigned char magic[4] = {};
    std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(magic), sizeof magic);
    return (magic[0] == 0xA1 && magic[1] == 0xB2 && magic[2] == 0x3C && magic[3] == 0x4D) ||
           (magic[0] == 0x4D && magic[1] == 0x3C && magic[2] == 0xB2 && magic[3] == 0xA1);
}

// When bytes were at hand: the capture time and frame number (from 1) of
// the segment that brought them.
struct Moment {
    Nanos time{0};
    std::uint64_t frame = 0;
    bool operator==(const Moment& o) const { return time == o.time && frame == o.frame; }
    bool operator<(const Moment& o) const { return time < o.time || (time == o.time && frame < o.frame); }
};

// A packet that waits for its reply in the other direction, or has had it.
struct Unanswered {
    std::uint64_t offset;
    Moment at;
    const ZrPacketClass* packetClass;
    unsigned int sn;
};

// Requests and replies are told apart by (SN, command).
using PairKey = std::pair<unsigned int, unsigned int>;

// What pairing made of a packet.
struct Pairing {
    enum class Part { Request, Reply, SecondReply };
    Part part = Part::Request;
    Unanswered request{};  // Reply, SecondReply: the request it answers
};

// --stats: the requests of one class and their replies.
struct ClassStats {
    std::uint64_t requests = 0, replies = 0, unanswered = 0, secondReplies = 0;
    std::vector<double> latencies;  // seconds
};

// One direction of a TCP connection.
struct FlowState {
    enum class Kind { Undecided, Ours, Others };

    Flow* flow = nullptr;  // the follower's
    std::string src, dst;
    Kind kind = Kind::Ours;
    std::string head;       // Undecided: the flow's first bytes, until they tell
    bool partial = false;   // the capture began after the connection's start
    std::uint64_t fed = 0;  // the flow offset of the next byte the follower expects
    // Segments that came ahead of a gap: flow offset -> (end, capture time).
    std::map<std::uint64_t, std::pair<std::uint64_t, Moment>> early;
    // The bytes handed on and not yet taken out, in order: (end offset, the
    // capture time at which they were at hand).
    std::deque<std::pair<std::uint64_t, Moment>> spans;
    std::unique_ptr<PacketStream> stream;
    std::uint64_t connection = 0;  // the connection's index, in the order connections were seen
    FlowState* peer = nullptr;     // the other direction
    // --pair: packets with no reply yet, by (SN, command), oldest first;
    // and the last of each that had one, so that a second reply is known.
    std::map<PairKey, std::deque<Unanswered>> unanswered;
    std::map<PairKey, Unanswered> answered;
};

struct Connection {
    std::array<FlowState, 2> flows;  // the client's data, the server's
};

class CaptureReader {
public:
    CaptureReader(const PcapOptions& options, std::ostream& out, std::ostream& err)
        : m_options(options), m_name(options.file == "-" ? "stdin" : options.file), m_out(out), m_err(err) {}

    int run();

private:
    void open(Stream& stream);
    void close(const Stream& stream);
    FlowState* flowOf(const Stream& stream, int side);
    void acknowledged(const Tins::PDU& pdu, const Tins::TCP& tcp);
    void outOfOrder(FlowState& f, std::uint32_t seq, std::size_t size);
    void takeBuffered(FlowState& f, const std::uint32_t* acknowledged);
    void deliver(FlowState& f, const std::uint8_t* data, std::size_t size);
    void decide(FlowState& f, bool now);
    void take(FlowState& f);  // --any-port: the flow is ours
    PacketStream& streamOf(FlowState& f);  // made at the flow's first byte or gap
    void endFlow(FlowState& f);
    Moment timeOf(FlowState& f, std::uint64_t offset, std::size_t length);
    void onPacket(FlowState& f, std::uint64_t offset, std::size_t length, ZrAnyPacket& packet);
    Pairing pairUp(FlowState& f, const Unanswered& packet);
    bool counted(const Unanswered& request) const;
    void endConnection(Connection& connection);
    void report(const FlowState& f, const std::string& text);
    void noteOtherFlow(const Tins::PDU& pdu, const Tins::TCP& tcp);
    void reportNoFlow();
    void writeStats();

    const PcapOptions& m_options;
    const std::string m_name;
    std::ostream& m_out;
    std::ostream& m_err;
    ZrPacketReceiver m_receiver;
    ZrPacketMeter m_meter;  // --any-port: judges a flow's first bytes
    Moment m_now;           // the segment at hand
    bool m_nanoseconds = false;  // times shown to the nanosecond
    int m_status = 0;
    std::uint64_t m_opened = 0;
    // Connections by the order they were seen in, so that those still open
    // at the end are ended in that order; and the follower's stream of each.
    std::map<std::uint64_t, Connection> m_connections;
    std::map<const Stream*, std::uint64_t> m_orderOf;
    // "src dst" of each flow: its connection and side, for the peer's acknowledgements.
    std::map<std::string, std::pair<const Stream*, int>> m_byEndpoints;
    // --stats: by the request's command.
    std::map<unsigned int, ClassStats> m_stats;
    // --port: the TCP connections on other ports, by their two endpoints, each
    // with its server's port (the port its SYN went to, or else the lower one).
    std::map<std::string, unsigned int> m_otherFlows;
};

int CaptureReader::run() {
    // Read with libpcap at nanosecond precision (libtins's file reader gives
    // microseconds), each frame's link layer taken apart by libtins.
    char error[PCAP_ERRBUF_SIZE] = "";
    std::unique_ptr<pcap_t, void (*)(pcap_t*)> capture(
        pcap_open_offline_with_tstamp_precision(m_options.file.c_str(), PCAP_TSTAMP_PRECISION_NANO, error),
        pcap_close);
    if (!capture) {
        // libpcap's texts often start with the file's name already.
        std::string why = error;
        if (why.rfind(m_options.file + ": ", 0) == 0) why.erase(0, m_options.file.size() + 2);
        m_err << "zrpkt: " << m_name << ": cannot read the capture: " << why << '\n';
        return 1;
    }
    const int linkType = pcap_datalink(capture.get());
    if (!readsLinkType(linkType)) {
        m_err << "zrpkt: " << m_name << ": link type " << linkType
              << " is not one zrpkt reads (Ethernet, Linux cooked v1 and v2, loopback, raw IP, 802.11, PPI)\n";
        return 1;
    }
    m_nanoseconds = inNanoseconds(m_options.file);
    Tins::TCPIP::StreamFollower follower;
    follower.follow_partial_streams(true);  // connections already open when the capture began
    // Idle connections are not dropped; a capture is read to its end.
    follower.stream_keep_alive(std::chrono::hours(24 * 365 * 100));
    follower.new_stream_callback([this](Stream& stream) { open(stream); });
    follower.stream_termination_callback(
        [this](Stream& stream, Tins::TCPIP::StreamFollower::TerminationReason) { close(stream); });
    try {
        for (;;) {
            pcap_pkthdr* header = nullptr;
            const u_char* data = nullptr;
            const int got = pcap_next_ex(capture.get(), &header, &data);
            if (got == PCAP_ERROR_BREAK) break;  // the end
            if (got != 1) {
                // A capture cut off in the middle of a record ends early, with this said.
                m_err << "zrpkt: " << m_name << ": " << pcap_geterr(capture.get()) << '\n';
                m_status = 1;
                break;
            }
            ++m_now.frame;
            std::unique_ptr<Tins::PDU> pdu = linkLayer(linkType, data, header->caplen);
            const Tins::TCP* tcp = pdu ? pdu->find_pdu<Tins::TCP>() : nullptr;
            if (tcp == nullptr) continue;
            if (!m_options.anyPort && tcp->sport() != m_options.port && tcp->dport() != m_options.port) {
                if (m_opened == 0) noteOtherFlow(*pdu, *tcp);
                continue;
            }
            m_now.time = Nanos(std::chrono::seconds(header->ts.tv_sec)) + Nanos(header->ts.tv_usec);
            if (tcp->get_flag(Tins::TCP::ACK)) acknowledged(*pdu, *tcp);
            Tins::Packet packet(pdu.release(),
                                Tins::Timestamp(std::chrono::duration_cast<std::chrono::microseconds>(m_now.time)),
                                Tins::Packet::own_pdu());
            follower.process_packet(packet);
            // A capture piped in as it is made: each packet reaches the reader
            // before the next frame is waited for.
            if (m_options.file == "-") m_out.flush();
        }
    } catch (const std::exception& e) {
        m_err << "zrpkt: " << m_name << ": " << e.what() << '\n';
        m_status = 1;
    }
    for (auto& [order, connection] : m_connections) endConnection(connection);
    if (m_opened == 0 && !m_options.anyPort) reportNoFlow();
    if (m_options.stats) writeStats();
    return m_status;
}

// At most this many connections on other ports are told apart, to name their
// ports when none is on the one asked for.
constexpr std::size_t kMaxOtherFlows = 4096;
// The busiest of their ports are named, at most this many.
constexpr std::size_t kPortsNamed = 10;

void CaptureReader::noteOtherFlow(const Tins::PDU& pdu, const Tins::TCP& tcp) {
    auto [src, dst] = endpoints(pdu, tcp);
    if (dst < src) std::swap(src, dst);
    const bool syn = tcp.get_flag(Tins::TCP::SYN);
    const unsigned int server = syn && !tcp.get_flag(Tins::TCP::ACK) ? tcp.dport()
                                : syn                                 ? tcp.sport()
                                                                      : std::min(tcp.sport(), tcp.dport());
    const auto it = m_otherFlows.find(src + " " + dst);
    if (it != m_otherFlows.end()) {
        if (syn) it->second = server;
    } else if (m_otherFlows.size() < kMaxOtherFlows) {
        m_otherFlows.emplace(src + " " + dst, server);
    }
}

// --port N where no TCP flow used port N: said, with the ports that did carry flows.
void CaptureReader::reportNoFlow() {
    std::map<unsigned int, std::size_t> ports;
    for (const auto& flow : m_otherFlows) ++ports[flow.second];
    std::string text = "no TCP flow to or from port " + std::to_string(m_options.port);
    if (ports.empty()) {
        text += ": the capture holds no TCP flow";
    } else {
        std::vector<std::pair<std::size_t, unsigned int>> busiest;
        for (const auto& [port, count] : ports) busiest.emplace_back(count, port);
        std::sort(busiest.begin(), busiest.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        text += "; the capture's TCP connections are on port";
        text += busiest.size() == 1 ? " " : "s ";
        for (std::size_t i = 0; i < busiest.size() && i < kPortsNamed; ++i) {
            text += (i == 0 ? "" : ", ") + std::to_string(busiest[i].second) + " (" + std::to_string(busiest[i].first) +
                    ")";
        }
        if (busiest.size() > kPortsNamed) text += " and " + std::to_string(busiest.size() - kPortsNamed) + " more";
        text += "; --port N reads port N, --any-port every flow that starts with a packet";
    }
    m_err << "zrpkt: " << m_name << ": " << text << '\n';
    m_status = 1;
}

void CaptureReader::open(Stream& stream) {
    const bool v6 = stream.is_v6();
    const std::string client = endpoint(v6 ? stream.client_addr_v6().to_string() : stream.client_addr_v4().to_string(),
                                        stream.client_port(), v6);
    const std::string server = endpoint(v6 ? stream.server_addr_v6().to_string() : stream.server_addr_v4().to_string(),
                                        stream.server_port(), v6);
    // A 4-tuple used again is a new connection (the follower's stream is made anew).
    const auto old = m_orderOf.find(&stream);
    if (old != m_orderOf.end()) m_connections.erase(old->second);
    m_orderOf[&stream] = m_opened;
    Connection& connection = m_connections[m_opened++];
    for (int side = 0; side < 2; ++side) {
        FlowState& f = connection.flows[static_cast<std::size_t>(side)];
        f.connection = m_opened - 1;
        f.peer = &connection.flows[static_cast<std::size_t>(1 - side)];
        f.flow = side == 0 ? &stream.client_flow() : &stream.server_flow();
        f.src = side == 0 ? client : server;
        f.dst = side == 0 ? server : client;
        f.kind = m_options.anyPort ? FlowState::Kind::Undecided : FlowState::Kind::Ours;
        f.partial = stream.is_partial_stream();
        m_byEndpoints[f.src + " " + f.dst] = {&stream, side};
    }
    auto data = [this](int side) {
        return [this, side](Stream& s) {
            if (FlowState* f = flowOf(s, side)) {
                auto& payload = side == 0 ? s.client_payload() : s.server_payload();
                deliver(*f, payload.data(), payload.size());
            }
        };
    };
    auto outOfOrder = [this](int side) {
        return [this, side](Stream& s, std::uint32_t seq, const Stream::payload_type& payload) {
            if (FlowState* f = flowOf(s, side)) this->outOfOrder(*f, seq, payload.size());
        };
    };
    stream.client_data_callback(data(0));
    stream.server_data_callback(data(1));
    stream.client_out_of_order_callback(outOfOrder(0));
    stream.server_out_of_order_callback(outOfOrder(1));
    stream.stream_closed_callback([this](Stream& s) { close(s); });
}

void CaptureReader::close(const Stream& stream) {
    const auto order = m_orderOf.find(&stream);
    if (order == m_orderOf.end()) return;
    const auto it = m_connections.find(order->second);
    endConnection(it->second);
    for (FlowState& f : it->second.flows) m_byEndpoints.erase(f.src + " " + f.dst);
    m_connections.erase(it);
    m_orderOf.erase(order);
}

FlowState* CaptureReader::flowOf(const Stream& stream, int side) {
    const auto order = m_orderOf.find(&stream);
    return order != m_orderOf.end() ? &m_connections[order->second].flows[static_cast<std::size_t>(side)] : nullptr;
}

// A peer that acknowledges bytes after a gap has had the bytes the capture
// lacks: they will not come.
void CaptureReader::acknowledged(const Tins::PDU& pdu, const Tins::TCP& tcp) {
    const auto [src, dst] = endpoints(pdu, tcp);
    const auto it = m_byEndpoints.find(dst + " " + src);
    if (it == m_byEndpoints.end()) return;
    FlowState* f = flowOf(*it->second.first, it->second.second);
    const std::uint32_t ack = tcp.ack_seq();
    if (f != nullptr && !f->flow->buffered_payload().empty() && seqAfter(ack, f->flow->sequence_number()) > 0) {
        takeBuffered(*f, &ack);
    }
}

void CaptureReader::outOfOrder(FlowState& f, std::uint32_t seq, std::size_t size) {
    const std::int32_t after = seqAfter(seq, f.flow->sequence_number());
    if (after <= 0 || size == 0) return;  // bytes already had: a retransmission
    const std::uint64_t at = f.fed + static_cast<std::uint64_t>(after);
    f.early.emplace(at, std::make_pair(at + size, m_now));  // a retransmission keeps the first time
    if (f.flow->buffered_payload().size() >= kMaxBufferedSegments ||
        f.flow->total_buffered_bytes() + size > kMaxBufferedBytes) {
        takeBuffered(f, nullptr);
    }
}

// Gives up the bytes before the flow's buffered segments (those up to
// `acknowledged`, or all) as lost, and hands the segments on.
void CaptureReader::takeBuffered(FlowState& f, const std::uint32_t* acknowledged) {
    Flow& flow = *f.flow;
    for (;;) {
        const auto& buffered = flow.buffered_payload();
        if (buffered.empty()) return;
        const std::uint32_t seq = flow.sequence_number();
        // The segment nearest after the sequence number (the keys may wrap around).
        const auto next = std::min_element(buffered.begin(), buffered.end(), [seq](const auto& a, const auto& b) {
            return a.first - seq < b.first - seq;
        });
        if (acknowledged != nullptr && seqAfter(next->first, *acknowledged) > 0) return;
        const std::uint32_t missing = next->first - seq;
        if (missing > 0) {
            decide(f, true);
            if (f.kind == FlowState::Kind::Ours) {
                report(f, byteCount(missing) + " missing from the capture at offset " + std::to_string(f.fed));
                streamOf(f).gap(missing);
            }
            f.fed += missing;
        }
        // The bytes from there that the buffered segments hold without a break.
        std::vector<std::uint8_t> run;
        std::uint32_t at = next->first;
        for (bool grew = true; grew;) {
            grew = false;
            for (const auto& [start, bytes] : buffered) {
                const std::int32_t into = seqAfter(at, start);
                if (into >= 0 && static_cast<std::size_t>(into) < bytes.size()) {
                    run.insert(run.end(), bytes.begin() + into, bytes.end());
                    at = start + static_cast<std::uint32_t>(bytes.size());
                    grew = true;
                }
            }
        }
        flow.advance_sequence(at);  // drops the segments taken
        deliver(f, run.data(), run.size());
    }
}

void CaptureReader::deliver(FlowState& f, const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    // Each byte was at hand when its segment came: an early one at its own
    // time, the rest now.
    std::uint64_t at = f.fed;
    const std::uint64_t end = at + size;
    while (at < end) {
        const auto early = f.early.begin();
        if (early != f.early.end() && early->second.first <= at) {
            f.early.erase(early);
            continue;
        }
        std::uint64_t to = end;
        Moment when = m_now;
        if (early != f.early.end() && early->first <= at) {
            to = std::min(end, early->second.first);
            when = early->second.second;
        } else if (early != f.early.end()) {
            to = std::min(end, early->first);
        }
        if (!f.spans.empty() && f.spans.back().second == when) {
            f.spans.back().first = to;
        } else {
            f.spans.emplace_back(to, when);
        }
        at = to;
    }
    f.fed = end;
    if (f.kind == FlowState::Kind::Undecided) {
        f.head.append(reinterpret_cast<const char*>(data), size);
        decide(f, false);
    } else if (f.kind == FlowState::Kind::Ours) {
        streamOf(f).feed(data, size);
    } else {
        f.spans.clear();
    }
}

// --any-port: a flow is ours when its first bytes are a plausible head; or,
// for a flow whose capture began inside the connection (and so may begin
// inside a packet), when a whole packet starts in its first bytes.
void CaptureReader::decide(FlowState& f, bool now) {
    if (f.kind != FlowState::Kind::Undecided) return;
    const ZrFrame frame = m_meter.measure(f.head.data(), f.head.size());
    if (frame.notAPacket() && f.partial) {
        for (std::size_t at = f.head.find(static_cast<char>(_STX_)); at != std::string::npos;
             at = f.head.find(static_cast<char>(_STX_), at + 1)) {
            if (m_meter.measure(f.head.data() + at, f.head.size() - at).complete()) return take(f);
        }
        if (!now && f.head.size() < kPartialFlowSearchBytes) return;
        report(f, "passed over: the capture begins inside this connection, and no packet starts in its first " +
                      byteCount(f.head.size()) + " (--port reads it whatever it holds)");
    }
    if (frame.notAPacket() || (now && f.head.size() < kHeadBytes && !frame.complete())) {
        f.kind = FlowState::Kind::Others;
        f.flow->ignore_data_packets();
        f.head = std::string();
        f.spans.clear();
        return;
    }
    if (f.head.size() < kHeadBytes && !frame.complete()) return;
    take(f);
}

void CaptureReader::take(FlowState& f) {
    f.kind = FlowState::Kind::Ours;
    const std::string head = std::move(f.head);
    streamOf(f).feed(head.data(), head.size());
}

PacketStream& CaptureReader::streamOf(FlowState& f) {
    if (!f.stream) {
        auto onPacket = [this, &f](std::uint64_t offset, std::size_t length, ZrAnyPacket& packet) {
            this->onPacket(f, offset, length, packet);
        };
        auto onSkipped = [this, &f](std::uint64_t offset, std::uint64_t length, const std::string& why) {
            report(f, byteCount(length) + " skipped at offset " + std::to_string(offset) + ": " + why);
            while (!f.spans.empty() && f.spans.front().first <= offset + length) f.spans.pop_front();
        };
        auto onNote = [this, &f](std::uint64_t offset, const std::string& text) {
            m_err << "zrpkt: " << m_name << ": " << f.src << " > " << f.dst << ": the packet at offset " << offset
                  << ": " << text << '\n';
        };
        f.stream =
            std::make_unique<PacketStream>(m_receiver, ZrPacketMeter::Options(), onPacket, onSkipped, onNote);
    }
    return *f.stream;
}

void CaptureReader::onPacket(FlowState& f, std::uint64_t offset, std::size_t length, ZrAnyPacket& packet) {
    const Moment at = timeOf(f, offset, length);
    const Unanswered self{offset, at, &packet.packetClass(), packet.head().getSN()};
    Pairing pairing;
    if (m_options.pair || m_options.stats) pairing = pairUp(f, self);
    if (pairing.part != Pairing::Part::Request && counted(pairing.request)) {
        ClassStats& stats = m_stats[pairing.request.packetClass->cmdID];
        if (pairing.part == Pairing::Part::Reply) {
            ++stats.requests;
            ++stats.replies;
            stats.latencies.push_back(static_cast<double>((at.time - pairing.request.at.time).count()) / 1e9);
        } else {
            ++stats.secondReplies;
        }
    }
    const Unanswered& request = pairing.request;
    if (pairing.part == Pairing::Part::SecondReply) {
        report(f, "a second reply at offset " + std::to_string(offset) + " (frame " + std::to_string(at.frame) +
                      ") to the packet at offset " + std::to_string(request.offset) + " (frame " +
                      std::to_string(request.at.frame) + ", SN " + std::to_string(request.sn) + ", command " +
                      std::to_string(packet.head().getCmdID()) + ")");
    }
    const ZrPacketClass* only = m_options.onlyClass;
    if (m_options.stats || (only != nullptr && std::strcmp(packet.packetClass().className, only->className) != 0) ||
        (m_options.snGiven && packet.head().getSN() != m_options.sn)) {
        return;
    }
    ZrJson position = ZrJson::object();
    position["time"] = utcTime(at.time, m_nanoseconds);
    position["frame"] = at.frame;
    position["connection"] = f.connection;
    position["flow"] = {{"src", f.src}, {"dst", f.dst}};
    position["offset"] = offset;
    if (pairing.part != Pairing::Part::Request) {
        position[pairing.part == Pairing::Part::Reply ? "request" : "secondReplyTo"] = {
            {"offset", request.offset}, {"frame", request.at.frame}, {"time", utcTime(request.at.time, m_nanoseconds)}};
    }
    if (pairing.part == Pairing::Part::Reply) {
        position["latency"] = static_cast<double>((at.time - request.at.time).count()) / 1e9;
    }
    std::string line;
    appendPacketLine(position, packet, line);
    m_out << line << '\n';
}

// The one pairing rule: a packet answers the oldest packet of its SN and
// command sent the other way on its connection and not yet answered; with
// none, one that was answered already, it is a second reply to it; any
// other packet is a request, waiting for its reply.
Pairing CaptureReader::pairUp(FlowState& f, const Unanswered& packet) {
    const PairKey key(packet.sn, packet.packetClass->cmdID);
    Pairing pairing;
    const auto waiting = f.peer->unanswered.find(key);
    if (waiting != f.peer->unanswered.end()) {
        pairing.part = Pairing::Part::Reply;
        pairing.request = waiting->second.front();
        waiting->second.pop_front();
        if (waiting->second.empty()) f.peer->unanswered.erase(waiting);
        f.peer->answered[key] = pairing.request;
    } else if (const auto done = f.peer->answered.find(key); done != f.peer->answered.end()) {
        pairing.part = Pairing::Part::SecondReply;
        pairing.request = done->second;
    } else {
        f.unanswered[key].push_back(packet);
    }
    return pairing;
}

// --stats: whether a request is one --class and --sn keep.
bool CaptureReader::counted(const Unanswered& request) const {
    const ZrPacketClass* only = m_options.onlyClass;
    return (only == nullptr || std::strcmp(request.packetClass->className, only->className) == 0) &&
           (!m_options.snGiven || request.sn == m_options.sn);
}

// Both directions end; with --pair, the client's packets that had no reply
// are listed.
void CaptureReader::endConnection(Connection& connection) {
    for (FlowState& f : connection.flows) endFlow(f);
    FlowState& client = connection.flows[0];
    std::vector<std::pair<PairKey, Unanswered>> left;
    for (const auto& [key, requests] : client.unanswered) {
        for (const Unanswered& request : requests) left.emplace_back(key, request);
    }
    std::sort(left.begin(), left.end(), [](const auto& a, const auto& b) { return a.second.offset < b.second.offset; });
    for (const auto& [key, request] : left) {
        report(client, "no reply to the packet at offset " + std::to_string(request.offset) + " (frame " +
                           std::to_string(request.at.frame) + ", SN " + std::to_string(key.first) + ", command " +
                           std::to_string(key.second) + ")");
        if (counted(request)) {
            ClassStats& stats = m_stats[request.packetClass->cmdID];
            ++stats.requests;
            ++stats.unanswered;
        }
    }
    for (FlowState& f : connection.flows) {
        f.unanswered.clear();
        f.answered.clear();
    }
}

// The value at the p-th percentile of sorted values, by the nearest rank.
double percentile(const std::vector<double>& sorted, unsigned int p) {
    const std::size_t rank = (sorted.size() * p + 99) / 100;  // ceil(n * p / 100), at least 1 for n > 0
    return sorted[rank == 0 ? 0 : rank - 1];
}

// --stats: one row a class, then the whole capture.
void CaptureReader::writeStats() {
    struct Row {
        std::string name;
        ClassStats stats;
    };
    std::vector<Row> rows;
    Row all{"all", {}};
    for (auto& [cmdID, stats] : m_stats) {
        std::sort(stats.latencies.begin(), stats.latencies.end());
        all.stats.requests += stats.requests;
        all.stats.replies += stats.replies;
        all.stats.unanswered += stats.unanswered;
        all.stats.secondReplies += stats.secondReplies;
        all.stats.latencies.insert(all.stats.latencies.end(), stats.latencies.begin(), stats.latencies.end());
        rows.push_back({ZrCatalogue::find(cmdID)->className, stats});
    }
    std::sort(all.stats.latencies.begin(), all.stats.latencies.end());
    static const unsigned int kPercentiles[] = {50, 90, 99};
    if (m_options.json) {
        auto object = [](const ClassStats& s) {
            ZrJson json = {{"requests", s.requests},
                           {"replies", s.replies},
                           {"unanswered", s.unanswered},
                           {"secondReplies", s.secondReplies}};
            if (!s.latencies.empty()) {
                ZrJson latency = ZrJson::object();
                for (const unsigned int p : kPercentiles) latency["p" + std::to_string(p)] = percentile(s.latencies, p);
                latency["max"] = s.latencies.back();
                json["latency"] = std::move(latency);
            }
            return json;
        };
        ZrJson classes = ZrJson::object();
        for (const Row& row : rows) classes[row.name] = object(row.stats);
        m_out << ZrJson{{"classes", std::move(classes)}, {"all", object(all.stats)}}.dump() << '\n';
        return;
    }
    std::size_t width = 5;
    for (const Row& row : rows) width = std::max(width, row.name.size());
    char line[256];
    std::snprintf(line, sizeof line, "%-*s  %8s  %7s  %10s  %6s  %9s  %9s  %9s  %9s\n", static_cast<int>(width),
                  "class", "requests", "replies", "unanswered", "second", "p50 ms", "p90 ms", "p99 ms", "max ms");
    m_out << line;
    rows.push_back(std::move(all));
    for (const Row& row : rows) {
        const ClassStats& s = row.stats;
        std::snprintf(line, sizeof line, "%-*s  %8llu  %7llu  %10llu  %6llu", static_cast<int>(width), row.name.c_str(),
                      static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.replies),
                      static_cast<unsigned long long>(s.unanswered), static_cast<unsigned long long>(s.secondReplies));
        m_out << line;
        for (const unsigned int p : {50u, 90u, 99u, 100u}) {
            if (s.latencies.empty()) {
                std::snprintf(line, sizeof line, "  %9s", "-");
            } else {
                std::snprintf(line, sizeof line, "  %9.3f", 1000 * percentile(s.latencies, p));
            }
            m_out << line;
        }
        m_out << '\n';
    }
}

void CaptureReader::endFlow(FlowState& f) {
    takeBuffered(f, nullptr);
    decide(f, true);
    if (f.stream) f.stream->finish();
}

// When the last of the bytes [offset, offset + length) was at hand.
Moment CaptureReader::timeOf(FlowState& f, std::uint64_t offset, std::size_t length) {
    while (!f.spans.empty() && f.spans.front().first <= offset) f.spans.pop_front();
    Moment latest;
    for (const auto& [end, when] : f.spans) {
        latest = std::max(latest, when);
        if (end >= offset + length) break;
    }
    return latest;
}

void CaptureReader::report(const FlowState& f, const std::string& text) {
    m_err << "zrpkt: " << m_name << ": " << f.src << " > " << f.dst << ": " << text << '\n';
    m_status = 1;
}

}  // namespace

int readCapture(const PcapOptions& options, std::ostream& out, std::ostream& err) {
    // The reader holds a meter's 30 KB area: on the heap.
    return std::make_unique<CaptureReader>(options, out, err)->run();
}

}  // namespace zrpkt

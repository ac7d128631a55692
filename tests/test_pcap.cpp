// zrpkt pcap over captures written here with libtins: connections over IPv4
// (one with sequence numbers that wrap) and IPv6 (without its handshake),
// segments interleaved, out of order, sent twice, lost; and the golden
// corpus as the two flows of one connection.
#include <gtest/gtest.h>
#include <tins/ethernetII.h>
#include <tins/ip.h>
#include <tins/ipv6.h>
#include <tins/packet.h>
#include <tins/packet_writer.h>
#include <tins/rawpdu.h>
#include <tins/tcp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "pcap_reader.h"
#include "zr_json.h"

namespace {

using Micros = std::chrono::microseconds;

struct Endpoints {
    const char* client;
    std::uint16_t clientPort;
    const char* server;
    std::uint16_t serverPort;
    bool handshake;  // false: the capture begins after it
    std::uint32_t clientIsn, serverIsn;
};

// Capture times: segment k of a row at base + k ms.
constexpr std::int64_t kBaseSeconds = 1700000000;  // 2023-11-14T22:13:20Z
Micros segmentTime(std::size_t k) { return Micros(kBaseSeconds * 1000000 + static_cast<std::int64_t>(k) * 1000); }
std::string segmentTimeText(std::size_t k) {
    char text[40];
    std::snprintf(text, sizeof text, "2023-11-14T22:13:20.%06dZ", static_cast<int>(k * 1000));
    return text;
}

std::string endpointText(const char* address, std::uint16_t port) {
    const std::string a = address;
    return (a.find(':') != std::string::npos ? "[" + a + "]" : a) + ":" + std::to_string(port);
}

// Writes TCP segments of connections, each direction's data given whole;
// a segment carries bytes [from, to) of it and acknowledges `acked` bytes
// of the other direction's.
class CaptureWriter {
public:
    CaptureWriter(const std::string& path, std::vector<Endpoints> connections)
        : m_writer(path, Tins::DataLinkType<Tins::EthernetII>()),
          m_connections(std::move(connections)),
          m_opened(m_connections.size()) {}

    void segment(std::size_t c, bool fromServer, const std::string& data, std::size_t from, std::size_t to,
                 std::size_t acked, Micros time) {
        const Endpoints& e = m_connections[c];
        if (!m_opened[c] && e.handshake) {
            write(e, false, e.clientIsn, 0, Tins::TCP::SYN, "", time - Micros(500));
            write(e, true, e.serverIsn, e.clientIsn + 1, Tins::TCP::SYN | Tins::TCP::ACK, "", time - Micros(400));
        }
        m_opened[c] = true;
        const std::uint32_t isn = fromServer ? e.serverIsn : e.clientIsn;
        const std::uint32_t peerIsn = fromServer ? e.clientIsn : e.serverIsn;
        write(e, fromServer, isn + 1 + static_cast<std::uint32_t>(from),
              peerIsn + 1 + static_cast<std::uint32_t>(acked), Tins::TCP::PSH | Tins::TCP::ACK,
              data.substr(from, to - from), time);
    }

    // The connection is reset after `sent` bytes from one side: its next
    // segment opens it anew, on the same 4-tuple.
    void reset(std::size_t c, bool fromServer, std::size_t sent, Micros time) {
        const Endpoints& e = m_connections[c];
        write(e, fromServer, (fromServer ? e.serverIsn : e.clientIsn) + 1 + static_cast<std::uint32_t>(sent), 0,
              Tins::TCP::RST, "", time);
        m_opened[c] = false;
    }

private:
    void write(const Endpoints& e, bool fromServer, std::uint32_t seq, std::uint32_t ack, std::uint16_t flags,
               const std::string& payload, Micros time) {
        const char* src = fromServer ? e.server : e.client;
        const char* dst = fromServer ? e.client : e.server;
        Tins::TCP tcp(fromServer ? e.clientPort : e.serverPort, fromServer ? e.serverPort : e.clientPort);
        tcp.seq(seq);
        tcp.ack_seq(ack);
        tcp.flags(flags);
        Tins::EthernetII frame;
        if (std::string(src).find(':') != std::string::npos) {
            frame /= Tins::IPv6(dst, src);
        } else {
            frame /= Tins::IP(dst, src);
        }
        frame /= tcp;
        if (!payload.empty())
            frame /= Tins::RawPDU(reinterpret_cast<const std::uint8_t*>(payload.data()),
                                  static_cast<std::uint32_t>(payload.size()));
        Tins::Packet packet(frame, Tins::Timestamp(time));
        m_writer.write(packet);
    }

    Tins::PacketWriter m_writer;
    std::vector<Endpoints> m_connections;
    std::vector<bool> m_opened;
};

struct Output {
    int status;
    std::vector<ZrJson> lines;
    std::vector<std::string> errors;
};

Output readCapture(const std::string& path, zrpkt::PcapOptions options) {
    options.file = path;
    std::ostringstream out, err;
    Output run{zrpkt::readCapture(options, out, err), {}, {}};
    std::istringstream lines(out.str()), errors(err.str());
    for (std::string line; std::getline(lines, line);) run.lines.push_back(ZrJson::parse(line));
    for (std::string line; std::getline(errors, line);) run.errors.push_back(line);
    return run;
}

// Apart for each process: other builds may run these tests at the same time.
std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("zrpkt_pcap_" + std::to_string(::getpid()) + "_" + name + ".pcap"))
        .string();
}

// A packet's bytes: the socket authentication packet (plain) or the
// billing message (enciphered), told apart by its SN.
std::string packet(unsigned int sn, bool enciphered) {
    std::unique_ptr<ZrAnyPacket> p = ZrCatalogue::find(enciphered ? 5u : 3u)->create();
    p->head().setSN(sn);
    std::string wire(4096, '\0');
    EXPECT_EQ(0, p->enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    wire.resize(p->getPacketLength());
    return wire;
}

ZrJson withoutPlace(ZrJson line) {
    for (const std::string& member : zrPlacementMembers()) line.erase(member);
    return line;
}

// Rewrites a pcap file of Ethernet frames: as Linux cooked v2 (link type
// 276), each frame's 14-byte Ethernet header becoming the 20-byte cooked
// header, its EtherType first; and with times in nanoseconds, each
// kExtraNanoseconds past its microsecond.
constexpr std::uint32_t kExtraNanoseconds = 7;
void rewriteCapture(const std::string& path, bool linuxSll2, bool nanoseconds) {
    std::string file;
    {
        std::ifstream in(path, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto u32 = [&file](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    std::string out = file.substr(0, 24);
    const std::uint32_t linkType = 276, nanoMagic = 0xA1B23C4D;
    if (linuxSll2) std::memcpy(out.data() + 20, &linkType, 4);
    if (nanoseconds) std::memcpy(out.data(), &nanoMagic, 4);
    for (std::size_t at = 24; at + 16 <= file.size();) {
        const std::uint32_t captured = u32(at + 8), original = u32(at + 12);
        std::string record = file.substr(at, 16);
        const std::string frame = file.substr(at + 16, captured);
        at += 16 + captured;
        if (nanoseconds) {
            const std::uint32_t fraction = u32(at - captured - 16 + 4) * 1000 + kExtraNanoseconds;
            std::memcpy(record.data() + 4, &fraction, 4);
        }
        if (!linuxSll2) {
            out += record + frame;
            continue;
        }
        const std::uint32_t grown[2] = {captured + 6, original + 6};
        std::memcpy(record.data() + 8, grown, 8);
        std::string cooked(20, '\0');
        cooked[0] = frame[12], cooked[1] = frame[13];                  // EtherType
        cooked[7] = 1, cooked[9] = 1, cooked[11] = 6;                   // interface 1, ARPHRD_ETHER, 6-byte address
        std::copy(frame.begin() + 6, frame.begin() + 12, cooked.begin() + 12);  // the sender's address
        out += record + cooked + frame.substr(14);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << out;
}

// Why a flow's byte at `offset` starts no packet, in flow offsets.
std::string startsNoPacket(const std::string& flow, std::size_t offset) {
    char text[80];
    std::snprintf(text, sizeof text, "byte 0x%02X at offset %zu starts no packet", static_cast<unsigned char>(flow[offset]),
                  offset);
    return text;
}

const std::vector<Endpoints> kConnections = {
    {"10.0.0.1", 40000, "10.0.0.2", 7633, true, 1000, 5000},
    {"10.0.0.3", 40001, "10.0.0.2", 7633, true, 0xFFFFFFC0u, 0xFFFFFFF0u},  // wraps at once
    {"2001:db8::1", 40002, "2001:db8::2", 7633, false, 7, 9},
    {"10.0.0.4", 40003, "10.0.0.5", 9000, true, 100, 200},
    {"10.0.0.6", 40004, "10.0.0.7", 7633, true, 300, 400},
    {"10.0.0.8", 40005, "10.0.0.9", 7633, true, 500, 600},
};

TEST(zrpktPcap, SplitsEachFlowInOrderAndReportsWhatItLacks) {
    const std::string p1 = packet(1, false), c2 = packet(2, true), p3 = packet(3, false);
    const std::size_t L = p1.size(), C = c2.size();
    const std::string http = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    // Each direction's data, by connection: the client's, the server's.
    std::string many;  // 16 packets on connection 1
    for (unsigned int sn = 21; sn < 37; ++sn) many += packet(sn, false);
    const std::string p61 = packet(61, false);
    const std::string data[6][2] = {{p1 + c2 + p3, packet(11, true) + packet(12, false)},
                                    {many, ""},
                                    {packet(31, true) + packet(32, false), packet(33, false).substr(10) + packet(34, false)},
                                    {"xyz" + packet(41, false), http},
                                    {packet(51, false) + packet(52, false) + packet(53, false),
                                     packet(52, false) + packet(51, false)},
                                    {p61 + p61, p61 + p61 + p61}};
    struct Seg {
        std::size_t c;
        bool fromServer;
        std::size_t from, to, acked;
        bool reset = false;  // a reset after it
    };
    struct Line {
        std::size_t c;
        bool fromServer;
        std::size_t offset;
        unsigned int sn;
        std::size_t segment;  // whose capture time it carries
        int request = -1;     // --pair: the segment of the request it answers
        std::size_t requestOffset = 0;
        int connection = -1;  // the connection's index, where the row checks it
        bool second = false;  // a second reply to that request
    };
    struct Row {
        const char* name;
        zrpkt::PcapOptions options;
        std::vector<Seg> segments;
        std::vector<Line> lines;
        std::vector<std::string> errors;  // a fragment of each line, in order
        bool linuxSll2 = false;           // the capture's frames as Linux cooked v2, not Ethernet
        bool nanoseconds = false;         // the capture's times in nanoseconds
        std::string stats = "";           // --stats --json: the table, and no packet lines
    };
    const zrpkt::PcapOptions onPort{"", zrpkt::kDissectorPort, false}, port9000{"", 9000, false},
        anyPort{"", zrpkt::kDissectorPort, true}, pair{"", zrpkt::kDissectorPort, false, true},
        pairSn52{"", zrpkt::kDissectorPort, false, true, "", nullptr, true, 52},
        stats{"", zrpkt::kDissectorPort, false, false, "", nullptr, false, 0, true, true};
    // Three requests, answered the other way round but for the last.
    const std::vector<Seg> requests = {{4, false, 0, 3 * L, 0}, {4, true, 0, L, 3 * L}, {4, true, L, 2 * L, 3 * L}};
    const std::string noReply = "10.0.0.6:40004 > 10.0.0.7:7633: no reply to the packet at offset " +
                                std::to_string(2 * L) + " (frame 3, SN 53, command 3)";
    // --stats --json of the socket authentication packets, the capture's only class.
    auto statsOf = [](const char* counts, const char* latency) {
        const std::string one = std::string("{") + counts + ",\"latency\":{" + latency + "}}";
        return R"({"classes":{"ZrAuthSockMsgPacket":)" + one + R"(},"all":)" + one + "}";
    };
    // Two requests of one SN and command before their replies, and a reply too many.
    const std::vector<Seg> sameSn = {
        {5, false, 0, L, 0}, {5, false, L, 2 * L, 0}, {5, true, 0, L, 2 * L}, {5, true, L, 2 * L, 2 * L},
        {5, true, 2 * L, 3 * L, 2 * L}};
    const std::string secondReply = "10.0.0.9:7633 > 10.0.0.8:40005: a second reply at offset " +
                                    std::to_string(2 * L) + " (frame 7) to the packet at offset " + std::to_string(L) +
                                    " (frame 4, SN 61, command 3)";
    // More segments after a lost one than the follower holds for a
    // connection (512): a byte each.
    std::vector<Seg> byteSegments;
    std::vector<Line> byteLines;
    for (std::size_t at = 3; at < many.size(); ++at) byteSegments.push_back({1, false, at, at + 1, 0});
    for (unsigned int k = 1; k < 16; ++k) byteLines.push_back({1, false, k * L, 21 + k, (k + 1) * L - 1 - 3});
    const Row rows[] = {
        {"connections interleaved, both directions",
         onPort,
         {{0, false, 0, 20, 0},
          {0, true, 0, C, 0},
          {1, false, 0, 30, 0},
          {0, false, 20, L + C, C},
          {1, false, 30, 2 * L, 0},
          {0, false, L + C, 2 * L + C, C},
          {0, true, C, C + L, 2 * L + C}},
         {{0, true, 0, 11, 1},
          {0, false, 0, 1, 3},
          {0, false, L, 2, 3},
          {1, false, 0, 21, 4},
          {1, false, L, 22, 4},
          {0, false, L + C, 3, 5},
          {0, true, C, 12, 6}},
         {}},
        {"out of order, sent twice, overlapping",
         onPort,
         {{0, false, 0, 20, 0}, {0, false, L, 2 * L + C, 0}, {0, false, 0, 20, 0}, {0, false, 10, L, 0}},
         // The packets that came ahead of the gap carry their own time.
         {{0, false, 0, 1, 3}, {0, false, L, 2, 1}, {0, false, L + C, 3, 1}},
         {}},
        {"a lost segment the peer acknowledges",
         onPort,
         {{0, false, 0, L, 0}, {0, false, L, L + 10, 0}, {0, false, L + 20, 2 * L + C, 0}, {0, true, 0, C, 2 * L + C}},
         // Split at the acknowledgement, before the server's packet.
         {{0, false, 0, 1, 0}, {0, false, L + C, 3, 2}, {0, true, 0, 11, 3}},
         {"10.0.0.1:40000 > 10.0.0.2:7633: 10 bytes missing from the capture at offset " + std::to_string(L + 10),
          "10 bytes skipped at offset " + std::to_string(L) +
              ": ZrBillMsgPacket: the stream ends 10 bytes into a packet",
          std::to_string(C - 20) + " bytes skipped at offset " + std::to_string(L + 20) + ": " +
              startsNoPacket(p1 + c2 + p3, L + 20)}},
        {"a lost segment at the end of the capture",
         onPort,
         {{0, false, 0, L, 0}, {0, false, L + 5, 2 * L + C, 0}, {0, true, 0, C, 0}},
         {{0, false, 0, 1, 0}, {0, true, 0, 11, 2}, {0, false, L + C, 3, 1}},
         {"5 bytes missing from the capture at offset " + std::to_string(L),
          std::to_string(C - 5) + " bytes skipped at offset " + std::to_string(L + 5) + ": "}},
        {"IPv6, and a connection open before the capture",
         onPort,
         {{2, false, 0, 30, 0}, {1, false, 0, 2 * L, 0}, {2, false, 30, 100, 0}},
         {{1, false, 0, 21, 1}, {1, false, L, 22, 1}, {2, false, 0, 31, 2}, {2, false, C, 32, 2}},
         {}},
        {"a lost segment and more segments after it than a receiver buffers",
         onPort,
         byteSegments,
         byteLines,
         {"3 bytes missing from the capture at offset 0", std::to_string(L - 3) + " bytes skipped at offset 3"}},
        {"two lost segments in one flow",
         onPort,
         {{1, false, 0, L + 3, 0}, {1, false, L + 10, 3 * L + 3, 0}, {1, false, 3 * L + 10, 5 * L, 0}},
         {{1, false, 0, 21, 0}, {1, false, 2 * L, 23, 1}, {1, false, 4 * L, 25, 2}},
         {"7 bytes missing from the capture at offset " + std::to_string(L + 3),
          "3 bytes skipped at offset " + std::to_string(L) + ": the stream ends 3 bytes into a packet",
          std::to_string(L - 10) + " bytes skipped at offset " + std::to_string(L + 10) + ": " +
              startsNoPacket(many, L + 10),
          "7 bytes missing from the capture at offset " + std::to_string(3 * L + 3),
          "3 bytes skipped at offset " + std::to_string(3 * L) + ": the stream ends 3 bytes into a packet",
          std::to_string(L - 10) + " bytes skipped at offset " + std::to_string(3 * L + 10) + ": " +
              startsNoPacket(many, 3 * L + 10)}},
        {"connections open at the end, reported in the order they began",
         onPort,
         {{2, false, 0, 30, 0}, {0, false, 0, L + 5, 0}, {1, false, 0, L + 7, 0}},
         {{0, false, 0, 1, 1}, {1, false, 0, 21, 2}},
         {"[2001:db8::1]:40002 > [2001:db8::2]:7633: 30 bytes skipped at offset 0",
          "10.0.0.1:40000 > 10.0.0.2:7633: 5 bytes skipped at offset " + std::to_string(L),
          "10.0.0.3:40001 > 10.0.0.2:7633: 7 bytes skipped at offset " + std::to_string(L)}},
        {"any port: a connection open before the capture, its flow beginning inside a packet",
         anyPort,
         {{2, true, 0, 2 * L - 10, 0}},
         {{2, true, L - 10, 34, 0}},
         {"[2001:db8::2]:7633 > [2001:db8::1]:40002: " + std::to_string(L - 10) + " bytes skipped at offset 0"}},
        {"any port: a connection open before the capture, with no packet",
         anyPort,
         {{2, true, 0, L - 10, 0}},
         {},
         {"[2001:db8::2]:7633 > [2001:db8::1]:40002: passed over: the capture begins inside this connection"}},
        {"replies paired with their requests",
         pair,
         requests,
         {{4, false, 0, 51, 0}, {4, false, L, 52, 0}, {4, false, 2 * L, 53, 0}, {4, true, 0, 52, 1, 0, L},
          {4, true, L, 51, 2, 0, 0}},
         {noReply}},
        {"--sn: only the packets of one SN, paired all the same",
         pairSn52,
         requests,
         {{4, false, L, 52, 0}, {4, true, 0, 52, 1, 0, L}},
         {noReply}},
        {"each reply with the oldest request of its SN and command not yet answered; one more is a second reply",
         pair,
         sameSn,
         {{5, false, 0, 61, 0}, {5, false, L, 61, 1}, {5, true, 0, 61, 2, 0, 0}, {5, true, L, 61, 3, 1, L},
          {5, true, 2 * L, 61, 4, 1, L, -1, true}},
         {secondReply}},
        {"--stats: requests, replies, unanswered and reply latency by class",
         stats,
         requests,
         {},
         {noReply},
         false,
         false,
         statsOf(R"("requests":3,"replies":2,"unanswered":1,"secondReplies":0)",
                 R"("p50":0.001,"p90":0.002,"p99":0.002,"max":0.002)")},
        {"--stats: a second reply counted apart",
         stats,
         sameSn,
         {},
         {secondReply},
         false,
         false,
         statsOf(R"("requests":2,"replies":2,"unanswered":0,"secondReplies":1)",
                 R"("p50":0.002,"p90":0.002,"p99":0.002,"max":0.002)")},
        {"a 4-tuple used again after a reset is a new connection",
         onPort,
         {{4, false, 0, L, 0, true}, {4, false, 0, L, 0}},
         {{4, false, 0, 51, 0, -1, 0, 0}, {4, false, 0, 51, 1, -1, 0, 1}},
         {}},
        {"Linux cooked v2",
         onPort,
         {{0, false, 0, 20, 0}, {0, false, 20, 2 * L + C, 0}, {0, true, 0, C, 0}},
         {{0, false, 0, 1, 1}, {0, false, L, 2, 1}, {0, false, L + C, 3, 1}, {0, true, 0, 11, 2}},
         {},
         true},
        {"times in nanoseconds",
         onPort,
         {{0, false, 0, 20, 0}, {0, false, 20, 2 * L + C, 0}},
         {{0, false, 0, 1, 1}, {0, false, L, 2, 1}, {0, false, L + C, 3, 1}},
         {},
         false,
         true},
        {"another port",
         port9000,
         {{0, false, 0, 2 * L + C, 0}, {3, false, 0, 3 + L, 0}, {3, true, 0, http.size(), 3 + L}},
         {{3, false, 3, 41, 1}},
         {"10.0.0.4:40003 > 10.0.0.5:9000: 3 bytes skipped at offset 0: byte 0x78 at offset 0 starts no packet",
          "10.0.0.5:9000 > 10.0.0.4:40003: " + std::to_string(http.size()) + " bytes skipped at offset 0: byte 0x48"}},
        {"any port: flows that start with a head",
         anyPort,
         {{3, true, 0, http.size(), 0}, {0, false, 0, 2 * L + C, 0}, {3, false, 0, 3 + L, 0}},
         {{0, false, 0, 1, 1}, {0, false, L, 2, 1}, {0, false, L + C, 3, 1}},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = tempPath("flows");
        {
            CaptureWriter writer(path, kConnections);
            for (std::size_t k = 0; k < row.segments.size(); ++k) {
                const Seg& s = row.segments[k];
                const std::string& bytes = data[s.c][s.fromServer];
                writer.segment(s.c, s.fromServer, bytes, s.from, std::min(s.to, bytes.size()), s.acked, segmentTime(k));
                if (s.reset) writer.reset(s.c, s.fromServer, std::min(s.to, bytes.size()), segmentTime(k) + Micros(1));
            }
        }
        if (row.linuxSll2 || row.nanoseconds) rewriteCapture(path, row.linuxSll2, row.nanoseconds);
        const Output run = readCapture(path, row.options);
        std::filesystem::remove(path);
        EXPECT_EQ(row.errors.empty() ? 0 : 1, run.status);
        if (!row.stats.empty()) {
            ASSERT_EQ(1u, run.lines.size());
            EXPECT_EQ(row.stats, run.lines[0].dump());
        }
        ASSERT_EQ(row.lines.size() + !row.stats.empty(), run.lines.size()) << run.errors.size();
        for (std::size_t i = 0; i < row.lines.size(); ++i) {
            const Line& want = row.lines[i];
            const Endpoints& e = kConnections[want.c];
            const std::string client = endpointText(e.client, e.clientPort);
            const std::string server = endpointText(e.server, e.serverPort);
            const ZrJson& got = run.lines[i];
            std::string time = segmentTimeText(want.segment);
            if (row.nanoseconds) time.insert(time.size() - 1, "00" + std::to_string(kExtraNanoseconds));
            EXPECT_EQ(time, got["time"]) << i;
            EXPECT_EQ(want.fromServer ? server : client, got["flow"]["src"]) << i;
            EXPECT_EQ(want.fromServer ? client : server, got["flow"]["dst"]) << i;
            EXPECT_EQ(want.offset, got["offset"]) << i;
            EXPECT_EQ(want.sn, got["head"]["SN"]) << i;
            if (want.connection >= 0) {
                EXPECT_EQ(want.connection, got["connection"]) << i;
            }
            const char* answers = want.second ? "secondReplyTo" : "request";
            if (want.request >= 0) {
                EXPECT_EQ(want.requestOffset, got[answers]["offset"]) << i;
                EXPECT_EQ(segmentTimeText(static_cast<std::size_t>(want.request)), got[answers]["time"]) << i;
                EXPECT_EQ(!want.second, got.contains("latency")) << i;
                if (!want.second) {
                    EXPECT_DOUBLE_EQ(static_cast<double>(want.segment - static_cast<std::size_t>(want.request)) / 1000,
                                     got["latency"].get<double>())
                        << i;
                }
            }
            EXPECT_EQ(want.request >= 0 && !want.second, got.contains("request")) << i;
            EXPECT_EQ(want.second, got.contains("secondReplyTo")) << i;
            // The packet's own members as decode shows them, the enciphered body deciphered.
            const std::string& bytes = data[want.c][want.fromServer];
            std::string error;
            const auto decoded = ZrCatalogue::decode(bytes.data() + want.offset,
                                                     static_cast<unsigned int>(bytes.size() - want.offset), error);
            ASSERT_TRUE(decoded) << error;
            EXPECT_EQ(zrPacketToJson(*decoded).dump(), withoutPlace(got).dump()) << i;
        }
        ASSERT_EQ(row.errors.size(), run.errors.size()) << (run.errors.empty() ? "" : run.errors[0]);
        for (std::size_t i = 0; i < row.errors.size(); ++i) {
            EXPECT_NE(std::string::npos, run.errors[i].find(row.errors[i])) << run.errors[i];
        }
    }
}

// One line for a file that is no capture; a capture cut off inside a record
// gives what comes before the cut, and says so.
TEST(zrpktPcap, ReportsAFileItCannotReadWhole) {
    const std::string path = tempPath("cut"), notACapture = tempPath("not_a_capture");
    const std::string p1 = packet(1, false), p2 = packet(2, false);
    {
        CaptureWriter writer(path, kConnections);
        writer.segment(0, false, p1 + p2, 0, p1.size(), 0, segmentTime(0));
        writer.segment(0, false, p1 + p2, p1.size(), p1.size() + p2.size(), 0, segmentTime(1));
    }
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 10);
    std::ofstream(notACapture) << "not a capture\n";
    const struct {
        std::string file;
        std::size_t lines;
        std::string error;
    } rows[] = {
        {notACapture, 0, "zrpkt: " + notACapture + ": cannot read the capture: unknown file format"},
        {path + ".missing", 0, "zrpkt: " + path + ".missing: cannot read the capture: "},
        {path, 1, "zrpkt: " + path + ": truncated dump file"},
    };
    for (const auto& row : rows) {
        const Output run = readCapture(row.file, {});
        EXPECT_EQ(1, run.status);
        EXPECT_EQ(row.lines, run.lines.size());
        ASSERT_EQ(1u, run.errors.size());
        EXPECT_EQ(0u, run.errors[0].find(row.error)) << run.errors[0];
    }
    std::filesystem::remove(path);
    std::filesystem::remove(notACapture);
}

// Every packet of the corpus, under its class's own command, in both
// directions of one connection: the client's cut into 100-byte segments,
// the server's (in reverse order) into 37-byte ones.
TEST(Corpus, ZrpktPcapPrintsEveryPacketOfACapture) {
    std::vector<std::pair<std::string, ZrJson>> packets;  // bytes, JSON
    for (const zrtest::CorpusFile& file : zrtest::corpusFiles()) {
        ASSERT_NE(nullptr, file.row) << file.name;
        std::string bytes(file.bytes.begin(), file.bytes.end());
        ZrCPacketHead::fastSetCmdID(bytes.data(), static_cast<unsigned int>(bytes.size()), file.row->cmdID);
        ZrJson json = ZrJson::parse(file.json);
        json["head"]["cmdID"] = file.row->cmdID;
        packets.emplace_back(std::move(bytes), std::move(json));
    }
    std::string flows[2];
    for (std::size_t i = 0; i < packets.size(); ++i) {
        flows[0] += packets[i].first;
        flows[1] += packets[packets.size() - 1 - i].first;
    }
    const std::string path = tempPath("corpus");
    {
        CaptureWriter writer(path, kConnections);
        std::size_t k = 0;
        for (std::size_t at = 0; at < flows[0].size(); at += 100) {
            writer.segment(0, false, flows[0], at, std::min(at + 100, flows[0].size()), 0, segmentTime(k++));
        }
        for (std::size_t at = 0; at < flows[1].size(); at += 37) {
            writer.segment(0, true, flows[1], at, std::min(at + 37, flows[1].size()), flows[0].size(),
                           segmentTime(k++));
        }
    }
    const Output run = readCapture(path, {});
    std::filesystem::remove(path);
    EXPECT_EQ(0, run.status);
    EXPECT_TRUE(run.errors.empty()) << run.errors[0];
    ASSERT_EQ(2 * packets.size(), run.lines.size());
    std::size_t offsets[2] = {0, 0};
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        const bool fromServer = i >= packets.size();
        const auto& [bytes, json] = packets[fromServer ? 2 * packets.size() - 1 - i : i];
        EXPECT_EQ(offsets[fromServer], run.lines[i]["offset"]) << i;
        EXPECT_EQ(json.dump(), withoutPlace(run.lines[i]).dump()) << i;
        offsets[fromServer] += bytes.size();
    }
}

}  // namespace

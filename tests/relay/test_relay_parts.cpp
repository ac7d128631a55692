// The relay's parts that need no socket: the PROXY header as --accept-proxy
// reads it, and the session line as an operator reads it.
#include <gtest/gtest.h>

#include <string>

#include "proxy_header.h"
#include "relay_kit.h"
#include "relay_log.h"
#include "relay_parts.h"

namespace {

using zrrelay::ProxyFault;
using Status = zrrelay::ProxyHeader::Status;
using relaykit::proxyV2;
using relaykit::proxyV2Inet;

zrrelay::ProxyHeader parse(const std::string& bytes) {
    return zrrelay::parseProxyHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(ProxyHeader, ReadsWhatABalancerSendsAndRefusesTheRest) {
    const std::string inet = proxyV2Inet("192.0.2.7", 40112, "10.0.0.1", 7633);
    std::string inet6(36, '\0');
    inet6[0] = 0x20, inet6[1] = 0x01, inet6[2] = 0x0d, inet6[3] = static_cast<char>(0xb8), inet6[15] = 7;
    inet6[32] = static_cast<char>(0x9c), inet6[33] = static_cast<char>(0xb0);  // port 40112
    const std::string noop("\x04\x00\x02xy", 5);                               // a TLV of 2 bytes
    struct Case {
        const char* name;
        std::string bytes;
        Status status;
        std::size_t length;  // Complete: the header's
        const char* source;  // Complete: "" when it names none
        ProxyFault fault;
    };
    const Case cases[] = {
        {"v1 TCP4", "PROXY TCP4 192.0.2.7 10.0.0.1 40112 7633\r\n", Status::Complete, 42, "192.0.2.7:40112",
         ProxyFault::None},
        {"v1 TCP6, then a packet's bytes", "PROXY TCP6 2001:db8::7 2001:db8::1 40112 7633\r\n\x02\x01",
         Status::Complete, 47, "[2001:db8::7]:40112", ProxyFault::None},
        {"v1 UNKNOWN", "PROXY UNKNOWN whatever\r\n", Status::Complete, 24, "", ProxyFault::None},
        {"v1 port with a leading zero", "PROXY TCP4 192.0.2.7 10.0.0.1 040112 7633\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Port},
        {"v1 port 65536", "PROXY TCP4 192.0.2.7 10.0.0.1 65536 7633\r\n", Status::Invalid, 0, "", ProxyFault::V1Port},
        {"v1 address out of range", "PROXY TCP4 192.0.2.256 10.0.0.1 1 2\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Address},
        {"v1 TCP6 with an IPv4 address", "PROXY TCP6 192.0.2.7 10.0.0.1 1 2\r\n", Status::Invalid, 0, "",
         ProxyFault::V1Address},
        {"v1 two spaces", "PROXY TCP4 192.0.2.7  10.0.0.1 1 2\r\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 a port missing", "PROXY TCP4 192.0.2.7 10.0.0.1 1\r\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 LF without CR", "PROXY TCP4 192.0.2.7 10.0.0.1 1 2\n", Status::Invalid, 0, "", ProxyFault::V1Syntax},
        {"v1 no CRLF in 107 bytes", "PROXY UNKNOWN " + std::string(93, 'x'), Status::Invalid, 0, "",
         ProxyFault::V1TooLong},
        {"no header: HTTP", "GET / HTTP/1.0\r\n\r\n", Status::Invalid, 0, "", ProxyFault::Signature},
        {"no header: a packet", std::string("\x02\x01\x02", 3), Status::Invalid, 0, "", ProxyFault::Signature},
        {"v2 PROXY TCP4", proxyV2(1, 0x11, inet), Status::Complete, 28, "192.0.2.7:40112", ProxyFault::None},
        {"v2 PROXY TCP6", proxyV2(1, 0x21, inet6), Status::Complete, 52, "[2001:db8::7]:40112", ProxyFault::None},
        {"v2 LOCAL (a check)", proxyV2(0, 0x00, ""), Status::Complete, 16, "", ProxyFault::None},
        {"v2 PROXY unspecified", proxyV2(1, 0x00, ""), Status::Complete, 16, "", ProxyFault::None},
        {"v2 PROXY Unix stream", proxyV2(1, 0x31, std::string(216, '\0')), Status::Complete, 232, "", ProxyFault::None},
        {"v2 with a TLV", proxyV2(1, 0x11, inet + noop), Status::Complete, 33, "192.0.2.7:40112", ProxyFault::None},
        {"v2 TLV past the end", proxyV2(1, 0x11, inet + noop.substr(0, 4)), Status::Invalid, 0, "", ProxyFault::V2Tlv},
        {"v2 version 1", proxyV2(1, 0x11, inet).replace(12, 1, "\x11"), Status::Invalid, 0, "", ProxyFault::V2Version},
        {"v2 command 2", proxyV2(2, 0x11, inet), Status::Invalid, 0, "", ProxyFault::V2Command},
        {"v2 UDP over IPv4", proxyV2(1, 0x12, inet), Status::Invalid, 0, "", ProxyFault::V2Family},
        {"v2 TCP4 too short", proxyV2(1, 0x11, inet.substr(0, 8)), Status::Invalid, 0, "", ProxyFault::V2Addresses},
        {"v2 over its length limit", proxyV2(1, 0x11, std::string(1025, '\0')), Status::Invalid, 0, "",
         ProxyFault::V2TooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const zrrelay::ProxyHeader header = parse(c.bytes);
        ASSERT_EQ(header.status, c.status);
        EXPECT_EQ(header.fault, c.fault) << zrrelay::describe(header.fault);
        if (c.status != Status::Complete) continue;
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.hasSource ? zrrelay::endpointText(header.source) : "", c.source);
        // Cut at every shorter length, it waits for more, asking no more than it has.
        for (std::size_t cut = 0; cut < c.length; ++cut) {
            const zrrelay::ProxyHeader part = parse(c.bytes.substr(0, cut));
            ASSERT_EQ(part.status, Status::Incomplete) << "cut at " << cut;
            EXPECT_GT(part.length, cut);
            EXPECT_LE(part.length, c.name[1] == '1' ? zrrelay::kProxyV1MaxLength : c.length) << "cut at " << cut;
        }
    }
}

// One line, the same fields as logfmt text and as JSON, a reason with every
// byte that needs escaping.
TEST(SessionLine, SameFieldsAsTextAndJson) {
    zrrelay::Session session;
    session.id = 7;
    session.client = "192.0.2.7:40112";
    session.start = std::chrono::steady_clock::time_point(std::chrono::seconds(100));
    session.packetsIn = session.packetsOut = 12;
    session.bytesIn = session.bytesOut = 3400;
    session.timedOut = 1;
    session.lost = 2;
    session.end = zrrelay::EndCode::BadBytes;
    session.reason = "a \"b\" \\ c=d\x01";
    const auto fields = session.fields(session.start + std::chrono::milliseconds(1503));
    const std::string common =
        "client=192.0.2.7:40112 id=7 duration_ms=1503 packets_in=12 bytes_in=3400 "
        "packets_out=12 bytes_out=3400 timed_out=1 lost=2 end=bad_bytes";
    const std::string text = zrrelay::Logger(zrrelay::LogLevel::Info, zrrelay::LogFormat::Text, 1)
                                 .eventLine(zrrelay::LogLevel::Warn, "session", fields);
    EXPECT_EQ(text.substr(text.find(" zrrelay: ")),
              " zrrelay: warn: thread 1: session: " + common + " reason=\"a \\\"b\\\" \\\\ c=d\\u0001\"");
    const std::string json = zrrelay::Logger(zrrelay::LogLevel::Info, zrrelay::LogFormat::Json)
                                 .eventLine(zrrelay::LogLevel::Info, "session", fields);
    EXPECT_EQ(json.substr(json.find("\"level\"")),
              "\"level\":\"info\",\"event\":\"session\",\"client\":\"192.0.2.7:40112\",\"id\":7,"
              "\"duration_ms\":1503,\"packets_in\":12,\"bytes_in\":3400,\"packets_out\":12,\"bytes_out\":3400,"
              "\"timed_out\":1,\"lost\":2,\"end\":\"bad_bytes\",\"reason\":\"a \\\"b\\\" \\\\ c=d\\u0001\"}");
}

}  // namespace

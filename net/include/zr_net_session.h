// A client's session on a zrnet::Server, as an operator reads it: one record
// when the connection ends (who, how long, how much each way, and why it
// ended), and its fields written as one line of logfmt or of JSON.
//
//   client=192.0.2.7:40112 id=7 duration_ms=1503 packets_in=12 bytes_in=3400 packets_out=12
//       bytes_out=3400 timed_out=0 lost=0 end=bad_bytes reason="18 bytes at offset 309 are not a packet: ..."
//   "client":"192.0.2.7:40112","id":7,...
//
// logfmt: a value with a space, a quote, a backslash, an equals sign or a
// control byte is quoted, with JSON's escapes.
#ifndef ZRPACKET_ZR_NET_SESSION_H
#define ZRPACKET_ZR_NET_SESSION_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zrnet {

// Why a session ended: its line's `end`, and the counter it adds to
// (ServerCounters::ended).
enum class EndCode : unsigned char {
    ClientClosed,    // it ended its stream, or its connection failed
    BadBytes,        // bytes that are not a packet (or a packet over the longest taken)
    BadProxy,        // a malformed or missing PROXY header
    NoPacket,        // no whole packet within ServerOptions::firstPacket
    Idle,            // nothing in flight and no packet for ServerOptions::idle
    Deadline,        // a request of it could not be answered in time (Unanswered::TimedOut)
    BackendLost,     // requests of it were lost with a connection the server relies on (Unanswered::Lost)
    Slow,            // it left its replies unread (ServerOptions::grace, maxQueuedBytesHard)
    Shutdown,        // the server was stopping
    RefusedFull,     // refused as it came: maxClients connections already
    RefusedAddress,  // refused: maxClientsPerAddress of its address already (once its PROXY header named it)
};
constexpr std::size_t kEndCodes = static_cast<std::size_t>(EndCode::RefusedAddress) + 1;
// "client_closed", "bad_bytes", ...
const char* endCodeName(EndCode code);
// Whether the session ended in a fault of the client's or of the server's
// (a warning in a log), rather than as sessions do (a notice).
bool endedByFault(EndCode code);
// Whether the connection was refused without a session (no line is due).
inline bool refused(EndCode code) { return code == EndCode::RefusedFull || code == EndCode::RefusedAddress; }

// One field of a line: a number, or a text.
struct Field {
    const char* name;
    std::string value;
    bool number;
};
Field numberField(const char* name, std::uint64_t value);
Field textField(const char* name, std::string value);

enum class FieldFormat : unsigned char {
    Logfmt,  // " name=value" each
    Json,    // ",\"name\":value" each, to follow an object's first member
};
void appendFields(std::string& out, const std::vector<Field>& fields, FieldFormat format);
// The text as a JSON string, quotes included.
void appendJsonString(std::string& out, const std::string& text);

struct Session {
    using Clock = std::chrono::steady_clock;

    std::uint64_t id = 0;  // numbers the sessions of a server
    std::string client;    // address:port, the PROXY header's when it names one
    Clock::time_point start;
    std::uint64_t packetsIn = 0, bytesIn = 0;    // requests taken from it
    std::uint64_t packetsOut = 0, bytesOut = 0;  // replies queued to it
    std::uint64_t timedOut = 0;                  // its requests given up as Unanswered::TimedOut
    std::uint64_t lost = 0;                      // and as Unanswered::Lost
    EndCode end = EndCode::ClientClosed;
    std::string reason;

    // The line's fields, its duration up to `now`.
    std::vector<Field> fields(Clock::time_point now) const;
};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_SESSION_H

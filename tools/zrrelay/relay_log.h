// The relay's log: one line per event on standard error, as text or as
// JSON (--log-format), and the session record that gives each client one
// line when it ends: who, how long, how much, and why it ended.
//
//   2026-12-09T12:56:26.586Z zrrelay: warn: session: client=192.0.2.7:40112 id=7 duration_ms=1503
//       packets_in=12 bytes_in=3400 packets_out=12 bytes_out=3400 timed_out=0 lost=0 end=bad_bytes
//       reason="18 bytes at offset 309 are not a packet: ..."
//   {"time":"2026-12-09T12:56:26.586Z","level":"warn","event":"session","client":"192.0.2.7:40112",...}
//
// Text lines are logfmt after the event's name: a value with a space, a
// quote, a backslash or an equals sign is quoted, with JSON's escapes.
#ifndef ZRRELAY_RELAY_LOG_H
#define ZRRELAY_RELAY_LOG_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zrrelay {

enum class LogLevel { Error, Warn, Info, Debug };
enum class LogFormat { Text, Json };

// One field of an event: a number, or a text.
struct LogField {
    const char* name;
    std::string value;
    bool number;
};
LogField logNumber(const char* name, std::uint64_t value);
LogField logText(const char* name, std::string value);

class Logger {
public:
    // `thread`: named in each line when >= 0 (the relays of several threads).
    Logger(LogLevel level, LogFormat format, int thread = -1) : m_level(level), m_format(format), m_thread(thread) {}

    bool enabled(LogLevel level) const { return level <= m_level; }
    LogFormat format() const { return m_format; }
    // "warn: thread 1: backend connection lost (...)".
    void line(LogLevel level, const std::string& message) const;
    // "info: session: client=... end=idle"; `always`: whatever the level.
    void event(LogLevel level, const char* name, const std::vector<LogField>& fields, bool always = false) const;
    // That line, as it is written.
    std::string eventLine(LogLevel level, const char* name, const std::vector<LogField>& fields) const;

private:
    std::string head(LogLevel level) const;

    LogLevel m_level;
    LogFormat m_format;
    int m_thread;
};

// Now as ISO 8601 in UTC, to the millisecond: "2026-01-31T23:59:59.123Z".
std::string utcNow();

// Why a client's session ended: its line's `end`, and the counter it adds to.
enum class EndCode : unsigned char {
    ClientClosed,  // it ended its stream, or its connection failed
    BadBytes,      // bytes that are not a packet (or a packet over --max-packet)
    BadProxy,      // --accept-proxy: a malformed or missing PROXY header
    NoPacket,      // no whole packet within --client-first
    Idle,          // nothing in flight and no packet for --client-idle
    Deadline,      // a reply did not come within --reply-timeout, or its packet could not be sent in time
    BackendLost,   // packets of it were in flight when the backend connection went
    Slow,          // it left its replies unread (--client-grace, --client-queue-hard)
    Shutdown,      // the relay is stopping
    Refused,       // over --max-clients-per-address once its PROXY header named it (no session line)
};
constexpr std::size_t kEndCodes = static_cast<std::size_t>(EndCode::Refused) + 1;
const char* endCodeName(EndCode code);  // "client_closed", "bad_bytes", ...

// One client's session, as its line gives it.
struct Session {
    using Clock = std::chrono::steady_clock;

    std::uint64_t id = 0;
    std::string client;  // address:port, the PROXY header's when there is one
    Clock::time_point start;
    std::uint64_t packetsIn = 0, bytesIn = 0;    // taken from it, to the backend
    std::uint64_t packetsOut = 0, bytesOut = 0;  // replies queued to it
    std::uint64_t timedOut = 0;                  // its packets given up at --reply-timeout, sent or not
    std::uint64_t lost = 0;                      // its packets lost in flight with the backend connection
    EndCode end = EndCode::ClientClosed;
    std::string reason;

    std::vector<LogField> fields(Clock::time_point now) const;
};

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_LOG_H

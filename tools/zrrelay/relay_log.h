// The relay's log: one line per event on standard error, as text or as
// JSON (--log-format); an event's fields (a client's session, the counters)
// as zrnet writes them.
//
//   2026-12-09T12:56:26.586Z zrrelay: warn: session: client=192.0.2.7:40112 id=7 duration_ms=1503
//       packets_in=12 bytes_in=3400 packets_out=12 bytes_out=3400 timed_out=0 lost=0 end=bad_bytes
//       reason="18 bytes at offset 309 are not a packet: ..."
//   {"time":"2026-12-09T12:56:26.586Z","level":"warn","event":"session","client":"192.0.2.7:40112",...}
#ifndef ZRRELAY_RELAY_LOG_H
#define ZRRELAY_RELAY_LOG_H

#include <cstdint>
#include <string>
#include <vector>

#include "zr_net_session.h"

namespace zrrelay {

enum class LogLevel { Error, Warn, Info, Debug };
enum class LogFormat { Text, Json };

// One field of an event: a number, or a text.
using LogField = zrnet::Field;

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

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_LOG_H

#include "relay_log.h"

#include <cstdio>
#include <ctime>

namespace zrrelay {

namespace {

const char* const kLevelNames[] = {"error", "warn", "info", "debug"};

// JSON's escapes: a quote, a backslash and control bytes.
void appendEscaped(std::string& out, const std::string& text) {
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += code;
        } else {
            out += c;
        }
    }
}

void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    appendEscaped(out, text);
    out += '"';
}

// logfmt: bare unless empty or holding a space, quote, backslash, '=' or a control byte.
void appendLogfmt(std::string& out, const std::string& text) {
    bool bare = !text.empty();
    for (const char c : text) bare = bare && c != ' ' && c != '"' && c != '\\' && c != '=' && c > 0x20;
    if (bare) {
        out += text;
    } else {
        appendQuoted(out, text);
    }
}

// One write, so that lines of several threads do not interleave.
void write(std::string line) {
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

LogField logNumber(const char* name, std::uint64_t value) { return {name, std::to_string(value), true}; }
LogField logText(const char* name, std::string value) { return {name, std::move(value), false}; }

std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char out[32];
    const std::size_t n = std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(out + n, sizeof out - n, ".%03dZ", static_cast<int>(ms));
    return out;
}

std::string Logger::head(LogLevel level) const {
    const char* name = kLevelNames[static_cast<int>(level)];
    if (m_format == LogFormat::Json) {
        std::string out = "{\"time\":\"" + utcNow() + "\",\"level\":\"" + name + "\"";
        if (m_thread >= 0) out += ",\"thread\":" + std::to_string(m_thread);
        return out;
    }
    std::string out = utcNow() + " zrrelay: " + name + ": ";
    if (m_thread >= 0) out += "thread " + std::to_string(m_thread) + ": ";
    return out;
}

void Logger::line(LogLevel level, const std::string& message) const {
    if (!enabled(level)) return;
    std::string out = head(level);
    if (m_format == LogFormat::Json) {
        out += ",\"message\":";
        appendQuoted(out, message);
        out += '}';
    } else {
        out += message;
    }
    write(std::move(out));
}

void Logger::event(LogLevel level, const char* name, const std::vector<LogField>& fields, bool always) const {
    if (always || enabled(level)) write(eventLine(level, name, fields));
}

std::string Logger::eventLine(LogLevel level, const char* name, const std::vector<LogField>& fields) const {
    std::string out = head(level);
    if (m_format == LogFormat::Json) {
        out += ",\"event\":\"";
        out += name;
        out += '"';
        for (const LogField& field : fields) {
            out += ",\"";
            out += field.name;
            out += "\":";
            if (field.number) {
                out += field.value;
            } else {
                appendQuoted(out, field.value);
            }
        }
        out += '}';
    } else {
        out += name;
        out += ':';
        for (const LogField& field : fields) {
            out += ' ';
            out += field.name;
            out += '=';
            appendLogfmt(out, field.value);
        }
    }
    return out;
}

const char* endCodeName(EndCode code) {
    static const char* const kNames[kEndCodes] = {"client_closed", "bad_bytes",    "bad_proxy", "no_packet", "idle",
                                                  "deadline",      "backend_lost", "slow",      "shutdown",  "refused"};
    return kNames[static_cast<std::size_t>(code)];
}

std::vector<LogField> Session::fields(Clock::time_point now) const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
    return {logText("client", client),
            logNumber("id", id),
            logNumber("duration_ms", static_cast<std::uint64_t>(ms)),
            logNumber("packets_in", packetsIn),
            logNumber("bytes_in", bytesIn),
            logNumber("packets_out", packetsOut),
            logNumber("bytes_out", bytesOut),
            logNumber("timed_out", timedOut),
            logNumber("lost", lost),
            logText("end", endCodeName(end)),
            logText("reason", reason)};
}

}  // namespace zrrelay

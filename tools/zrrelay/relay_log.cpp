#include "relay_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace zrrelay {

namespace {

const char* const kLevelNames[] = {"error", "warn", "info", "debug"};

// One write, so that lines of several threads do not interleave.
void write(std::string line) {
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

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
        zrnet::appendJsonString(out, message);
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
        zrnet::appendFields(out, fields, zrnet::FieldFormat::Json);
        out += '}';
    } else {
        out += name;
        out += ':';
        zrnet::appendFields(out, fields, zrnet::FieldFormat::Logfmt);
    }
    return out;
}

}  // namespace zrrelay

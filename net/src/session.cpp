#include "zr_net_session.h"

#include <cstdio>

namespace zrnet {
namespace {

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

// logfmt: bare unless empty or holding a space, quote, backslash, '=' or a control byte.
void appendLogfmt(std::string& out, const std::string& text) {
    bool bare = !text.empty();
    for (const char c : text) bare = bare && c != ' ' && c != '"' && c != '\\' && c != '=' && c > 0x20;
    if (bare) {
        out += text;
    } else {
        appendJsonString(out, text);
    }
}

}  // namespace

const char* endCodeName(EndCode code) {
    static const char* const kNames[kEndCodes] = {"client_closed", "bad_bytes", "bad_proxy", "no_packet",
                                                  "idle",          "deadline",  "backend_lost", "slow",
                                                  "shutdown",      "refused_full", "refused_address"};
    return kNames[static_cast<std::size_t>(code)];
}

bool endedByFault(EndCode code) {
    switch (code) {
        case EndCode::ClientClosed:
        case EndCode::NoPacket:
        case EndCode::Idle:
        case EndCode::Shutdown:
            return false;
        default:
            return true;
    }
}

Field numberField(const char* name, std::uint64_t value) { return {name, std::to_string(value), true}; }
Field textField(const char* name, std::string value) { return {name, std::move(value), false}; }

void appendJsonString(std::string& out, const std::string& text) {
    out += '"';
    appendEscaped(out, text);
    out += '"';
}

void appendFields(std::string& out, const std::vector<Field>& fields, FieldFormat format) {
    for (const Field& field : fields) {
        if (format == FieldFormat::Json) {
            out += ",\"";
            out += field.name;
            out += "\":";
            if (field.number) {
                out += field.value;
            } else {
                appendJsonString(out, field.value);
            }
        } else {
            out += ' ';
            out += field.name;
            out += '=';
            appendLogfmt(out, field.value);
        }
    }
}

std::vector<Field> Session::fields(Clock::time_point now) const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
    return {textField("client", client),
            numberField("id", id),
            numberField("duration_ms", static_cast<std::uint64_t>(ms)),
            numberField("packets_in", packetsIn),
            numberField("bytes_in", bytesIn),
            numberField("packets_out", packetsOut),
            numberField("bytes_out", bytesOut),
            numberField("timed_out", timedOut),
            numberField("lost", lost),
            textField("end", endCodeName(end)),
            textField("reason", reason)};
}

}  // namespace zrnet

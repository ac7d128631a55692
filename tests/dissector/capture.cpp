#include "capture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef ZRPACKET_TSHARK
#define ZRPACKET_TSHARK "tshark"
#endif
// In a sanitizer build the codec module is instrumented, and tshark, which is
// not, must have the sanitizers' runtimes loaded first to load it.
#ifndef ZRPACKET_TSHARK_PRELOAD
#define ZRPACKET_TSHARK_PRELOAD ""
#endif

namespace {

void put16(std::string& out, std::uint16_t v) { out += {static_cast<char>(v >> 8), static_cast<char>(v)}; }
void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v >> 16));
    put16(out, static_cast<std::uint16_t>(v));
}
// pcap's own headers are in the writer's byte order; this one is little-endian.
void putLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

// An attribute's text, its XML entities (all PDML writes) undone.
std::string attribute(const std::string& tag, const char* name) {
    static const std::pair<const char*, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#x27;", '\''}, {"&amp;", '&'}};
    const std::string key = std::string(" ") + name + "=\"";
    const std::size_t start = tag.find(key);
    if (start == std::string::npos) return "";
    const std::size_t from = start + key.size();
    std::string text = tag.substr(from, tag.find('"', from) - from);
    for (std::size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
        for (const auto& [entity, c] : kEntities) {
            if (text.compare(at, std::strlen(entity), entity) == 0) text.replace(at, std::strlen(entity), 1, c);
        }
    }
    return text;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void PcapWriter::segment(std::uint16_t clientPort, std::uint16_t serverPort, const std::string& payload,
                         Direction direction, std::int64_t micros) {
    if (payload.size() > 65535 - 40) throw std::length_error("a TCP segment in IPv4 holds at most 65495 bytes");
    const bool toServer = direction == Direction::ToServer;
    std::uint32_t& seq = m_next.try_emplace({clientPort, serverPort, direction}, 1000u).first->second;
    std::string tcp;
    put16(tcp, toServer ? clientPort : serverPort);
    put16(tcp, toServer ? serverPort : clientPort);
    put32(tcp, seq);
    put32(tcp, 1);       // acknowledgement
    put16(tcp, 0x5018);  // 20-byte header; PSH and ACK
    put16(tcp, 65535);   // window
    put32(tcp, 0);       // checksum (tshark does not check it) and urgent pointer
    seq += static_cast<std::uint32_t>(payload.size());

    std::string ip;
    put16(ip, 0x4500);
    put16(ip, static_cast<std::uint16_t>(20 + tcp.size() + payload.size()));
    put16(ip, static_cast<std::uint16_t>(m_frames));
    put16(ip, 0x4000);      // don't fragment
    put16(ip, 0x4006);      // TTL 64, TCP
    put16(ip, 0);           // checksum, which tshark does not check either
    put32(ip, toServer ? 0x7F000001 : 0x7F000002);  // the client 127.0.0.1, the server 127.0.0.2
    put32(ip, toServer ? 0x7F000002 : 0x7F000001);

    const std::string frame = std::string("\0\0\0\0\0\2\0\0\0\0\0\1\x08\x00", 14) + ip + tcp + payload;
    const std::int64_t at = micros >= 0 ? micros : static_cast<std::int64_t>(m_frames) * 1000000;
    putLe32(m_bytes, static_cast<std::uint32_t>(1700000000 + at / 1000000));
    putLe32(m_bytes, static_cast<std::uint32_t>(at % 1000000));
    putLe32(m_bytes, static_cast<std::uint32_t>(frame.size()));
    putLe32(m_bytes, static_cast<std::uint32_t>(frame.size()));
    m_bytes += frame;
    ++m_frames;
}

void PcapWriter::save(const std::string& path) const {
    std::string header;
    for (const std::uint32_t v : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 262144u, 1u}) putLe32(header, v);
    std::ofstream(path, std::ios::binary) << header << m_bytes;
}

std::vector<PdmlFrame> pdmlFrames(const std::string& pdml) {
    PdmlNode root;
    std::vector<PdmlNode*> open{&root};
    for (std::size_t pos = pdml.find('<'); pos != std::string::npos; pos = pdml.find('<', pos)) {
        const std::size_t end = pdml.find('>', pos);  // PDML escapes '>' inside attributes
        const std::string tag = pdml.substr(pos + 1, end - pos - 1);
        pos = end;
        if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
        if (tag[0] == '/') {
            if (open.size() > 1) open.pop_back();
            continue;
        }
        PdmlNode node;
        node.tag = tag.substr(0, tag.find_first_of(" /"));
        node.name = attribute(tag, "name");
        node.show = attribute(tag, "show");
        node.value = attribute(tag, "value");
        const std::string size = attribute(tag, "size");
        node.size = size.empty() ? 0 : std::stoul(size);
        open.back()->children.push_back(std::move(node));
        if (tag.back() != '/') open.push_back(&open.back()->children.back());
    }
    std::vector<PdmlFrame> frames;
    for (const PdmlNode& top : root.children) {
        for (const PdmlNode& packet : top.children) {
            if (packet.tag != "packet") continue;
            PdmlFrame& frame = frames.emplace_back();
            for (const PdmlNode& layer : packet.children) {
                if (layer.tag == "proto" && layer.name == "zrpacket") frame.layers.push_back(layer);
                for (const PdmlNode& field : layer.children) {
                    if (field.name != "tcp.segments") continue;
                    for (const PdmlNode& piece : field.children) {
                        if (piece.name == "tcp.segment") frame.segments.push_back(piece.show);
                    }
                }
            }
        }
    }
    return frames;
}

std::string runTshark(const std::string& lua, const std::string& capture, const std::string& options,
                      const std::string& workDir, const std::string& format) {
    const std::string home = workDir + "/home";
    std::filesystem::create_directories(home);
    const std::string out = workDir + "/tshark.out";
    const std::string err = workDir + "/tshark.err";
    // Nor does a codec module of the user's or one in the current directory
    // (on Lua's default path): the dissector finds the one beside it.
    std::string environment = "cd " + shellQuote(workDir) + " && env -u LUA_CPATH -u LUA_CPATH_5_2 HOME=" +
                              shellQuote(home) + " XDG_CONFIG_HOME= ";
    if (std::strlen(ZRPACKET_TSHARK_PRELOAD) > 0) {
        // tshark's own allocations are not the test's to account for.
        environment += "LD_PRELOAD=" + shellQuote(ZRPACKET_TSHARK_PRELOAD) + " ASAN_OPTIONS=detect_leaks=0 ";
    }
    const std::string command = environment + ZRPACKET_TSHARK +
                                " -n -X lua_script:" + shellQuote(lua) + " " + options + " -r " + shellQuote(capture) +
                                " " + format + " >" + shellQuote(out) + " 2>" + shellQuote(err);
    const int status = std::system(command.c_str());
    const std::string errors = readFile(err);
    // tshark reports a script that fails to load and goes on without it.
    if (status != 0 || errors.find("Lua") != std::string::npos || errors.find("rror") != std::string::npos) {
        throw std::runtime_error("tshark failed (status " + std::to_string(status) + "): " + command + "\n" + errors);
    }
    std::string output = readFile(out);
    // A Lua error inside the dissector shows in the tree, not as a failure.
    const std::size_t luaError = output.find("Lua Error");
    if (luaError != std::string::npos) {
        const std::size_t line = output.rfind('\n', luaError) + 1;
        throw std::runtime_error("the dissector failed: " + output.substr(line, output.find('\n', luaError) - line));
    }
    return output;
}

// Captures for the dissector test: TCP segments written as a libpcap file,
// tshark run over it with the dissector, and its PDML output read back.
#ifndef ZRPACKET_TESTS_DISSECTOR_CAPTURE_H
#define ZRPACKET_TESTS_DISSECTOR_CAPTURE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Ethernet/IPv4/TCP frames, one segment each. Each client port is its own
// connection to the server port, its sequence numbers running on in each
// direction. Frame n is taken n seconds after the first unless told its time
// (microseconds after the first frame's).
class PcapWriter {
public:
    enum class Direction { ToServer, ToClient };
    void segment(std::uint16_t clientPort, std::uint16_t serverPort, const std::string& payload,
                 Direction direction = Direction::ToServer, std::int64_t micros = -1);
    std::size_t frames() const { return m_frames; }
    void save(const std::string& path) const;

private:
    std::string m_bytes;
    std::map<std::tuple<std::uint16_t, std::uint16_t, Direction>, std::uint32_t> m_next;
    std::size_t m_frames = 0;
};

// An element of PDML: a packet, a protocol layer or a field, with the
// attributes the test reads. `value` is the field's bytes in lower-case hex.
struct PdmlNode {
    std::string tag, name, show, value;
    std::size_t size = 0;
    std::vector<PdmlNode> children;
};

// What tshark shows of one frame: its zrpacket layers in order, and the
// frame number of each piece of a TCP reassembly that ends in it.
struct PdmlFrame {
    std::vector<PdmlNode> layers;
    std::vector<std::string> segments;
};

// Each frame, in frame order.
std::vector<PdmlFrame> pdmlFrames(const std::string& pdml);

std::string readFile(const std::string& path);

// Runs tshark with the dissector `lua` over `capture` and returns what it
// prints in `format` (PDML unless told); `options` go on the command line as
// they are. tshark runs in workDir with a HOME of its own and no LUA_CPATH,
// so no personal preference, plugin or Lua module of the user's takes part. Throws std::runtime_error when tshark
// fails or reports a Lua error.
std::string runTshark(const std::string& lua, const std::string& capture, const std::string& options,
                      const std::string& workDir, const std::string& format = "-T pdml");

#endif  // ZRPACKET_TESTS_DISSECTOR_CAPTURE_H

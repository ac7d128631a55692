// Packets out of one byte stream for the inspector: a file's bytes, or one
// direction of a TCP connection. The splitter takes the packets out, the
// receiver decodes them, and the pieces in which the splitter reports a run
// of bytes that are not a packet are joined into one report a run.
#ifndef ZRPACKET_TOOLS_ZRPKT_PACKET_STREAM_H
#define ZRPACKET_TOOLS_ZRPKT_PACKET_STREAM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zr_json.h"
#include "zr_stream_splitter.h"

namespace zrpkt {

class PacketStream {
public:
    // A packet decoded: its offset in the stream, its length, and the
    // receiver's object, valid during the call.
    using OnPacket = std::function<void(std::uint64_t offset, std::size_t length, ZrAnyPacket& packet)>;
    // Bytes that are not a packet, or a packet the receiver cannot decode.
    using OnSkipped = std::function<void(std::uint64_t offset, std::uint64_t length, const std::string& why)>;
    // What a packet decoded holds that its JSON does not show: the bytes of
    // an enciphered body after its fields, which deCode passes over.
    using OnNote = std::function<void(std::uint64_t offset, const std::string& text)>;

    PacketStream(ZrPacketReceiver& receiver, const ZrPacketMeter::Options& options, OnPacket onPacket,
                 OnSkipped onSkipped, OnNote onNote);
    ~PacketStream();

    // The next bytes of the stream; the packets in them are handed out now.
    void feed(const void* data, std::size_t size);
    // The stream ends: a partial packet is reported as not a packet, and so
    // is a run of such bytes still open.
    void finish();
    // `missing` bytes of the stream were lost: what came before them ends as
    // at finish(), and splitting starts afresh after them, offsets counting
    // the lost bytes.
    void gap(std::uint64_t missing);

private:
    void drain();
    void flushRun();

    ZrPacketReceiver& m_receiver;
    ZrPacketMeter::Options m_options;
    OnPacket m_onPacket;
    OnSkipped m_onSkipped;
    OnNote m_onNote;
    // Made at the first byte after the start or a gap (a splitter holds a
    // 30 KB area), counting its offsets from m_base, the stream offset
    // where it takes up.
    std::unique_ptr<ZrStreamSplitter> m_splitter;
    std::uint64_t m_base = 0;
    // The run of skipped bytes not reported yet.
    std::uint64_t m_runOffset = 0, m_runLength = 0, m_runReasonAt = 0;
    std::string m_runWhy;
};

// "1 byte", "7 bytes".
std::string byteCount(std::uint64_t n);

// `position` (an object of the members that place the packet: its offset,
// and its file or flow) followed by the packet's own members.
ZrJson packetRecord(ZrJson position, ZrAnyPacket& packet);
// The same record as one line of compact JSON (no line break), appended to
// `out`: written straight from the packet's fields, for speed.
void appendPacketLine(const ZrJson& position, ZrAnyPacket& packet, std::string& out);

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_PACKET_STREAM_H

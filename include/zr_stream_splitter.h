// Packets out of a byte stream. Packets carry no length field, and a TCP
// receiver gets bytes in chunks of any size: several packets in one read,
// one packet over several. ZrPacketMeter says how long the packet at the
// start of some bytes is, without a packet object; ZrStreamSplitter uses it
// to take whole packets out of a stream fed in chunks.
//
//   ZrStreamSplitter splitter;
//   ZrPacketReceiver receiver;
//   while (n = read(fd, buf, sizeof buf)) {
//       splitter.feed(buf, n);
//       for (ZrSplitItem item; splitter.next(item);) {
//           if (item.isPacket()) {
//               ZrAnyPacket* packet = receiver.decode(item.chars(), item.length, error);
//           } else {
//               log(item.offset, item.length, item.why());   // bytes that are not a packet
//           }
//       }
//   }
//   splitter.finish();   // at the end of the stream; then next() until false
//
// How long a packet is:
//   - The head's command names the class (ZrCatalogue), and encryptType says
//     whether the body is plain (0) or enciphered (1 to 8).
//   - Plain: exact. The class's field list is walked over the bytes
//     (ZrBodyWalker), reading lengths and counts and storing nothing; the
//     byte after the body must be the ETX.
//   - Enciphered: the cipher has no length on the wire. A transport that
//     delimits messages hands such a packet whole; in a byte stream its end
//     is taken to be the first 0x03 at which the body deciphers and its
//     fields read exactly to the body's end, trying each 0x03 in order and
//     none past the longest enciphered packet (ZR_MAX_ENCIPHERED_PACKET_LEN).
//     This assumes of the codec that a cipher cut at a wrong length fails to
//     decipher, or deciphers into bytes whose fields do not read exactly to
//     their end; a codec that deciphers every prefix of a cipher into the
//     prefix of its body meets it, since a body's fields never read exactly
//     to the end of a shorter prefix of that body. Cost: one decipher per
//     0x03 byte in the cipher, each of the bytes before it: for a cipher of
//     n bytes about 1 + n / 256 deciphers, so near one for small bodies and
//     about 60 body deciphers for a 30 720-byte one. A search that finds no
//     end deciphers at most ZR_END_SEARCH_WORK_LIMIT bytes in all.
//   - The keep-alive (no body) is 34 bytes ending in the ETX.
// Nothing is ever guessed: where no end fits, the bytes are not a packet.
#ifndef ZRPACKET_ZR_STREAM_SPLITTER_H
#define ZRPACKET_ZR_STREAM_SPLITTER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zr_body_walk.h"
#include "zr_catalogue.h"
#include "zr_packet_head.h"

// The longest packet waited for unless the caller says otherwise: a plain
// packet that claims more is refused as soon as it claims it.
constexpr std::size_t ZR_DEFAULT_MAX_PACKET_LEN = std::size_t{1} << 20;
// The longest enciphered packet: head, key byte, the longest cipher the
// scratch area takes, ETX.
constexpr std::size_t ZR_MAX_ENCIPHERED_PACKET_LEN = PKT_ENVELOPE_MIN_LEN + PKT_SCRATCH_HALF_LEN;
// The most cipher bytes deciphered while looking for one enciphered
// packet's end, so that a stream of 0x03 bytes costs a bounded effort; a real
// cipher of the longest form needs about a quarter of it.
constexpr std::size_t ZR_END_SEARCH_WORK_LIMIT = 256 * std::size_t{PKT_SCRATCH_HALF_LEN};

enum class ZrFrameStatus : unsigned char {
    Complete,    // a whole packet of `length` bytes
    Incomplete,  // a packet may start here; more bytes are needed
    NotAPacket,  // no packet starts here (`fault` says why)
};

// Why the bytes at a start are not a packet.
enum class ZrFrameFault : unsigned char {
    None,
    StartByte,       // the first byte is not 0x02
    UnknownCommand,  // no class has the head's command
    EncryptType,     // an encryptType above 8
    Body,            // the body's fields cannot be read: `walk` says where and why
    EndByte,         // the byte after a plain body is not 0x03
    NoEnd,           // enciphered: no 0x03 up to the longest packet at which the body reads exactly
    WorkLimit,       // enciphered: ZR_END_SEARCH_WORK_LIMIT bytes deciphered without finding the end
    StreamEnd,       // the stream ended inside the packet
};

// What a measure found at the start of some bytes.
struct ZrFrame {
    ZrFrameStatus status = ZrFrameStatus::Incomplete;
    // Complete: the packet's length. Incomplete: the fewest bytes the packet
    // can have (more than were at hand). NotAPacket: 0.
    std::size_t length = 0;
    // The class the head's command names (or the forced one), once the
    // command is at hand; null before, and for an unknown command.
    const ZrPacketClass* packetClass = nullptr;
    bool enciphered = false;  // encryptType 1 to 8, once it is at hand

    ZrFrameFault fault = ZrFrameFault::None;
    std::size_t faultOffset = 0;   // from the packet's first byte
    std::uint64_t faultValue = 0;  // the byte, command or encryptType found; bytes for StreamEnd
    std::size_t limit = 0;         // the longest packet the measure accepted
    ZrWalkStop walk;               // Body: the field and the rule

    bool complete() const { return status == ZrFrameStatus::Complete; }
    bool incomplete() const { return status == ZrFrameStatus::Incomplete; }
    bool notAPacket() const { return status == ZrFrameStatus::NotAPacket; }
    // NotAPacket: why, in one line ("end byte 0x04 at offset 40, not 0x03"),
    // with offsets counted from `base`, the offset of the packet's first
    // byte (0: offsets within the packet).
    std::string why(std::uint64_t base = 0) const;
};

// What an enciphered packet's search for its end has done so far, for a
// start whose bytes grow between measures: each 0x03 is tried once.
struct ZrEndSearch {
    std::size_t tried = 0;  // bytes from the start whose 0x03s have been tried
    std::size_t work = 0;   // cipher bytes deciphered so far
};

// Measures the packet at the start of a buffer. Allocates nothing; the
// object holds the area enciphered candidates are deciphered into (a scratch
// half, 30 KB), so keep one and use it from one thread at a time.
class ZrPacketMeter {
public:
    struct Options {
        // A packet longer than this is not a packet (at least
        // PKT_ENVELOPE_MIN_LEN).
        std::size_t maxPacketLength = ZR_DEFAULT_MAX_PACKET_LEN;
        // Every packet is of this class, whatever its command; null: the
        // class the command names in the catalogue.
        const ZrPacketClass* forcedClass = nullptr;
    };

    ZrPacketMeter() : ZrPacketMeter(Options()) {}
    explicit ZrPacketMeter(const Options& options);

    const Options& options() const { return m_options; }

    // The packet at the start of [data, data + size). Reads nothing outside.
    ZrFrame measure(const void* data, std::size_t size);
    // The same, for a start whose bytes grow from one call to the next:
    // `search` carries what earlier calls tried (start from {}).
    ZrFrame measure(const void* data, std::size_t size, ZrEndSearch& search);

private:
    void measurePlain(const unsigned char* p, std::size_t size, ZrFrame& frame) const;
    void measureEnciphered(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrEndSearch& search);

    Options m_options;
    unsigned char m_plain[PKT_SCRATCH_HALF_LEN];
};

// One thing taken out of a stream: a packet, or a run of bytes that are not
// a packet.
struct ZrSplitItem {
    enum class Kind : unsigned char { Packet, Skipped };
    Kind kind = Kind::Packet;
    std::uint64_t offset = 0;  // of its first byte in the stream
    std::size_t length = 0;
    // Packet: its bytes; valid until the next feed() or next(). Null for skipped bytes.
    const unsigned char* data = nullptr;
    // Packet: its class (by the head's command, or the forced one); skipped:
    // the class its first head named, if it named one.
    const ZrPacketClass* packetClass = nullptr;
    // Skipped: why the run's first byte starts no packet, and where in the
    // stream that byte is (a run may come out in pieces); valid as long as
    // `data` would be.
    const ZrFrame* reason = nullptr;
    std::uint64_t reasonAt = 0;

    bool isPacket() const { return kind == Kind::Packet; }
    char* chars() const { return reinterpret_cast<char*>(const_cast<unsigned char*>(data)); }
    // Skipped: why, with offsets in the stream.
    std::string why() const { return reason != nullptr ? reason->why(reasonAt) : std::string(); }
};

// Takes whole packets out of a stream fed in chunks of any size, in order,
// each with its offset in the stream and its class.
//   - Every byte of the stream comes out once, in a packet or in a skipped
//     run; nothing is dropped silently.
//   - It holds at most one partial packet (a plain one up to its claimed
//     length, an enciphered one up to the longest it can be); a plain packet
//     that claims more than the limit is refused at once, not waited for.
//   - Bytes that are not a packet are reported as a skipped run with their
//     offset and count; splitting resumes at the next byte where a packet may
//     start: a start byte, a command of the catalogue, an encryptType of 0
//     to 8, and a body that reads so far. A run that spans several feeds may
//     come out in adjacent pieces, each with the run's reason.
//   - Packets inside the chunk given to feed() are handed out in place; only
//     a partial packet at a chunk's end is copied.
class ZrStreamSplitter {
public:
    ZrStreamSplitter() : ZrStreamSplitter(ZrPacketMeter::Options()) {}
    explicit ZrStreamSplitter(const ZrPacketMeter::Options& options);
    ZrStreamSplitter(const ZrStreamSplitter&) = delete;
    ZrStreamSplitter& operator=(const ZrStreamSplitter&) = delete;

    // The next bytes of the stream. They are read in place by next(): keep
    // them unchanged until next() has returned false (what is left of them
    // then is copied). Bytes of an earlier feed not yet taken out are copied
    // first.
    void feed(const void* data, std::size_t size);
    // The next packet or skipped run, in stream order; false when the bytes
    // fed so far hold no more.
    bool next(ZrSplitItem& item);
    // The stream has ended: a partial packet held is reported by next() as
    // skipped (and packets after its start are still found).
    void finish();

    // Bytes of the stream taken out so far, as packets or skipped.
    std::uint64_t offset() const { return m_offset; }
    // Bytes held for a packet not yet whole.
    std::size_t held() const { return m_held.size() - m_heldAt; }
    // True while a run of bytes that are not a packet goes on (a relay may
    // act on it before the run ends).
    bool skipping() const { return m_runOpen; }
    const ZrPacketMeter& meter() const { return m_meter; }

private:
    // The bytes not yet taken out start with m_held[m_heldAt..], then the
    // chunk's m_chunk[0, m_chunkLeft).
    std::size_t pendingHeld() const { return m_held.size() - m_heldAt; }
    void take(std::size_t n);
    void holdChunk(std::size_t n);
    void extendHeld(const ZrFrame& frame);
    bool emitRun(ZrSplitItem& item);
    void skipToNextStart();

    ZrPacketMeter m_meter;
    std::vector<unsigned char> m_held;
    std::size_t m_heldAt = 0;
    const unsigned char* m_chunk = nullptr;
    std::size_t m_chunkLeft = 0;
    std::uint64_t m_offset = 0;  // stream offset of the first byte not taken out
    ZrEndSearch m_search;        // for the start at m_offset
    bool m_ready = false;        // m_readyFrame is the measure of that start, not yet handed out
    ZrFrame m_readyFrame;
    bool m_finished = false;

    // The run of skipped bytes: open while it goes on; the part from
    // m_pieceStart to m_offset has not been reported yet.
    bool m_runOpen = false;
    std::uint64_t m_pieceStart = 0;
    std::uint64_t m_runStart = 0;
    ZrFrame m_runReason;
};

// Says why `cls` could not decode [buf, buf + len), for tools: the
// library's own text `libraryText` when it has one (an end byte that is not
// 0x03 gains the byte found and its offset), otherwise which field of the
// body cannot be read and where.
std::string zrExplainDecodeFailure(const ZrPacketClass& cls, const char* libraryText, const char* buf,
                                   unsigned int len);

#endif  // ZRPACKET_ZR_STREAM_SPLITTER_H

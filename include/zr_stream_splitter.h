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
// The splitter holds a ZrPacketMeter (zr_packet_meter.h): how long a packet
// is, and the stream's work budget, are said there.
#ifndef ZRPACKET_ZR_STREAM_SPLITTER_H
#define ZRPACKET_ZR_STREAM_SPLITTER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zr_packet_meter.h"

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
//   - A partial packet is measured again only when the bytes its measure
//     asked for have come (for an enciphered one: a byte that may be its
//     end), and its walk goes on from where it stopped.
//   - Bytes that are not a packet are reported as a skipped run with their
//     offset and count; splitting resumes at the next byte where a packet may
//     start: a start byte, a command of the catalogue, an encryptType of 0
//     to 8, and a body that reads so far. A run comes out in adjacent
//     pieces, each with the run's reason, counted from the run's own first
//     byte: the first as soon as its first start is refused (up to the next
//     0x02), the rest as the run ends or the bytes at hand do (once the
//     stream has ended, whole).
//   - Work is held to the stream's budget (zr_packet_meter.h): the
//     bytes taken out refill it.
//   - Packets inside the chunk given to feed() are handed out in place; only
//     a partial packet at a chunk's end is copied.
class ZrStreamSplitter {
public:
    // What next() is doing.
    enum class State : unsigned char {
        Measuring,     // measuring the start at offset(), or waiting for the bytes it asked for
        ReportingRun,  // a packet was found after skipped bytes: the run goes out first
        PacketReady,   // the packet measured at offset() goes out next
        Ended,         // finish() was called and every byte has gone out
    };

    ZrStreamSplitter() : ZrStreamSplitter(ZrPacketMeter::Options()) {}
    // `baseOffset`: the stream offset of the first byte fed (a stream taken
    // up after a gap); every offset the splitter reports counts from it.
    explicit ZrStreamSplitter(const ZrPacketMeter::Options& options, std::uint64_t baseOffset = 0);
    ZrStreamSplitter(const ZrStreamSplitter&) = delete;
    ZrStreamSplitter& operator=(const ZrStreamSplitter&) = delete;

    // The next bytes of the stream. They are read in place by next(): keep
    // them unchanged until next() has returned false (what is left of them
    // then is copied). Bytes of an earlier feed not yet taken out are copied
    // first.
    // Inline for a stream that comes in small pieces: while the held packet
    // still waits for more than a piece brings, the piece is only appended.
    void feed(const void* data, std::size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        if (m_chunkLeft == 0 && waitingForBytes() && size < m_waitFor - pendingHeld() && !bringsEnd(p, size)) {
            if (size == 1) {
                m_held.push_back(*p);
            } else {
                m_held.insert(m_held.end(), p, p + size);
            }
            return;
        }
        feedChunk(data, size);
    }
    // The next packet or skipped run, in stream order; false when the bytes
    // fed so far hold no more.
    bool next(ZrSplitItem& item) {
        if (m_chunkLeft == 0 && waitingForBytes() && !m_finished && m_state == State::Measuring &&
            !(m_run.open && m_run.pieceStart != m_offset)) {
            return false;  // the held packet still waits for the bytes it asked for
        }
        return nextItem(item);
    }
    // The stream has ended: a partial packet held is reported by next() as
    // skipped (and packets after its start are still found).
    void finish() { m_finished = true; }

    State state() const { return m_state; }
    // Bytes of the stream taken out so far, as packets or skipped, plus the base.
    std::uint64_t offset() const { return m_offset; }
    // Bytes held for a packet not yet whole.
    std::size_t held() const { return m_held.size() - m_heldAt; }
    // True while a run of bytes that are not a packet goes on (a relay may
    // act on it before the run ends).
    bool skipping() const { return m_run.open; }
    const ZrPacketMeter& meter() const { return m_meter; }

private:
    // A run of skipped bytes: open while it goes on; the part from
    // `pieceStart` to m_offset has not been reported yet.
    struct Run {
        bool open = false;
        std::uint64_t start = 0;
        std::uint64_t pieceStart = 0;
        ZrFrame reason;
    };

    // The bytes not yet taken out start with m_held[m_heldAt..], then the
    // chunk's m_chunk[0, m_chunkLeft).
    std::size_t pendingHeld() const { return m_held.size() - m_heldAt; }
    bool waitingForBytes() const { return pendingHeld() > 0 && pendingHeld() < m_waitFor; }
    // Whether n bytes to be held bring a byte that may end the enciphered
    // start held (zrFirstLikelyEnd, from m_endFrom on).
    bool bringsEnd(const unsigned char* p, std::size_t n) const {
        const std::size_t at = pendingHeld();
        if (!m_waitEnciphered || at + n <= m_endFrom) return false;  // all before the first byte that may end it
        return zrFirstLikelyEnd(p, m_endFrom > at ? m_endFrom - at : 0, n, n) < n;
    }
    // Each byte of the stream refills the work budget once: when it is taken
    // out, or held for the start being measured, whichever comes first.
    void credit() {
        const std::uint64_t frontier = std::max(m_credited, m_offset + pendingHeld());
        if (frontier == m_offset && frontier == m_credited) return;  // nothing new, nothing held
        m_meter.grantBudget(frontier - m_credited, frontier - m_offset);
        m_credited = frontier;
    }
    void feedChunk(const void* data, std::size_t size);
    bool nextItem(ZrSplitItem& item);
    bool measureStart(ZrSplitItem& item);
    void handOut(ZrSplitItem& item);
    bool emitRun(ZrSplitItem& item);
    void skipToNextStart();
    void take(std::size_t n);
    void holdChunk(std::size_t n);
    void extendHeld();

    ZrPacketMeter m_meter;
    State m_state = State::Measuring;
    std::vector<unsigned char> m_held;
    std::size_t m_heldAt = 0;
    const unsigned char* m_chunk = nullptr;
    std::size_t m_chunkLeft = 0;
    std::uint64_t m_offset;    // stream offset of the first byte not taken out
    ZrMeasureState m_measure;  // for the start at m_offset
    // Measuring a held start: measure it again once this many bytes are
    // held, or, for an enciphered one, once a byte at or past m_endFrom
    // looks like its end (zrFirstLikelyEnd): it waits for its held bytes to
    // double, so that deciphering it from its start again costs at most
    // twice its length.
    std::size_t m_waitFor = 0;
    bool m_waitEnciphered = false;
    std::size_t m_endFrom = 0;
    std::uint64_t m_credited;  // the stream offset up to which bytes have refilled the work budget
    // ReportingRun, PacketReady: the packet at m_offset.
    std::size_t m_readyLength = 0;
    const ZrPacketClass* m_readyClass = nullptr;
    bool m_finished = false;
    Run m_run;
};

#endif  // ZRPACKET_ZR_STREAM_SPLITTER_H

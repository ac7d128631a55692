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
// How long a packet is: the length of the shortest prefix of the bytes that
// the class's deCode accepts.
//   - The head's command names the class (ZrCatalogue), and encryptType says
//     whether the body is plain (0) or enciphered (1 to 8).
//   - Plain: the class's field list is walked over the bytes (ZrBodyWalker),
//     reading lengths and counts and storing nothing; the byte after the
//     body must be the ETX.
//   - Enciphered: the cipher has no length on the wire, and deCode takes the
//     cipher to be everything between the key byte and the buffer's last
//     byte, the ETX; it accepts the packet when that cipher deciphers and
//     the body's fields read whole from it (bytes after them are allowed).
//     The linked codec deciphers every prefix of a cipher into the prefix
//     of its body (ZRIEncrypt::deciphersPrefixes), so the cipher is
//     deciphered in prefixes that at least double, each up to a byte that
//     may end the packet, the fields walked once over them, and the packet
//     ends at the first 0x03 at or after the body's end. With a codec
//     that lacks the property each 0x03 is tried in turn, under the
//     splitter's work budget.
//   - The keep-alive (no body) is 34 bytes ending in the ETX, whatever its
//     encryptType.
// Nothing is ever guessed: where no end fits, the bytes are not a packet.
//
// Work, whatever the bytes and however they are cut (resyncs included):
//   - The splitter measures each start once: a packet that comes in pieces
//     is measured only when the bytes its walk asked for have come, and the
//     walk resumes where it stopped (ZrWalkResume), so each field is walked
//     once per start, and a field takes at least one byte.
//   - An enciphered start deciphers its cipher in doubling prefixes, each
//     from its start (the codec has no way to go on from where it stopped):
//     at most 2 x 30 720 bytes for the body, plus, while it is held, at most
//     one decipher of what is at hand (at most 30 720 bytes) per chunk that
//     brings a new candidate end byte.
//   - A start that is not a packet moves the next start on by at least one byte.
//   So one byte of the stream costs at most ZR_DECIPHER_PER_BYTE bytes
//   deciphered and maxPacketLength fields walked; a stream of real packets
//   costs about two deciphers (the first prefix often ends inside the body)
//   and one walk of each packet. ZrPacketMeter::work()
//   counts both, for tests and monitoring.
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
// The most bytes one byte of a stream can make the meter decipher (see the
// top of this file): two doubling passes over the longest cipher for the
// start it begins, one more for the chunk it comes in.
constexpr std::size_t ZR_DECIPHER_PER_BYTE = 3 * std::size_t{PKT_SCRATCH_HALF_LEN};
// With a codec that does not decipher prefixes: the cipher bytes that trial
// deciphering may take per byte of the stream, beyond a first allowance of
// ZR_TRIAL_FIRST_ALLOWANCE. A real cipher of the longest form (a 0x03 in
// about every 256 bytes, each tried with the bytes before it) needs about
// a quarter of the allowance.
constexpr std::size_t ZR_TRIAL_WORK_PER_BYTE = 256;
constexpr std::size_t ZR_TRIAL_FIRST_ALLOWANCE = 256 * std::size_t{PKT_SCRATCH_HALF_LEN};

enum class ZrFrameStatus : unsigned char {
    Complete,    // a whole packet of `packetLength` bytes
    Incomplete,  // a packet may start here; it needs at least `needed` bytes
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
    NoEnd,           // enciphered: no 0x03 after the body's end up to the longest packet
    Decipher,        // enciphered: the codec refuses the cipher
    WorkLimit,       // enciphered, trial search: the stream's work budget is spent
    NoWalker,        // the class has no field list to measure its body by
    StreamEnd,       // the stream ended inside the packet
};

// What a measure found at the start of some bytes.
struct ZrFrame {
    ZrFrameStatus status = ZrFrameStatus::Incomplete;
    std::size_t packetLength = 0;  // Complete: the packet's length
    std::size_t needed = 0;        // Incomplete: the fewest bytes the packet can have (more than at hand)
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

// What measuring one start has learnt so far, for a start whose bytes grow
// between measures (start from {}; one state per start, with one meter).
struct ZrMeasureState {
    ZrWalkResume walk;           // where the body's walk stopped for want of bytes
    bool bodyRead = false;       // the body's fields have been walked whole
    std::size_t bodyEnd = 0;     // then: the body's length
    std::size_t needBody = 0;    // otherwise: the fewest body bytes the walk asked for
    std::size_t deciphered = 0;  // enciphered: cipher bytes deciphered into the meter's plain area
    std::size_t scanned = 0;     // enciphered: bytes from the start searched for a candidate end

    // For a new start (the resume point's levels are left as they are: it
    // is not valid).
    void restart() {
        walk.valid = false;
        bodyRead = false;
        bodyEnd = needBody = deciphered = scanned = 0;
    }
};

// What measuring has cost so far.
struct ZrMeterWork {
    std::uint64_t deciphered = 0;  // cipher bytes handed to the codec
    std::uint64_t fields = 0;      // fields, list elements and map keys or values walked
};

// Measures the packet at the start of a buffer. Allocates nothing; the
// object holds the area enciphered bodies are deciphered into (a scratch
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
        // Find enciphered ends by trying each 0x03 in turn even when the
        // codec deciphers prefixes (for tests of a codec that does not).
        bool trialSearch = false;
    };

    ZrPacketMeter() : ZrPacketMeter(Options()) {}
    explicit ZrPacketMeter(const Options& options);

    const Options& options() const { return m_options; }
    const ZrMeterWork& work() const { return m_work; }
    // Trial deciphering allowed from now on, in cipher bytes; the splitter
    // grants it as the stream goes (unlimited unless set).
    void setTrialBudget(std::uint64_t bytes) { m_trialBudget = bytes; }
    std::uint64_t trialBudget() const { return m_trialBudget; }

    // The packet at the start of [data, data + size). Reads nothing outside.
    ZrFrame measure(const void* data, std::size_t size);
    // The same, for a start whose bytes grow from one call to the next:
    // `state` carries what earlier calls learnt (start from {}). `ended`:
    // no more bytes will come, so an enciphered body is deciphered and
    // walked over all that is at hand for a fault, whatever its end bytes,
    // and the verdict does not depend on how the bytes came.
    ZrFrame measure(const void* data, std::size_t size, ZrMeasureState& state, bool ended = false);

private:
    void measurePlain(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state);
    void measureEnciphered(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state, bool ended);
    void trialSearch(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state);
    bool decipher(const unsigned char* p, std::size_t cipherLen);
    // What a walk of a body found: whole (`bytes` long), short of bytes (it
    // needs at least `bytes`), or a fault (in the frame's `walk`).
    struct Walked {
        enum Kind : unsigned char { Whole, Short, Fault } kind;
        std::size_t bytes;
    };
    Walked walk(const ZrPacketClass& cls, const unsigned char* body, std::size_t size, std::size_t limit,
                ZrWalkResume* resume, ZrFrame& frame, bool keep = false);

    Options m_options;
    bool m_prefixCodec;
    ZrMeterWork m_work;
    std::uint64_t m_trialBudget = UINT64_MAX;
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
//   - A partial packet is measured again only when the bytes its measure
//     asked for have come (for an enciphered one: a byte that may be its
//     end), and its walk goes on from where it stopped.
//   - Bytes that are not a packet are reported as a skipped run with their
//     offset and count; splitting resumes at the next byte where a packet may
//     start: a start byte, a command of the catalogue, an encryptType of 0
//     to 8, and a body that reads so far. A run that spans several feeds may
//     come out in adjacent pieces, each with the run's reason, counted from
//     the run's own first byte.
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
        if (m_chunkLeft == 0 && waitingForBytes() && size < m_waitFor - pendingHeld()) {
            const auto* p = static_cast<const unsigned char*>(data);
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
    std::uint64_t m_base;
    std::uint64_t m_offset;         // stream offset of the first byte not taken out
    ZrMeasureState m_measure;       // for the start at m_offset
    std::size_t m_waitFor = 0;      // Measuring a held start: re-measure once this many bytes are held
    bool m_waitEnciphered = false;  // and it is an enciphered one, which may end at any 0x03
    // ReportingRun, PacketReady: the packet at m_offset.
    std::size_t m_readyLength = 0;
    const ZrPacketClass* m_readyClass = nullptr;
    bool m_finished = false;
    Run m_run;
};

// Says why `cls` could not decode [buf, buf + len), for tools: the
// library's own text `libraryText` when it has one (an end byte that is not
// 0x03 gains the byte found and its offset), otherwise which field of the
// body cannot be read and where.
std::string zrExplainDecodeFailure(const ZrPacketClass& cls, const char* libraryText, const char* buf,
                                   unsigned int len);

#endif  // ZRPACKET_ZR_STREAM_SPLITTER_H

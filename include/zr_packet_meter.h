// How long the packet at the start of some bytes is, without a packet
// object (ZrPacketMeter), and what measuring may cost. ZrStreamSplitter
// (zr_stream_splitter.h) uses it to take whole packets out of a stream.
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
//     With a codec that deciphers every prefix of a cipher into the prefix
//     of its body, the packet ends at the first 0x03 at or after the body's
//     end, and the fields are walked once over the deciphered bytes as they
//     grow (ZrEndSearch says how they are deciphered).
//   - The keep-alive (no body) is 34 bytes ending in the ETX, whatever its
//     encryptType.
// Nothing is ever guessed: where no end fits, the bytes are not a packet.
//
// Work, whatever the bytes and however they are cut (resyncs included), is
// held to a budget per stream, two token buckets that ZrStreamSplitter
// keeps: cipher bytes deciphered and fields walked (ZrPacketMeter::work()
// counts both). Each bucket holds at first two longest packets' worth; each
// byte of the stream adds workPerByte (8 unless set) once, as it is taken
// out or held for the start being measured; and a bucket never holds more
// than it did at first, beyond what the bytes of that start added. A start
// that would spend more than a bucket holds is not a packet (fault
// WorkLimit). So after n bytes fed, with the default options:
//     work().deciphered <=    61 510 + 8 n   (the longest enciphered packet, 30 755 bytes, twice)
//     work().fields     <= 2 097 152 + 8 n   (the longest packet, 1 MiB, twice)
// An honest stream does not come near it: each enciphered byte is
// deciphered once with a codec that can go on from where it stopped, and
// about once otherwise (twice at most); each field is walked about once,
// whatever the pieces; a caller that stops at its first skipped run pays
// for one start (the run's first piece comes out as soon as its first
// start is refused).
#ifndef ZRPACKET_ZR_PACKET_METER_H
#define ZRPACKET_ZR_PACKET_METER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "zr_body_walk.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"
#include "zr_envelope.h"

// The longest packet waited for unless the caller says otherwise: a plain
// packet that claims more is refused as soon as it claims it.
constexpr std::size_t ZR_DEFAULT_MAX_PACKET_LEN = std::size_t{1} << 20;
// The longest enciphered packet: head, key byte, the longest cipher the
// scratch area takes, ETX.
constexpr std::size_t ZR_MAX_ENCIPHERED_PACKET_LEN = PKT_ENVELOPE_MIN_LEN + PKT_SCRATCH_HALF_LEN;
// The deciphered bytes and walked fields a stream may cost per byte of it,
// beyond a first allowance (see the top of this file).
constexpr std::size_t ZR_WORK_PER_BYTE = 8;

// How an enciphered packet's end is found, cheapest first. The meter uses
// the cheapest the linked codec allows, or a dearer one if asked (to test or
// measure that way).
enum class ZrEndSearch : unsigned char {
    // The cipher deciphered in pieces as its candidate ends come, each byte
    // once (ZRIEncrypt::resumesDecipher()).
    Resume,
    // In prefixes from the cipher's start, each at least twice the last
    // (ZRIEncrypt::deciphersPrefixes()); a prefix reaches the first byte
    // that looks like the packet's end (0x03 before 0x02 or at the end of
    // the bytes at hand), so a packet at hand is deciphered about once.
    Prefixes,
    // Each 0x03 tried in turn by deCode's own rule: any codec.
    Trial,
};

// Where in [p + from, p + to) the first byte is that looks like the end of
// an enciphered packet whose bytes at hand are [p, p + atHand): a 0x03
// before a 0x02 (the next packet's start) or as the last byte at hand; `to`
// when none does (to <= atHand). What arrives of an honest stream ends so.
std::size_t zrFirstLikelyEnd(const unsigned char* p, std::size_t from, std::size_t to, std::size_t atHand);

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
    WorkLimit,       // the stream's work budget is spent (`walk` says where a walk stopped for it)
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
    std::size_t faultOffset = 0;  // from the packet's first byte
    // The byte, command or encryptType found; bytes for StreamEnd; for
    // WorkLimit, the bytes to decipher or fields walked that went past it.
    std::uint64_t faultValue = 0;
    std::size_t limit = 0;  // the longest packet the measure accepted
    ZrWalkStop walk;        // Body: the field and the rule

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
    ZrWalkResume walk;             // where the body's walk stopped for want of bytes
    bool bodyRead = false;         // the body's fields have been walked whole
    std::size_t bodyEnd = 0;       // then: the body's length
    std::size_t needBody = 0;      // otherwise: the fewest body bytes the walk asked for
    std::size_t deciphered = 0;    // enciphered: cipher bytes deciphered into the meter's plain area
    std::size_t scanned = 0;       // enciphered: bytes from the start searched for a candidate end
    std::size_t endScanned = 0;    // and searched for one that looks like the end (zrFirstLikelyEnd)
    ZrDecipherRun cipher;          // ZrEndSearch::Resume: where the codec stopped
    std::uint64_t plainOwner = 0;  // which start the meter's plain area was last deciphered for

    // For a new start (the resume point's levels are left as they are: it
    // is not valid).
    void restart() {
        walk.valid = false;
        bodyRead = false;
        bodyEnd = needBody = deciphered = scanned = endScanned = 0;
        plainOwner = 0;
    }
};

// What measuring has cost, or may still cost.
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
        // The work budget's rate: deciphered bytes, and walked fields, per
        // byte of the stream (see the top of this file).
        std::size_t workPerByte = ZR_WORK_PER_BYTE;
        // How enciphered ends are found: this way, or a dearer one when the
        // linked codec cannot.
        ZrEndSearch endSearch = ZrEndSearch::Resume;
    };
    // A bucket that never runs out: a meter's budget until it is started.
    static constexpr std::uint64_t kUnlimited = UINT64_MAX;

    ZrPacketMeter() : ZrPacketMeter(Options()) {}
    explicit ZrPacketMeter(const Options& options);

    const Options& options() const { return m_options; }
    // The way enciphered ends are found, as the codec allows.
    ZrEndSearch endSearch() const { return m_endSearch; }
    // The longest enciphered packet this meter takes.
    std::size_t longestEnciphered() const { return std::min(m_options.maxPacketLength, ZR_MAX_ENCIPHERED_PACKET_LEN); }
    const ZrMeterWork& work() const { return m_work; }
    // Measures that found WorkLimit: starts refused for the budget.
    std::uint64_t workLimits() const { return m_workLimits; }

    // The work budget: what may still be spent, kUnlimited in a bucket not
    // started. startBudget() fills both buckets with the first allowance
    // (twice the longest enciphered packet in deciphered bytes, twice the
    // longest packet in fields). grantBudget() adds workPerByte a byte of
    // the stream to each, which then holds at most that allowance plus
    // workPerByte a byte of the `heldBytes` that have refilled it but are
    // not yet taken out (the start being measured). A measure that would
    // spend more than a bucket holds finds WorkLimit instead.
    void startBudget() { m_left = m_first; }
    void grantBudget(std::uint64_t streamBytes, std::uint64_t heldBytes = 0) {
        const std::uint64_t grant = streamBytes * m_options.workPerByte, held = heldBytes * m_options.workPerByte;
        refill(m_left.deciphered, m_first.deciphered + held, grant);
        refill(m_left.fields, m_first.fields + held, grant);
    }
    const ZrMeterWork& budgetLeft() const { return m_left; }
    void setBudgetLeft(const ZrMeterWork& left) { m_left = left; }
    ZrMeterWork allowance() const;

    // The packet at the start of [data, data + size). Reads nothing outside.
    ZrFrame measure(const void* data, std::size_t size);
    // The same, for a start whose bytes grow from one call to the next:
    // `state` carries what earlier calls learnt (start from {}). `ended`:
    // no more bytes will come, so an enciphered body is deciphered and
    // walked over all that is at hand for a fault, whatever its end bytes,
    // and the verdict does not depend on how the bytes came.
    ZrFrame measure(const void* data, std::size_t size, ZrMeasureState& state, bool ended = false);

private:
    // What deciphering up to a target came to.
    enum class Deciphered : unsigned char { Done, Refused, OverBudget };
    // What a walk of a body found: whole (`bytes` long), short of bytes (it
    // needs at least `bytes`), or a fault (in the frame's `walk`).
    struct Walked {
        enum Kind : unsigned char { Whole, Short, Fault } kind;
        std::size_t bytes;
    };

    void measurePlain(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state);
    void measureEnciphered(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state, bool ended);
    void trialSearch(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state);
    std::size_t decipherTarget(const unsigned char* p, std::size_t candidate, std::size_t upTo,
                               ZrMeasureState& state) const;
    Deciphered decipherTo(const unsigned char* p, std::size_t target, ZrMeasureState& state);
    // Takes `amount` from a bucket; false, taking nothing, when it holds less.
    static bool spend(std::uint64_t& left, std::uint64_t amount) {
        if (left == kUnlimited) return true;
        if (amount > left) return false;
        left -= amount;
        return true;
    }
    static void refill(std::uint64_t& left, std::uint64_t most, std::uint64_t grant) {
        if (left != kUnlimited) left = std::min(most, left + grant);  // a grant is far below 2^64
    }
    Walked walk(const ZrPacketClass& cls, const unsigned char* body, std::size_t size, std::size_t limit,
                ZrWalkResume* resume, ZrFrame& frame, bool keep = false);
    void walkFault(ZrFrame& frame);

    Options m_options;
    ZrEndSearch m_endSearch;
    ZrMeterWork m_work;
    std::uint64_t m_workLimits = 0;
    ZrMeterWork m_first;  // the first allowance
    ZrMeterWork m_left{kUnlimited, kUnlimited};
    std::uint64_t m_plainOwner = 0;  // the start whose bytes m_plain holds (ZrMeasureState::plainOwner)
    std::uint64_t m_starts = 0;      // starts that have deciphered into m_plain, to tell them apart
    unsigned char m_plain[PKT_SCRATCH_HALF_LEN];
};

#endif  // ZRPACKET_ZR_PACKET_METER_H

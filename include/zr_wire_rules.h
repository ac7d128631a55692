// The wire rules: how each form is laid out, and how one form is read at
// (at, end) with a verdict. Every reader of a body is built on these: the
// reader that stores fields (zr_field_cursors.h, under the byte stream and
// deCode), and the walk that only measures (zr_body_walk.h).
//
// Multi-byte fixed numbers go most significant byte first. A compact-mode
// u32 is a varint: 7 bits a byte, least significant group first, top bit set
// on every byte but the last: 300 -> AC 02, 127 -> 7F, 128 -> 80 01. An i32
// travels as the u32 of the same bits, so -1 -> FF FF FF FF 0F. A varint is
// taken whole however long; groups past the 32 bits are dropped.
//
//   number   u32 by mode: 4 bytes, or a varint
//   string   number length; 2^31 or more never fits; then the bytes
//   char[N]  number length: 0 or negative as a signed number is the empty
//            text and nothing follows; N or more fails; then the bytes
//   count    number, at most ZR_MAX_CONTAINER_COUNT
//
// Each rule reads only bytes in [at, end). On success it moves `at` past the
// form; on a fault it leaves `at` where the form starts and says why.
#ifndef ZRPACKET_ZR_WIRE_RULES_H
#define ZRPACKET_ZR_WIRE_RULES_H

#include <cstddef>
#include <cstdint>

// A container read from the wire holds at most this many elements: the
// bound on what a hostile count can make a receiver allocate.
constexpr std::uint32_t ZR_MAX_CONTAINER_COUNT = 1000;

// The longest varint of a 32-bit value. The compact writer demands this much
// room before every integer or length, whatever the value needs.
constexpr std::uint32_t ZR_VARINT32_MAX_LEN = 5;

// Stores v as a varint at p, which has room for ZR_VARINT32_MAX_LEN bytes;
// returns the end of what it stored.
inline unsigned char* zrPutVarint32(unsigned char* p, std::uint32_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}

// Byte-order policy: host values to and from network order (most significant
// byte first), stored at or loaded from unaligned byte pointers.
struct CHostNetworkConvertorNormal {
    static void storeBigEndian16(unsigned char* p, std::uint16_t v) {
        p[0] = static_cast<unsigned char>(v >> 8);
        p[1] = static_cast<unsigned char>(v);
    }
    static std::uint16_t loadBigEndian16(const unsigned char* p) {
        return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }
    static void storeBigEndian32(unsigned char* p, std::uint32_t v) {
        p[0] = static_cast<unsigned char>(v >> 24);
        p[1] = static_cast<unsigned char>(v >> 16);
        p[2] = static_cast<unsigned char>(v >> 8);
        p[3] = static_cast<unsigned char>(v);
    }
    static std::uint32_t loadBigEndian32(const unsigned char* p) {
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
               std::uint32_t{p[3]};
    }
    static void storeBigEndian64(unsigned char* p, std::uint64_t v) {
        storeBigEndian32(p, static_cast<std::uint32_t>(v >> 32));
        storeBigEndian32(p + 4, static_cast<std::uint32_t>(v));
    }
    static std::uint64_t loadBigEndian64(const unsigned char* p) {
        return (std::uint64_t{loadBigEndian32(p)} << 32) | loadBigEndian32(p + 4);
    }
};

// A text that the wire carries again, in the char[size] form, after its own
// field: written as the text cut to size - 1 characters; on reading, checked
// by the char[size] rules (a length of size or more fails the stream) and
// dropped, so the field keeps the value its own transfer gave it.
struct ZrTextEcho {
    char* text;
    std::uint32_t size;
};

// Why a form could not be read.
enum class ZrWireFault : unsigned char {
    None,
    // Short: the bytes end inside the form; more may make it whole.
    Number,  // a varint whose last byte at hand still has its top bit set
    Fixed,   // a fixed-width number
    Text,    // the bytes of a string or text
    // Malformed: no bytes that follow can make it whole.
    TextClaim,    // a string length of 2^31 or more
    TextTooLong,  // a char[N] text of N or more bytes
    Count,        // a list or map of more than ZR_MAX_CONTAINER_COUNT elements
};

// A rule's verdict.
struct ZrWireVerdict {
    ZrWireFault fault = ZrWireFault::None;
    // Bytes of the length or count that were read before the fault: a
    // failed text or count is reported after its prefix (0 for Number, Fixed).
    std::uint32_t prefix = 0;
    // Number: the varint's bytes at hand; Fixed: the width; Text, TextClaim,
    // TextTooLong: the length read; Count: the count read.
    std::uint64_t value = 0;

    bool ok() const { return fault == ZrWireFault::None; }
    bool truncated() const {
        return fault == ZrWireFault::Number || fault == ZrWireFault::Fixed || fault == ZrWireFault::Text;
    }
    // Truncated: the fewest bytes, from the form's start, that make it whole.
    std::uint64_t need() const { return fault == ZrWireFault::Number ? value + 1 : prefix + value; }
};

inline ZrWireVerdict zrWireFault(ZrWireFault fault, std::uint32_t prefix, std::uint64_t value) {
    ZrWireVerdict v;
    v.fault = fault;
    v.prefix = prefix;
    v.value = value;
    return v;
}

// n bytes at `at`: `at` moves past them, or Fixed.
inline ZrWireVerdict zrTake(const unsigned char*& at, const unsigned char* end, std::uint64_t n) {
    if (n <= static_cast<std::uint64_t>(end - at)) {
        at += n;
        return {};
    }
    return zrWireFault(ZrWireFault::Fixed, 0, n);
}

// The varints the fast path leaves: fewer than five bytes at hand, or
// longer than five bytes. Short, `v` holds the groups at hand. Inline too:
// a call here costs every walk of a number its register saves.
[[gnu::always_inline]] inline ZrWireVerdict zrReadVarint32Slow(const unsigned char*& at, const unsigned char* end,
                                                               std::uint32_t& v) {
    std::uint32_t x = 0;
    for (const unsigned char* p = at;; ++p) {
        if (p == end) {
            v = x;  // the groups at hand
            return zrWireFault(ZrWireFault::Number, 0, static_cast<std::uint64_t>(end - at));
        }
        const auto shift = static_cast<std::size_t>(p - at) * 7;
        if (shift < 32) x |= std::uint32_t{*p & 0x7Fu} << shift;
        if (*p < 0x80) {
            v = x;
            at = p + 1;
            return {};
        }
    }
}

// A varint. One byte whenever it is there, up to five with no check a byte
// when five are at hand (the usual forms); the rest by the slow loop.
[[gnu::always_inline]] inline ZrWireVerdict zrReadVarint32(const unsigned char*& at, const unsigned char* end,
                                                           std::uint32_t& v) {
    const std::size_t room = static_cast<std::size_t>(end - at);
    if (room >= 1 && at[0] < 0x80) {
        v = at[0];
        ++at;
        return {};
    }
    if (room >= ZR_VARINT32_MAX_LEN) {
        std::uint32_t x = at[0] & 0x7Fu;  // gathered in a local: a store through `v` may alias the bytes
        for (std::size_t i = 1; i < ZR_VARINT32_MAX_LEN; ++i) {
            x |= std::uint32_t{at[i] & 0x7Fu} << (7 * i);  // the fifth group's top bits fall off
            if (at[i] < 0x80) {
                v = x;
                at += i + 1;
                return {};
            }
        }
    }
    return zrReadVarint32Slow(at, end, v);
}

// A u32 by mode. Short, `v` holds a varint's groups at hand, or 0.
[[gnu::always_inline]] inline ZrWireVerdict zrReadNumber(const unsigned char*& at, const unsigned char* end,
                                                         bool compact, std::uint32_t& v) {
    if (compact) return zrReadVarint32(at, end, v);
    if (end - at < 4) {
        v = 0;
        return zrWireFault(ZrWireFault::Fixed, 0, 4);
    }
    v = CHostNetworkConvertorNormal::loadBigEndian32(at);
    at += 4;
    return {};
}

// A string: its `length` bytes start at `bytes`. A length of 2^31 or more
// is TextClaim.
[[gnu::always_inline]] inline ZrWireVerdict zrReadString(const unsigned char*& at, const unsigned char* end,
                                                         bool compact, const unsigned char*& bytes,
                                                         std::uint32_t& length) {
    const unsigned char* p = at;
    const ZrWireVerdict number = zrReadNumber(p, end, compact, length);
    if (!number.ok()) return number;
    const auto prefix = static_cast<std::uint32_t>(p - at);
    if (static_cast<std::int32_t>(length) < 0) return zrWireFault(ZrWireFault::TextClaim, prefix, length);
    if (length > static_cast<std::size_t>(end - p)) return zrWireFault(ZrWireFault::Text, prefix, length);
    bytes = p;
    at = p + length;
    return {};
}

// A char[size] text: `length` characters at `bytes` (0 for the empty text).
[[gnu::always_inline]] inline ZrWireVerdict zrReadText(const unsigned char*& at, const unsigned char* end, bool compact,
                                                       std::uint32_t size, const unsigned char*& bytes,
                                                       std::uint32_t& length) {
    const unsigned char* p = at;
    const ZrWireVerdict number = zrReadNumber(p, end, compact, length);
    if (!number.ok()) return number;
    const auto prefix = static_cast<std::uint32_t>(p - at);
    if (static_cast<std::int32_t>(length) <= 0) {
        length = 0;
    } else if (length >= size) {
        return zrWireFault(ZrWireFault::TextTooLong, prefix, length);
    } else if (length > static_cast<std::size_t>(end - p)) {
        return zrWireFault(ZrWireFault::Text, prefix, length);
    }
    bytes = p;
    at = p + length;
    return {};
}

// A list's or map's count. Refused, `count` holds what was read: the count
// itself, or a short varint's groups.
[[gnu::always_inline]] inline ZrWireVerdict zrReadCount(const unsigned char*& at, const unsigned char* end,
                                                        bool compact, std::uint32_t& count) {
    const unsigned char* p = at;
    const ZrWireVerdict number = zrReadNumber(p, end, compact, count);
    if (!number.ok()) return number;
    if (count > ZR_MAX_CONTAINER_COUNT) {
        return zrWireFault(ZrWireFault::Count, static_cast<std::uint32_t>(p - at), count);
    }
    at = p;
    return {};
}

#endif  // ZRPACKET_ZR_WIRE_RULES_H

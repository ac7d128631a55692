// Stand-in codec: an obfuscating keystream, not cryptography (see the header).
//
// Each output byte is the input byte XORed with the next keystream byte and
// with the previous output byte rotated by a per-variant amount, so a change
// in one byte spreads to every later byte. The keystream is a 32-bit
// xorshift whose shifts, seed multiplier and rotation differ per variant; it
// is seeded from the key byte, which encoding derives from the body itself.
#include "zre_sec_io.h"

#include <cstdint>
#include <cstring>

namespace {

struct Variant {
    unsigned char shiftA, shiftB, shiftC;
    unsigned char rotation;
    std::uint32_t seedMultiplier;
};

constexpr int kVariantCount = 8;
constexpr Variant kVariants[kVariantCount] = {
    {13, 17, 5, 1, 0x9E3779B1u}, {1, 3, 10, 3, 0x85EBCA77u}, {1, 5, 16, 5, 0xC2B2AE3Du},  {2, 5, 15, 7, 0x27D4EB2Fu},
    {3, 5, 4, 2, 0x165667B1u},   {5, 9, 7, 4, 0xD3A2646Du},  {6, 13, 11, 6, 0xFD7046C5u}, {7, 1, 9, 1, 0xB55A4F09u},
};

bool acceptable(const void* src, int srcLen, const void* dest, unsigned char type) {
    return type >= 1 && type <= kVariantCount && srcLen >= 0 && srcLen <= ZRE_SEC_MAX_LEN &&
           (srcLen == 0 || (src != nullptr && dest != nullptr));
}

class Keystream {
public:
    Keystream(unsigned char key, unsigned char type) : m_variant(kVariants[type - 1]) {
        m_state = (key + 1u) * m_variant.seedMultiplier ^ (type * 0x01000193u);
        if (m_state == 0) m_state = 1;  // xorshift never leaves zero
    }
    Keystream(unsigned char type, std::uint32_t state) : m_variant(kVariants[type - 1]), m_state(state) {}
    unsigned char next() {
        m_state ^= m_state << m_variant.shiftA;
        m_state ^= m_state >> m_variant.shiftB;
        m_state ^= m_state << m_variant.shiftC;
        return static_cast<unsigned char>(m_state >> 24);
    }
    unsigned char chain(unsigned char previous) const {
        const unsigned r = m_variant.rotation;
        return static_cast<unsigned char>((previous << r) | (previous >> (8 - r)));
    }
    std::uint32_t state() const { return m_state; }

private:
    Variant m_variant;
    std::uint32_t m_state;
};

// Where a decipher stands: the keystream, the last cipher byte, the bytes
// done. A resumed decipher keeps it in the caller's state bytes.
struct Decoder {
    std::uint32_t keystream;
    std::int32_t done;
    unsigned char type;
    unsigned char previous;
};
static_assert(sizeof(Decoder) <= ZRE_SEC_RESUME_STATE_LEN, "the state the header promises holds a decoder");

Decoder beginDecoder(unsigned char key, unsigned char type) { return {Keystream(key, type).state(), 0, type, key}; }

// The next n cipher bytes, going on from `d`.
void decode(Decoder& d, const unsigned char* in, int n, unsigned char* out) {
    Keystream stream(d.type, d.keystream);
    unsigned char previous = d.previous;
    for (int i = 0; i < n; ++i) {
        const unsigned char cipher = in[i];  // read first: src and dest may be the same bytes
        out[i] = static_cast<unsigned char>(cipher ^ stream.next() ^ stream.chain(previous));
        previous = cipher;
    }
    d.keystream = stream.state();
    d.previous = previous;
    d.done += n;
}

// FNV-1a of the body folded to a byte, mixed with the variant.
unsigned char deriveKey(const unsigned char* body, int length, unsigned char type) {
    std::uint32_t hash = 0x811C9DC5u ^ type;
    for (int i = 0; i < length; ++i) hash = (hash ^ body[i]) * 0x01000193u;
    return static_cast<unsigned char>(hash ^ (hash >> 8) ^ (hash >> 16) ^ (hash >> 24));
}

}  // namespace

bool ZreSecIO::netPackEncode(unsigned char& key, const void* src, int srcLen, void* dest, int& destLen,
                             unsigned char type, ZreSecIO* /*instance*/) {
    if (!acceptable(src, srcLen, dest, type)) return false;
    const auto* in = static_cast<const unsigned char*>(src);
    auto* out = static_cast<unsigned char*>(dest);
    key = deriveKey(in, srcLen, type);
    Keystream stream(key, type);
    unsigned char previous = key;
    for (int i = 0; i < srcLen; ++i) {
        out[i] = static_cast<unsigned char>(in[i] ^ stream.next() ^ stream.chain(previous));
        previous = out[i];
    }
    destLen = srcLen;
    return true;
}

bool ZreSecIO::netPackDecode(unsigned char key, const void* src, int srcLen, void* dest, int& destLen,
                             unsigned char type, ZreSecIO* /*instance*/) {
    if (!acceptable(src, srcLen, dest, type)) return false;
    Decoder d = beginDecoder(key, type);
    decode(d, static_cast<const unsigned char*>(src), srcLen, static_cast<unsigned char*>(dest));
    destLen = srcLen;
    return true;
}

#ifndef ZRE_SEC_TWO_CALLS_ONLY
// The decoder lives in the caller's bytes, which need not be aligned.
bool zreSecDecodeBegin(unsigned char key, unsigned char type, void* state, int stateLen) {
    if (type < 1 || type > kVariantCount || state == nullptr || stateLen < ZRE_SEC_RESUME_STATE_LEN) return false;
    const Decoder d = beginDecoder(key, type);
    std::memcpy(state, &d, sizeof d);
    return true;
}

bool zreSecDecodeOn(void* state, const void* src, int srcLen, void* dest, int* destLen) {
    if (state == nullptr || destLen == nullptr) return false;
    Decoder d;
    std::memcpy(&d, state, sizeof d);
    if (!acceptable(src, srcLen, dest, d.type) || srcLen > ZRE_SEC_MAX_LEN - d.done) return false;
    decode(d, static_cast<const unsigned char*>(src), srcLen, static_cast<unsigned char*>(dest));
    std::memcpy(state, &d, sizeof d);
    *destLen = srcLen;
    return true;
}
#endif

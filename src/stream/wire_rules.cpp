// The out-of-line varint: the last bytes of a buffer, and varints longer
// than five bytes.
#include "zr_wire_rules.h"

ZrWireVerdict zrReadVarint32Slow(const unsigned char*& at, const unsigned char* end, std::uint32_t& v) {
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

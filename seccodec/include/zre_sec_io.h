// Stand-in for the external body codec, module seccodec.
//
// NOT CRYPTOGRAPHIC PROTECTION. This module only obfuscates: it scrambles a
// body with a keystream derived from a one-byte key and the variant, which
// anyone holding the packet can undo. It exists so that the packet library
// can be built, tested and demonstrated without the real codec; a deployment
// links its real codec, with these two signatures, in its place.
//
// What the packet library relies on, and this stand-in provides:
//   - variants 1 to 8, chosen by `type`; any other type is refused;
//   - netPackEncode writes a key byte and exactly srcLen bytes of output;
//   - netPackDecode of that output with the same key and type gives the body
//     back;
//   - a length that is negative or over ZRE_SEC_MAX_LEN is refused, so
//     neither call writes more than ZRE_SEC_MAX_LEN bytes to dest.
// The instance argument is accepted and ignored.
#ifndef SECCODEC_ZRE_SEC_IO_H
#define SECCODEC_ZRE_SEC_IO_H

// The largest body either call accepts: the size of the destination areas
// the packet library hands over.
constexpr int ZRE_SEC_MAX_LEN = 30720;

class ZreSecIO {
public:
    static bool netPackEncode(unsigned char& key, const void* src, int srcLen, void* dest, int& destLen,
                              unsigned char type, ZreSecIO* instance);
    static bool netPackDecode(unsigned char key, const void* src, int srcLen, void* dest, int& destLen,
                              unsigned char type, ZreSecIO* instance);
};

#endif  // SECCODEC_ZRE_SEC_IO_H

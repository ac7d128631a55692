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
//
// Optional, and offered by this stand-in: deciphering a cipher in pieces,
// each call going on from where the last one stopped, so that a receiver
// that learns a cipher's bytes a few at a time deciphers each byte once. A
// codec may leave these two calls out: the packet library finds out when it
// loads, and then deciphers each prefix it needs from the cipher's start.
//   - zreSecDecodeBegin(key, type, state, stateLen) readies `state`, which
//     the caller keeps (at least ZRE_SEC_RESUME_STATE_LEN bytes, any
//     alignment) for one cipher; false for a type outside 1 to 8 or a state
//     too small.
//   - zreSecDecodeOn(state, src, srcLen, dest, destLen) deciphers the next
//     srcLen bytes of that cipher into dest: the bytes netPackDecode of the
//     whole cipher writes at their place. False, writing nothing, once the
//     cipher would pass ZRE_SEC_MAX_LEN bytes in all.
#ifndef SECCODEC_ZRE_SEC_IO_H
#define SECCODEC_ZRE_SEC_IO_H

// The largest body either call accepts: the size of the destination areas
// the packet library hands over.
constexpr int ZRE_SEC_MAX_LEN = 30720;
// The state a resumed decipher keeps between calls.
constexpr int ZRE_SEC_RESUME_STATE_LEN = 16;

class ZreSecIO {
public:
    static bool netPackEncode(unsigned char& key, const void* src, int srcLen, void* dest, int& destLen,
                              unsigned char type, ZreSecIO* instance);
    static bool netPackDecode(unsigned char key, const void* src, int srcLen, void* dest, int& destLen,
                              unsigned char type, ZreSecIO* instance);
};

extern "C" {
bool zreSecDecodeBegin(unsigned char key, unsigned char type, void* state, int stateLen);
bool zreSecDecodeOn(void* state, const void* src, int srcLen, void* dest, int* destLen);
}

#endif  // SECCODEC_ZRE_SEC_IO_H

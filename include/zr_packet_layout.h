// Where everything of a packet stands on the wire, and what a buffer is as
// a packet of a class (the envelope's verdict). Depends on nothing: the
// head, the codec wrapper, the envelope and the meter all start here.
//
// Head layout (every multi-byte field most significant byte first):
//
//   offset size field
//        0    1 STX, always 0x02
//        1    2 version: byte 1 versionHigh, byte 2 versionLow
//        3    4 cmdID        selects the packet class and whether the body is enciphered
//        7    1 subcmdID
//        8    4 userID       (userID precedes SN)
//       12    4 SN           serial number
//       16    1 encryptType  0: plain body; 1 to 8: the codec's variant
//       17   16 context1 .. context4, opaque to the library
//
// A body packet follows its head with the envelope:
//
//       33    1 key byte     produced by the codec on enciphered bodies
//       34    n body         plain, or the codec's output for the plain body
//   34 + n    1 ETX, always 0x03
//
// The keep-alive has no envelope: its head is followed by the ETX alone.
#ifndef ZRPACKET_ZR_PACKET_LAYOUT_H
#define ZRPACKET_ZR_PACKET_LAYOUT_H

#include <cstddef>

constexpr unsigned int PKT_HEAD_FIXED_LEN = 33;
// A body packet's shortest form: head, key byte and ETX around an empty body.
constexpr unsigned int PKT_ENVELOPE_MIN_LEN = PKT_HEAD_FIXED_LEN + 2;
// Each half of a packet's scratch area; the largest body that can be
// enciphered, and the longest cipher or deciphered body the codec is given
// or may give.
constexpr unsigned int PKT_SCRATCH_HALF_LEN = 30720;

constexpr unsigned char _STX_ = 0x02;
constexpr unsigned char _ETX_ = 0x03;

// Where each head field and the envelope's key byte and body start.
constexpr unsigned int PKT_OFFSET_VERSION = 1;
constexpr unsigned int PKT_OFFSET_CMDID = 3;
constexpr unsigned int PKT_OFFSET_SUBCMDID = 7;
constexpr unsigned int PKT_OFFSET_USERID = 8;
constexpr unsigned int PKT_OFFSET_SN = 12;
constexpr unsigned int PKT_OFFSET_ENCRYPT_TYPE = 16;
constexpr unsigned int PKT_OFFSET_CONTEXT1 = 17;
constexpr unsigned int PKT_OFFSET_CONTEXT2 = 21;
constexpr unsigned int PKT_OFFSET_CONTEXT3 = 25;
constexpr unsigned int PKT_OFFSET_CONTEXT4 = 29;
constexpr unsigned int PKT_OFFSET_KEY = PKT_HEAD_FIXED_LEN;
constexpr unsigned int PKT_OFFSET_BODY = PKT_HEAD_FIXED_LEN + 1;

// The steps of reading a packet of a class, in deCode's order; a verdict
// names the first that fails.
enum class ZrEnvelopeStep : unsigned char {
    Accepted,  // a whole packet
    Head,      // no head: a buffer shorter than it, or no STX
    TooShort,  // no room for what follows the head (enciphered: key byte and ETX; keep-alive: the ETX)
    Decipher,  // the codec refuses the cipher, or encryptType names no variant
    Body,      // the body's fields cannot be read from the (deciphered) body bytes
    EndByte,   // the end byte is not 0x03, or (plain) the bytes end before it
};

// What a buffer is as a packet of a class (zrEnvelopeVerdict, zr_envelope.h).
struct ZrEnvelopeVerdict {
    ZrEnvelopeStep step = ZrEnvelopeStep::Accepted;
    // Accepted: the packet's length, ETX included (a plain body's packet
    // may end before the buffer does). EndByte: where the end byte stands,
    // or the buffer's length when the bytes end before it. Otherwise the
    // offset of the step that failed.
    std::size_t at = 0;
    bool enciphered = false;  // encryptType is not 0 (and the class has a body)
    bool deciphered = false;  // the cipher deciphered
    // The body's bytes: deciphered, or (plain) in the buffer after the key
    // byte; and those its fields took, once they read whole.
    std::size_t bodyLength = 0;
    std::size_t fieldsLength = 0;

    bool accepted() const { return step == ZrEnvelopeStep::Accepted; }
    // A deciphered body's bytes after its fields: deCode accepts them, and
    // a decoded packet's fields do not show them.
    std::size_t trailing() const { return deciphered && accepted() ? bodyLength - fieldsLength : 0; }
};

#endif  // ZRPACKET_ZR_PACKET_LAYOUT_H

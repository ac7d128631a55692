// The envelope's out-of-line steps: enciphering on the way out, the length
// checks and deciphering on the way in, and the end-byte check. The inline
// part that runs the body lives with the head's declaration.
//
//   head (33) | key byte | body, plain or enciphered | ETX 0x03
//
// Enciphered bodies are streamed into the plain half of the scratch area and
// enciphered into the caller's buffer when it has room for the codec's
// longest output, else into the cipher half and copied out once; on the way
// in they are deciphered into the cipher half. Every length handed to the
// codec is checked against the buffer and the scratch half first.
#include <algorithm>
#include <climits>

#include "zr_encrypt.h"
#include "zr_envelope.h"

namespace {

const char* decipherFailure(const ZrEnvelopeStyle& style) {
    return style.blankAfterComma ? " decryptProtocol failed" : "decryptProtocol failed";
}
const char* endByteFailure(const ZrEnvelopeStyle& style) {
    return style.blankAfterComma ? " l_cETX != _ETX_" : "l_cETX != _ETX_";
}

}  // namespace

// The plain body is in the plain half, m_bodyStream.usedLength() bytes.
// The codec may write as much as a whole cipher half. When the caller's
// buffer has that much room after the key byte, the codec writes straight
// into it, at the body's place; otherwise into the cipher half, which is
// copied out once its length is known to fit. The bytes are the same
// either way; the first saves a copy of the body.
int ZrCPacketHead::sendEnciphered() {
    const unsigned char* plain = m_scratch;
    // Key byte and the codec's longest output, straight in the caller's buffer.
    unsigned char* direct = m_mainStream.beginWrites(1 + PKT_SCRATCH_HALF_LEN);
    unsigned char* cipher = direct != nullptr ? direct + 1 : m_scratch + PKT_SCRATCH_HALF_LEN;
    unsigned int cipherLen = 0;
    if (ZRIEncrypt::encryptProtocolEx(reinterpret_cast<const char*>(plain), m_bodyStream.usedLength(),
                                      reinterpret_cast<char*>(cipher), cipherLen, m_keyByte,
                                      static_cast<char>(m_encryptType)) != 0 ||
        cipherLen > PKT_SCRATCH_HALF_LEN) {
        return -1;  // never send what the codec refused, nor read past the cipher half
    }
    if (direct != nullptr) {
        *direct = m_keyByte;
        m_mainStream.endWrites(cipher + cipherLen);
    } else {
        m_mainStream.transfer(m_keyByte);
        m_mainStream.writeBytes(cipher, cipherLen);
    }
    m_mainStream.putByte(_ETX_);
    return m_mainStream.good() ? 0 : -1;
}

// The cipher runs from offset 34 up to, not including, the last byte of the
// buffer; decryptProtocolEx refuses one longer than a scratch half.
bool zrDecipherBody(const unsigned char* buf, std::size_t cipherLen, unsigned char* plain, unsigned int& plainLen) {
    plainLen = 0;
    const auto length = static_cast<unsigned int>(std::min<std::size_t>(cipherLen, UINT_MAX));
    return ZRIEncrypt::decryptProtocolEx(reinterpret_cast<const char*>(buf) + PKT_OFFSET_BODY, length,
                                         reinterpret_cast<char*>(plain), plainLen, buf[PKT_OFFSET_KEY],
                                         static_cast<char>(buf[PKT_OFFSET_ENCRYPT_TYPE])) == 0;
}

// Texts for the steps that have one. An enciphered buffer without room for
// key byte and ETX has no end byte; a keep-alive without one could not be
// read.
int ZrCPacketHead::refuseDecode(const ZrEnvelopeStyle& style) {
    switch (m_verdict.step) {
        case ZrEnvelopeStep::TooShort:
            if (style.mode == ZrBodyMode::None) {
                setLastError(style.className, Joint::Scope, "deCode", " ByteStream >> failed");
                break;
            }
            [[fallthrough]];
        case ZrEnvelopeStep::EndByte:
            setLastError(style.className, Joint::Scope, "deCode", endByteFailure(style));
            break;
        case ZrEnvelopeStep::Decipher:
            setLastError(style.className, Joint::Blank, "deCode", decipherFailure(style));
            break;
        case ZrEnvelopeStep::Accepted:
        case ZrEnvelopeStep::Head:
        case ZrEnvelopeStep::Body:
            break;
    }
    return -1;
}

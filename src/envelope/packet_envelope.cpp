// The envelope every body packet wraps its body in, written once:
//
//   head (33) | key byte | body, plain or enciphered | ETX 0x03
//
// Plain bodies are streamed straight into the caller's buffer. Enciphered
// bodies are streamed into the plain half of the scratch area, enciphered
// into the cipher half, and copied out once. Decoding runs the steps
// backwards, deciphering into the cipher half. Every length handed to the
// codec is checked against the buffer and the scratch half first.
#include "zr_encrypt.h"
#include "zr_packet_head.h"

namespace {

void prepare(ZrLCByteStream& stream, bool serializing, ZrBodyMode mode) {
    stream.setSerializing(serializing);
    stream.setCompact(mode == ZrBodyMode::Compact);
}

const char* decipherFailure(const ZrEnvelopeStyle& style) {
    return style.blankAfterComma ? " decryptProtocol failed" : "decryptProtocol failed";
}
const char* endByteFailure(const ZrEnvelopeStyle& style) {
    return style.blankAfterComma ? " l_cETX != _ETX_" : "l_cETX != _ETX_";
}

}  // namespace

int ZrCPacketHead::encodeEnvelope(char* pSendBuf, unsigned int nBufLen, const ZrEnvelopeStyle& style,
                                  BodyRoutine body) {
    const int head = ZrCPacketHead::enCode(pSendBuf, nBufLen);
    if (head != 0) return head;
    m_mainStream.attach(pSendBuf + PKT_HEAD_FIXED_LEN, nBufLen - PKT_HEAD_FIXED_LEN, true);
    prepare(m_mainStream, true, style.mode);

    if (m_encryptType == 0) {
        m_mainStream.transfer(m_keyByte);  // whatever the last enCode or deCode left
        body(m_mainStream);
        m_mainStream.putByte(_ETX_);
        return m_mainStream.good() ? 0 : -1;
    }

    unsigned char* plain = m_scratch;
    unsigned char* cipher = m_scratch + PKT_SCRATCH_HALF_LEN;
    m_bodyStream.attach(plain, PKT_SCRATCH_HALF_LEN, true);
    prepare(m_bodyStream, true, style.mode);
    body(m_bodyStream);
    if (!m_bodyStream.good()) return -1;  // the body does not fit the scratch half

    unsigned int cipherLen = 0;
    if (ZRIEncrypt::encryptProtocolEx(reinterpret_cast<const char*>(plain), m_bodyStream.usedLength(),
                                      reinterpret_cast<char*>(cipher), cipherLen, m_keyByte,
                                      static_cast<char>(m_encryptType)) != 0 ||
        cipherLen > PKT_SCRATCH_HALF_LEN) {
        return -1;  // never send what the codec refused, nor read past the cipher half
    }
    m_mainStream.transfer(m_keyByte);
    m_mainStream.writeBytes(cipher, cipherLen);
    m_mainStream.putByte(_ETX_);
    return m_mainStream.good() ? 0 : -1;
}

int ZrCPacketHead::decodeEnvelope(char* pRecvBuf, unsigned int nBufLen, const ZrEnvelopeStyle& style,
                                  BodyRoutine body) {
    const int head = ZrCPacketHead::deCode(pRecvBuf, nBufLen);
    if (head != 0) return head;
    m_mainStream.attachForReading(pRecvBuf + PKT_HEAD_FIXED_LEN, nBufLen - PKT_HEAD_FIXED_LEN);
    prepare(m_mainStream, false, style.mode);
    m_mainStream.transfer(m_keyByte);

    unsigned char etx = 0;
    if (m_encryptType == 0) {
        // The ETX follows the body directly; bytes after it are not ours.
        body(m_mainStream);
        if (!m_mainStream.good()) return -1;
        m_mainStream.transfer(etx);
    } else {
        // The cipher runs from offset 34 up to the last byte, which is the ETX.
        if (nBufLen < PKT_ENVELOPE_MIN_LEN) {
            setLastError(style.className, Joint::Scope, "deCode", endByteFailure(style));
            return -1;
        }
        const unsigned int cipherLen = nBufLen - PKT_ENVELOPE_MIN_LEN;
        unsigned char* cipher = m_scratch + PKT_SCRATCH_HALF_LEN;
        unsigned int plainLen = 0;
        if (cipherLen > PKT_SCRATCH_HALF_LEN ||
            ZRIEncrypt::decryptProtocolEx(pRecvBuf + PKT_OFFSET_BODY, cipherLen, reinterpret_cast<char*>(cipher),
                                          plainLen, m_keyByte, static_cast<char>(m_encryptType)) < 0 ||
            plainLen > PKT_SCRATCH_HALF_LEN) {
            setLastError(style.className, Joint::Blank, "deCode", decipherFailure(style));
            return -1;
        }
        m_bodyStream.attachForReading(cipher, plainLen);
        prepare(m_bodyStream, false, style.mode);
        body(m_bodyStream);
        if (!m_bodyStream.good()) return -1;
        m_mainStream.attachForReading(pRecvBuf + nBufLen - 1, 1);
        m_mainStream.transfer(etx);
    }
    if (etx != _ETX_) {
        setLastError(style.className, Joint::Scope, "deCode", endByteFailure(style));
        return -1;
    }
    return 0;
}

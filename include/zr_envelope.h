// The envelope around a body (zr_packet_layout.h draws it) and its one
// rule: zrEnvelopeVerdict says what a buffer is as a packet of a class, for
// deCode (which stores the fields), for the meter and the tools (which walk
// them). Error texts are formatted from its verdict.
//
// `enCode` sets encryptType itself: 0 for the plain commands 1, 2, 3, 9,
// 1001, 1002 and 1009, otherwise rand() % 8 + 1. A plain body may be
// followed by unrelated bytes in the receive buffer; an enciphered one must
// end the buffer at its ETX. Bodies are in the stream's compact mode
// (varints) except in the five classes noted as fixed-mode bodies.
#ifndef ZRPACKET_ZR_ENVELOPE_H
#define ZRPACKET_ZR_ENVELOPE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "zr_body_walk.h"
#include "zr_field_runs.h"
#include "zr_head.h"
#include "zr_packet_layout.h"

// What sets one class's envelope apart: its name in the error texts, the
// integer mode of its body, and whether its texts put a blank after the
// comma ("[C deCode], decryptProtocol failed").
struct ZrEnvelopeStyle {
    const char* className;
    ZrBodyMode mode;
    bool blankAfterComma = false;
};

// What a reader of the body's fields came to over the bytes it was given:
// read whole, in `length` of them, or not.
struct ZrBodyRead {
    bool whole;
    std::size_t length;
};

// Deciphers the first `cipherLen` cipher bytes of the packet at `buf` (key
// byte and encryptType from its head) into `plain`, a scratch half; false
// when the codec refuses them (ZRIEncrypt::decryptProtocolEx checks the
// lengths and the variant).
bool zrDecipherBody(const unsigned char* buf, std::size_t cipherLen, unsigned char* plain, unsigned int& plainLen);

// What [buf, buf + len), a buffer whose head is checked (its STX; its
// bytes at hand up to encryptType at least), is as a packet of a class
// whose body is in `mode`:
//   - None (the keep-alive): the byte after the head is the ETX.
//   - encryptType 0: after the key byte, the body's fields read whole from
//     offset 34 on, and the ETX follows them at once; bytes after it are
//     not the packet's.
//   - encryptType 1 to 8: the buffer has room for key byte and ETX, its
//     cipher (offset 34 up to its last byte) deciphers into `plain` (a
//     scratch half), the fields read whole from the deciphered bytes (bytes
//     after them are allowed), and its last byte is the ETX.
// `readBody(body, size)` reads the fields (storing them or walking them)
// and says how far it got; a plain body's reader is given the bytes from
// offset 34 to the buffer's end (none when the buffer ends at the key
// byte). The first step that fails, in that order.
template <class ReadBody>
ZrEnvelopeVerdict zrEnvelopeVerdict(const unsigned char* buf, std::size_t len, ZrBodyMode mode, unsigned char* plain,
                                    ReadBody&& readBody) {
    ZrEnvelopeVerdict verdict;
    if (mode == ZrBodyMode::None) {
        verdict.at = PKT_HEAD_FIXED_LEN;
        if (len <= PKT_HEAD_FIXED_LEN) {
            verdict.step = ZrEnvelopeStep::TooShort;
        } else if (buf[PKT_HEAD_FIXED_LEN] != _ETX_) {
            verdict.step = ZrEnvelopeStep::EndByte;
        } else {
            verdict.at = PKT_HEAD_FIXED_LEN + 1;
        }
        return verdict;
    }
    if (buf[PKT_OFFSET_ENCRYPT_TYPE] == 0) {
        const std::size_t from = std::min<std::size_t>(len, PKT_OFFSET_BODY);
        verdict.bodyLength = len - from;
        const ZrBodyRead read = readBody(static_cast<const unsigned char*>(buf + from), verdict.bodyLength);
        if (!read.whole) {
            verdict.step = ZrEnvelopeStep::Body;
            verdict.at = from;
            return verdict;
        }
        verdict.fieldsLength = read.length;
        verdict.at = PKT_OFFSET_BODY + read.length;
        if (verdict.at >= len || buf[verdict.at] != _ETX_) {
            verdict.step = ZrEnvelopeStep::EndByte;
        } else {
            ++verdict.at;
        }
        return verdict;
    }
    verdict.enciphered = true;
    if (len < PKT_ENVELOPE_MIN_LEN) {
        verdict.step = ZrEnvelopeStep::TooShort;
        verdict.at = len;
        return verdict;
    }
    unsigned int plainLen = 0;
    if (!zrDecipherBody(buf, len - PKT_ENVELOPE_MIN_LEN, plain, plainLen)) {
        verdict.step = ZrEnvelopeStep::Decipher;
        verdict.at = PKT_OFFSET_BODY;
        return verdict;
    }
    verdict.deciphered = true;
    verdict.bodyLength = plainLen;
    const ZrBodyRead read = readBody(static_cast<const unsigned char*>(plain), std::size_t{plainLen});
    if (!read.whole) {
        verdict.step = ZrEnvelopeStep::Body;
        verdict.at = PKT_OFFSET_BODY;
        return verdict;
    }
    verdict.fieldsLength = read.length;
    if (buf[len - 1] != _ETX_) {
        verdict.step = ZrEnvelopeStep::EndByte;
        verdict.at = len - 1;
        return verdict;
    }
    verdict.at = len;
    return verdict;
}

// The reader of a body without fields (the keep-alive's).
inline ZrBodyRead zrNoFields(const unsigned char*, std::size_t) { return {true, 0}; }

// A plain body with its key byte before it and its ETX after it, through
// one cursor: written with one room check for the body at its longest,
// read with the stream taking over whatever the cursor is not sure of (see
// zr_field_runs.h). Each visitor is a local of its flattened function, so
// that the cursor stays in registers.
template <bool Compact, class Owner, class List>
[[gnu::flatten]] unsigned char* zrWriteEnvelopeRun(unsigned char* at, unsigned char key, Owner& owner, List& list) {
    *at++ = key;
    ZrUncheckedWriter<Compact> writer(at);
    list(zrFieldsOf(owner, writer));
    at = writer.end();
    *at++ = _ETX_;
    return at;
}
// Key byte and body, read; false when they cannot be. The ETX is the
// verdict's to check.
template <bool Compact, class Owner, class List>
[[gnu::flatten]] bool zrReadEnvelopeRun(ZrLCByteStream& stream, unsigned char& key, Owner& owner, List& list) {
    ZrFieldReader<Compact> reader(stream);
    reader(nullptr, key);
    list(zrFieldsOf(owner, reader));
    const bool good = reader.good();
    reader.finish();
    return good;
}

// --- the head's and the envelope's wire code, inline in every packet's enCode and deCode ---

inline int ZrCPacketHead::enCode(char* pSendBuf, unsigned int nBufLen) {
    if (pSendBuf == nullptr || nBufLen < PKT_HEAD_FIXED_LEN) return refuseEnCode(pSendBuf, nBufLen);
    m_encryptType = isNeedEncrypt() ? drawEncryptType() : 0;
    pSendBuf[0] = static_cast<char>(_STX_);
    headFieldList(ZrUncheckedWriter<false>(reinterpret_cast<unsigned char*>(pSendBuf) + 1));
    return 0;
}

inline int ZrCPacketHead::deCode(char* pRecvBuf, unsigned int nBufLen) {
    if (pRecvBuf == nullptr || nBufLen < PKT_HEAD_FIXED_LEN || static_cast<unsigned char>(pRecvBuf[0]) != _STX_) {
        return refuseDeCode(pRecvBuf, nBufLen);
    }
    m_mainStream.attachForReading(pRecvBuf, nBufLen);
    headFieldList(ZrUncheckedReader(reinterpret_cast<const unsigned char*>(pRecvBuf) + 1));  // encryptType as received
    return 0;
}

template <class Packet>
int ZrCPacketHead::encodeEnvelope(Packet& self, char* pSendBuf, unsigned int nBufLen) {
    constexpr ZrBodyMode mode = Packet::ENVELOPE.mode;
    const int head = ZrCPacketHead::enCode(pSendBuf, nBufLen);
    if (head != 0) return head;
    prepareStream(m_mainStream, pSendBuf + PKT_HEAD_FIXED_LEN, nBufLen - PKT_HEAD_FIXED_LEN, true, mode);
    if (m_encryptType != 0) {
        prepareStream(m_bodyStream, m_scratch, PKT_SCRATCH_HALF_LEN, true, mode);
        self.serializeOrUnSerialize(m_bodyStream);
        if (!m_bodyStream.good()) return -1;  // the body does not fit the scratch half
        return sendEnciphered();
    }
    // The key byte is whatever the last enCode or deCode left.
    auto list = [](auto&& field) { Packet::fieldList(field); };
    const std::uint64_t longest = 2 + zrLongestRun<mode == ZrBodyMode::Compact>(self, list);
    if (unsigned char* at = longest <= m_mainStream.writeRoom() ? m_mainStream.beginWrites(longest) : nullptr) {
        m_mainStream.endWrites(zrWriteEnvelopeRun<mode == ZrBodyMode::Compact>(at, m_keyByte, self, list));
        return 0;
    }
    m_mainStream.transfer(m_keyByte);
    self.serializeOrUnSerialize(m_mainStream);
    m_mainStream.putByte(_ETX_);
    return m_mainStream.good() ? 0 : -1;
}

// The fields are stored as they are read: a plain body through the main
// stream from the key byte on, an enciphered one through the body stream
// over the cipher half it is deciphered into.
template <class Packet>
int ZrCPacketHead::decodeEnvelope(Packet& self, char* pRecvBuf, unsigned int nBufLen) {
    constexpr ZrBodyMode mode = Packet::ENVELOPE.mode;
    const int head = ZrCPacketHead::deCode(pRecvBuf, nBufLen);
    if (head != 0) return head;
    prepareStream(m_mainStream, pRecvBuf + PKT_HEAD_FIXED_LEN, nBufLen - PKT_HEAD_FIXED_LEN, false, mode);
    if (m_encryptType != 0) m_mainStream.transfer(m_keyByte);
    m_verdict = zrEnvelopeVerdict(
        reinterpret_cast<const unsigned char*>(pRecvBuf), nBufLen, mode, m_scratch + PKT_SCRATCH_HALF_LEN,
        [&](const unsigned char* body, std::size_t size) -> ZrBodyRead {
            ZrLCByteStream& stream = m_encryptType != 0 ? m_bodyStream : m_mainStream;
            bool whole;
            if (m_encryptType != 0) {
                prepareStream(m_bodyStream, const_cast<unsigned char*>(body), static_cast<unsigned int>(size), false,
                              mode);
                self.serializeOrUnSerialize(m_bodyStream);
                whole = m_bodyStream.good();
            } else {
                auto list = [](auto&& field) { Packet::fieldList(field); };
                whole = zrReadEnvelopeRun<mode == ZrBodyMode::Compact>(m_mainStream, m_keyByte, self, list);
            }
            return {whole, whole ? size - stream.readRoom() : 0};
        });
    return m_verdict.accepted() ? 0 : refuseDecode(Packet::ENVELOPE);
}

#endif  // ZRPACKET_ZR_ENVELOPE_H

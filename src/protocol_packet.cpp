// The packet head, its raw-buffer operations that check a caller's contract
// (context by index, dispatch; the single-field accessors are inline in the
// header), and the two smallest packets. Null buffers are contract
// breaches: debug builds assert here; other builds return -1 and touch
// nothing.
//
// The server identification's members from ZrBodyPacket are compiled here
// (ZR_LIBRARY_PACKET_CLASS); this file is kept out of the unity batches so
// that it reads zr_basic_packets.h first.
#define ZRPACKET_COMPILING_PACKET_CLASSES
#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "zr_body_packet_impl.h"  // first: the members this file compiles
#include "zr_basic_packets.h"
#include "zr_encrypt.h"
#include "zr_envelope.h"

namespace {

using Convertor = CHostNetworkConvertorNormal;

constexpr unsigned int kContextOffsets[] = {PKT_OFFSET_CONTEXT1, PKT_OFFSET_CONTEXT2, PKT_OFFSET_CONTEXT3,
                                            PKT_OFFSET_CONTEXT4};
constexpr int kContextCount = 4;

}  // namespace

// --- construction and plain accessors ------------------------------------------

ZrCPacketHead::ZrCPacketHead(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                             unsigned int userID, unsigned int SN, unsigned char encryptType, unsigned int context1,
                             unsigned int context2, unsigned int context3, unsigned int context4)
    : m_version(static_cast<unsigned short>((verHigh << 8) | verLow)),
      m_cmdID(cmdID),
      m_subcmdID(subcmdID),
      m_userID(userID),
      m_SN(SN),
      m_encryptType(encryptType),
      m_context1(context1),
      m_context2(context2),
      m_context3(context3),
      m_context4(context4),
      m_scratch{} {}

ZrCPacketHead::ZrCPacketHead(unsigned int cmdID) : ZrCPacketHead(0, 0, cmdID, 0, 0, 0, 0) {}

std::string ZrCPacketHead::getVersionEx() {
    return std::to_string(m_version >> 8) + "." + std::to_string(m_version & 0xFF);
}

void ZrCPacketHead::setLastError(const char* className, Joint joint, const char* operation, const char* failure,
                                 const std::string& detail) {
    m_errMsg.assign("[")
        .append(className)
        .append(joint == Joint::Scope ? "::" : " ")
        .append(operation)
        .append("],")
        .append(failure)
        .append(detail);
}

// --- the head on the wire --------------------------------------------------------

void ZrCPacketHead::visitHeadFields(ZrFieldVisitor& visitor) { headFieldList(ZrNamedFields(visitor)); }

// What enCode and deCode do with a buffer they cannot use; the whole head is
// inline in the header.
int ZrCPacketHead::refuseEnCode(const char* pSendBuf, unsigned int nBufLen) {
    assert(pSendBuf != NULL);
    if (pSendBuf == nullptr) {
        setLastError("ZrCPacketHead", Joint::Scope, "enCode", " pSendBuf == NULL");
        return -1;
    }
    setLastError("ZrCPacketHead", Joint::Scope, "enCode",
                 " nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = ", std::to_string(nBufLen));
    return -1;
}

int ZrCPacketHead::refuseDeCode(char* pRecvBuf, unsigned int nBufLen) {
    assert(pRecvBuf != NULL);
    m_verdict = ZrEnvelopeVerdict{ZrEnvelopeStep::Head};
    if (pRecvBuf == nullptr) {
        setLastError("ZrCPacketHead", Joint::Scope, "deCode", " pRecvBuf == NULL");
        return -1;
    }
    // From here on, failed or not, the object reports the 33 of a decoded
    // packet, never the length of an earlier enCode.
    m_mainStream.attachForReading(pRecvBuf, nBufLen);
    if (nBufLen < PKT_HEAD_FIXED_LEN) {
        setLastError("ZrCPacketHead", Joint::Scope, "deCode",
                     " nBufLen < PKT_HEAD_FIXED_LEN, nBufLen = ", std::to_string(nBufLen));
        return -1;
    }
    // The received byte itself, as one character; no member changes.
    setLastError("ZrCPacketHead", Joint::Scope, "deCode", " Check _STX_ failed, STX  =  ", std::string(1, pRecvBuf[0]));
    return -1;
}

unsigned char ZrCPacketHead::drawEncryptType() {
    return static_cast<unsigned char>(std::rand() % ZR_ENCRYPT_TYPE_COUNT + 1);
}

// --- raw-buffer accessors ----------------------------------------------------------

int ZrCPacketHead::dispatchPacketContext_i(const char* pBuf, unsigned int nBufLen, int i, unsigned int& value) {
    assert(pBuf != NULL);
    if (!isUsableHead(pBuf, nBufLen)) return -1;
    if (i < 1 || i > kContextCount) {
        assert(0);
        return -1;
    }
    value = Convertor::loadBigEndian32(rawField(pBuf, kContextOffsets[i - 1]));
    return 0;
}

int ZrCPacketHead::modifyPacketNetwork_Context_i(char* pBuf, unsigned int nBufLen, int i, unsigned int value) {
    assert(pBuf != NULL);
    assert(i <= 4);
    if (!isUsableHead(pBuf, nBufLen)) return -1;
    if (i < 1 || i > kContextCount) {
        assert(0);
        return -1;
    }
    Convertor::storeBigEndian32(rawField(pBuf, kContextOffsets[i - 1]), value);
    return 0;
}

int ZrCPacketHead::dispatchPacket(const char* pRecvBuf, unsigned int nBufLen, unsigned short& version,
                                  unsigned int& cmdID, unsigned char& subcmdID, unsigned int& userID) {
    assert(pRecvBuf != NULL);
    if (!isUsableHead(pRecvBuf, nBufLen)) return -1;
    ZrLCByteStream stream;
    stream.attachForReading(pRecvBuf, nBufLen);
    stream.setSerializing(false);
    unsigned char stx = 0;
    unsigned short readVersion = 0;
    unsigned int readCmdID = 0;
    unsigned char readSubcmdID = 0;
    unsigned int readUserID = 0;
    stream.transfer(stx);
    if (stx != _STX_) return -1;
    stream.transfer(readVersion).transfer(readCmdID).transfer(readSubcmdID).transfer(readUserID);
    if (!stream.good()) return -1;
    version = readVersion;
    cmdID = readCmdID;
    subcmdID = readSubcmdID;
    userID = readUserID;
    return 0;
}

// --- keep-alive: head and ETX ----------------------------------------------------------

ZrCkeepAlivePacket::ZrCkeepAlivePacket() : ZrCPacketHead(DEFAULT_CMDID) {}

ZrCkeepAlivePacket::ZrCkeepAlivePacket(unsigned int cmdID, unsigned int SN) : ZrCPacketHead(0, 1, cmdID, 0, 0, SN, 0) {}

int ZrCkeepAlivePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    assert(nBufLen >= getPacketLength());
    const int head = ZrCPacketHead::enCode(pSendBuf, nBufLen);
    if (head != 0) return head;
    prepareStream(m_mainStream, pSendBuf + PKT_HEAD_FIXED_LEN, nBufLen - PKT_HEAD_FIXED_LEN, true, ZrBodyMode::Fixed);
    m_mainStream.putByte(_ETX_);
    if (!m_mainStream.good()) {
        setLastError("ZrCkeepAlivePacket", Joint::Scope, "enCode", " ByteStream << failed");
        return -1;
    }
    return 0;
}

int ZrCkeepAlivePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    const int head = ZrCPacketHead::deCode(pRecvBuf, nBufLen);
    if (head != 0) return head;
    m_verdict = zrEnvelopeVerdict(reinterpret_cast<const unsigned char*>(pRecvBuf), nBufLen, ENVELOPE.mode, nullptr,
                                  zrNoFields);
    return m_verdict.accepted() ? 0 : refuseDecode(ENVELOPE);
}

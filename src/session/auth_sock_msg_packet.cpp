#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrAuthSockMsgPacket", ZrBodyMode::Compact};
}

ZrAuthSockMsgPacket::ZrAuthSockMsgPacket() : ZrCPacketHead(3) { initliaze(); }

ZrAuthSockMsgPacket::ZrAuthSockMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                         unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrAuthSockMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrAuthSockMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrAuthSockMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_key).transfer(m_resultFlag).transfer(m_errorDesc);
}

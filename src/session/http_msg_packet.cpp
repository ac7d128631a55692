#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrHttpMsgPacket", ZrBodyMode::Compact};
}

ZrHttpMsgPacket::ZrHttpMsgPacket() : ZrCPacketHead(9) { initliaze(); }

ZrHttpMsgPacket::ZrHttpMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrHttpMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrHttpMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrHttpMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_request).transfer(m_response).transfer(m_stateCode).transfer(m_resultFlag).transfer(m_errorDesc);
}

#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrBillServerLoginPacket", ZrBodyMode::Fixed};
}

ZrBillServerLoginPacket::ZrBillServerLoginPacket() : ZrCPacketHead(1001) { initliaze(); }

ZrBillServerLoginPacket::ZrBillServerLoginPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrBillServerLoginPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillServerLoginPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrBillServerLoginPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_serverName)
        .transfer(m_serverType)
        .transfer(m_serverKey)
        .transfer(m_retLoginStatus)
        .transfer(m_retLoginMessage);
}

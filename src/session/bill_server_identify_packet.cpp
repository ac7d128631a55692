#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrBillServerIdentifyPacket", ZrBodyMode::Fixed};
}

ZrBillServerIdentifyPacket::ZrBillServerIdentifyPacket() : ZrCPacketHead(1010) { initliaze(); }

ZrBillServerIdentifyPacket::ZrBillServerIdentifyPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                       unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                       unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrBillServerIdentifyPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillServerIdentifyPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrBillServerIdentifyPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_serverName)
        .transfer(m_serverType)
        .transfer(m_serverKey)
        .transfer(m_retStatus)
        .transfer(m_retMessage);
}

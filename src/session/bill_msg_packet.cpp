#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrBillMsgPacket", ZrBodyMode::Compact};
}

ZrBillMsgPacket::ZrBillMsgPacket() : ZrCPacketHead(5) { initliaze(); }

ZrBillMsgPacket::ZrBillMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrBillMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrBillMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_da)
        .transfer(m_accountName)
        .transfer(m_accountType)
        .transfer(m_billType)
        .transfer(m_moneyValue)
        .transfer(m_moneyType)
        .transfer(m_describe)
        .transfer(m_errorDesc);
}

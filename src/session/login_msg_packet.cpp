#include "zr_session_packets.h"

namespace {
const ZrEnvelopeStyle kEnvelope{"ZrLoginMsgPacket", ZrBodyMode::Compact};
}

ZrLoginMsgPacket::ZrLoginMsgPacket() : ZrCPacketHead(4) { initliaze(); }

ZrLoginMsgPacket::ZrLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

int ZrLoginMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrLoginMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, kEnvelope, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

void ZrLoginMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    stream.transfer(m_accountName)
        .transfer(m_accountType)
        .transfer(m_accountInfo)
        .transfer(m_additionalInfo)
        .transfer(m_resultFlag)
        .transfer(m_errorDesc);
}

// Numbers first, then the texts, each bounded by its array: at most N - 1
// characters are sent, and a received text of N or more fails the stream.
void transferRecord(ZrLCByteStream& stream, NETPACCONTINFO& record) {
    stream.transfer(record.uField2)
        .transfer(record.uField3)
        .transfer(record.llField5)
        .transfer(record.nField7)
        .transfer(record.nField8)
        .transfer(record.szField1)
        .transfer(record.szField4)
        .transfer(record.szField6);
}

#include "zr_session_packets.h"

ZrLoginMsgPacket::ZrLoginMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLoginMsgPacket::ZrLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLoginMsgPacket::fieldList(Fields&& field) {
    field("AccountName", m_accountName);
    field("AccountType", m_accountType);
    field("ACCONTINFO", m_accountInfo);
    field("AdditionalInfo", m_additionalInfo);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrLoginMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrLoginMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrLoginMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrLoginMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

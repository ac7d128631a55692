#include "zr_session_packets.h"

ZrBillMsgPacket::ZrBillMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillMsgPacket::ZrBillMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillMsgPacket::fieldList(Fields&& field) {
    field("DA", m_da);
    field("AccountName", m_accountName);
    field("AccountType", m_accountType);
    field("BillType", m_billType);
    field("MoneyValue", m_moneyValue);
    field("MoneyType", m_moneyType);
    field("Describe", m_describe);
    field("ErrorDesc", m_errorDesc);
}

void ZrBillMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

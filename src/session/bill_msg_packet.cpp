#include "zr_session_packets.h"

ZrBillMsgPacket::ZrBillMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillMsgPacket::ZrBillMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillMsgPacket::fieldList(Fields&& field) {
    field("DA", &ZrBillMsgPacket::m_da);
    field("AccountName", &ZrBillMsgPacket::m_accountName);
    field("AccountType", &ZrBillMsgPacket::m_accountType);
    field("BillType", &ZrBillMsgPacket::m_billType);
    field("MoneyValue", &ZrBillMsgPacket::m_moneyValue);
    field("MoneyType", &ZrBillMsgPacket::m_moneyType);
    field("Describe", &ZrBillMsgPacket::m_describe);
    field("ErrorDesc", &ZrBillMsgPacket::m_errorDesc);
}

void ZrBillMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrBillMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) { return encodeEnvelope(*this, pSendBuf, nBufLen); }

int ZrBillMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) { return decodeEnvelope(*this, pRecvBuf, nBufLen); }

#include "zr_billing_packets.h"

ZrBillUserBalancePacket::ZrBillUserBalancePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserBalancePacket::ZrBillUserBalancePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserBalancePacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserBalancePacket::m_userId);
    field("currency_type", &ZrBillUserBalancePacket::m_currencyType);
    field("identifying_code", &ZrBillUserBalancePacket::m_identifyingCode);
    field("token", &ZrBillUserBalancePacket::m_token);
    field("check_code", &ZrBillUserBalancePacket::m_checkCode);
    field("add_info", &ZrBillUserBalancePacket::m_addInfo);
    field("ret_status", &ZrBillUserBalancePacket::m_retStatus);
    field("ret_message", &ZrBillUserBalancePacket::m_retMessage);
    field("ret_BALANCEINFO", &ZrBillUserBalancePacket::m_retBalanceInfo);
}

void ZrBillUserBalancePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserBalancePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserBalancePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserBalancePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserBalancePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

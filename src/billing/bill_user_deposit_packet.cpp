#include "zr_billing_packets.h"

ZrBillUserDepositPacket::ZrBillUserDepositPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserDepositPacket::ZrBillUserDepositPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserDepositPacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserDepositPacket::m_userId);
    field("merchant_id", &ZrBillUserDepositPacket::m_merchantId);
    field("app_id", &ZrBillUserDepositPacket::m_appId);
    field("order_id", &ZrBillUserDepositPacket::m_orderId);
    field("currency_type", &ZrBillUserDepositPacket::m_currencyType);
    field("currency", &ZrBillUserDepositPacket::m_currency);
    field("time", &ZrBillUserDepositPacket::m_time);
    field("identifying_code", &ZrBillUserDepositPacket::m_identifyingCode);
    field("token", &ZrBillUserDepositPacket::m_token);
    field("check_code", &ZrBillUserDepositPacket::m_checkCode);
    field("reason", &ZrBillUserDepositPacket::m_reason);
    field("add_info", &ZrBillUserDepositPacket::m_addInfo);
    field("ret_deposit_status", &ZrBillUserDepositPacket::m_retDepositStatus);
    field("ret_deposit_message", &ZrBillUserDepositPacket::m_retDepositMessage);
}

void ZrBillUserDepositPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserDepositPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserDepositPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserDepositPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserDepositPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

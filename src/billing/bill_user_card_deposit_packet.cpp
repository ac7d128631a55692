#include "zr_billing_packets.h"

ZrBillUserCardDepositPacket::ZrBillUserCardDepositPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserCardDepositPacket::ZrBillUserCardDepositPacket(unsigned char verHigh, unsigned char verLow,
                                                         unsigned int cmdID, unsigned char subcmdID,
                                                         unsigned int userID, unsigned int SN,
                                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserCardDepositPacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserCardDepositPacket::m_userId);
    field("merchant_id", &ZrBillUserCardDepositPacket::m_merchantId);
    field("app_id", &ZrBillUserCardDepositPacket::m_appId);
    field("order_id", &ZrBillUserCardDepositPacket::m_orderId);
    field("card_id", &ZrBillUserCardDepositPacket::m_cardId);
    field("card_password", &ZrBillUserCardDepositPacket::m_cardPassword);
    field("recharge_time", &ZrBillUserCardDepositPacket::m_rechargeTime);
    field("identifying_code", &ZrBillUserCardDepositPacket::m_identifyingCode);
    field("token", &ZrBillUserCardDepositPacket::m_token);
    field("check_code", &ZrBillUserCardDepositPacket::m_checkCode);
    field("add_info", &ZrBillUserCardDepositPacket::m_addInfo);
    field("ret_deposit_status", &ZrBillUserCardDepositPacket::m_retDepositStatus);
    field("ret_deposit_message", &ZrBillUserCardDepositPacket::m_retDepositMessage);
    field("ret_deposit_unit", &ZrBillUserCardDepositPacket::m_retDepositUnit);
    field("ret_deposit_money", &ZrBillUserCardDepositPacket::m_retDepositMoney);
}

void ZrBillUserCardDepositPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserCardDepositPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserCardDepositPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserCardDepositPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserCardDepositPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

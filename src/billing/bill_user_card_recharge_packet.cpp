#include "zr_billing_packets.h"

ZrBillUserCardRechargePacket::ZrBillUserCardRechargePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserCardRechargePacket::ZrBillUserCardRechargePacket(unsigned char verHigh, unsigned char verLow,
                                                           unsigned int cmdID, unsigned char subcmdID,
                                                           unsigned int userID, unsigned int SN,
                                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserCardRechargePacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserCardRechargePacket::m_userId);
    field("merchant_type", &ZrBillUserCardRechargePacket::m_merchantType);
    field("merchant_name", &ZrBillUserCardRechargePacket::m_merchantName);
    field("order_id", &ZrBillUserCardRechargePacket::m_orderId);
    field("card_id", &ZrBillUserCardRechargePacket::m_cardId);
    field("card_password", &ZrBillUserCardRechargePacket::m_cardPassword);
    field("recharge_time", &ZrBillUserCardRechargePacket::m_rechargeTime);
    field("identifying_code", &ZrBillUserCardRechargePacket::m_identifyingCode);
    field("token", &ZrBillUserCardRechargePacket::m_token);
    field("check_code", &ZrBillUserCardRechargePacket::m_checkCode);
    field("add_info", &ZrBillUserCardRechargePacket::m_addInfo);
    field("ret_recharge_status", &ZrBillUserCardRechargePacket::m_retRechargeStatus);
    field("ret_recharge_message", &ZrBillUserCardRechargePacket::m_retRechargeMessage);
    field("ret_recharge_unit", &ZrBillUserCardRechargePacket::m_retRechargeUnit);
    field("ret_recharge_money", &ZrBillUserCardRechargePacket::m_retRechargeMoney);
}

void ZrBillUserCardRechargePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserCardRechargePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserCardRechargePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserCardRechargePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserCardRechargePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

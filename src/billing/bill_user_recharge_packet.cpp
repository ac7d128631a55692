#include "zr_billing_packets.h"

ZrBillUserRechargePacket::ZrBillUserRechargePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserRechargePacket::ZrBillUserRechargePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserRechargePacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserRechargePacket::m_userId);
    field("merchant_type", &ZrBillUserRechargePacket::m_merchantType);
    field("merchant_name", &ZrBillUserRechargePacket::m_merchantName);
    field("order_id", &ZrBillUserRechargePacket::m_orderId);
    field("recharge_time", &ZrBillUserRechargePacket::m_rechargeTime);
    field("recharge_unit", &ZrBillUserRechargePacket::m_rechargeUnit);
    field("recharge_money", &ZrBillUserRechargePacket::m_rechargeMoney);
    field("identifying_code", &ZrBillUserRechargePacket::m_identifyingCode);
    field("token", &ZrBillUserRechargePacket::m_token);
    field("check_code", &ZrBillUserRechargePacket::m_checkCode);
    field("add_info", &ZrBillUserRechargePacket::m_addInfo);
    field("ret_recharge_status", &ZrBillUserRechargePacket::m_retRechargeStatus);
    field("ret_recharge_message", &ZrBillUserRechargePacket::m_retRechargeMessage);
}

void ZrBillUserRechargePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserRechargePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserRechargePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserRechargePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserRechargePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

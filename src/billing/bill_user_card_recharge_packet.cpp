#include "zr_billing_packets.h"

ZrBillUserCardRechargePacket::ZrBillUserCardRechargePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserCardRechargePacket::ZrBillUserCardRechargePacket(unsigned char verHigh, unsigned char verLow,
                                                           unsigned int cmdID, unsigned char subcmdID,
                                                           unsigned int userID, unsigned int SN,
                                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserCardRechargePacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("merchant_type", m_merchantType);
    field("merchant_name", m_merchantName);
    field("order_id", m_orderId);
    field("card_id", m_cardId);
    field("card_password", m_cardPassword);
    field("recharge_time", m_rechargeTime);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("add_info", m_addInfo);
    field("ret_recharge_status", m_retRechargeStatus);
    field("ret_recharge_message", m_retRechargeMessage);
    field("ret_recharge_unit", m_retRechargeUnit);
    field("ret_recharge_money", m_retRechargeMoney);
}

void ZrBillUserCardRechargePacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserCardRechargePacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserCardRechargePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserCardRechargePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

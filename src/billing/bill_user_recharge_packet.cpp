#include "zr_billing_packets.h"

ZrBillUserRechargePacket::ZrBillUserRechargePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserRechargePacket::ZrBillUserRechargePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserRechargePacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("merchant_type", m_merchantType);
    field("merchant_name", m_merchantName);
    field("order_id", m_orderId);
    field("recharge_time", m_rechargeTime);
    field("recharge_unit", m_rechargeUnit);
    field("recharge_money", m_rechargeMoney);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("add_info", m_addInfo);
    field("ret_recharge_status", m_retRechargeStatus);
    field("ret_recharge_message", m_retRechargeMessage);
}

void ZrBillUserRechargePacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserRechargePacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserRechargePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserRechargePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

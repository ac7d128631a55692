#include "zr_billing_packets.h"

ZrBillUserConsumePacket::ZrBillUserConsumePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserConsumePacket::ZrBillUserConsumePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserConsumePacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("app_type", m_appType);
    field("app_id", m_appId);
    field("order_id", m_orderId);
    field("cost_time", m_costTime);
    field("cost_unit", m_costUnit);
    field("cost_money", m_costMoney);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("reason", m_reason);
    field("add_info", m_addInfo);
    field("ret_consume_status", m_retConsumeStatus);
    field("ret_consume_message", m_retConsumeMessage);
}

void ZrBillUserConsumePacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserConsumePacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserConsumePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserConsumePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

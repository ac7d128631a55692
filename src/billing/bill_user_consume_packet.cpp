#include "zr_billing_packets.h"

ZrBillUserConsumePacket::ZrBillUserConsumePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserConsumePacket::ZrBillUserConsumePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserConsumePacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserConsumePacket::m_userId);
    field("app_type", &ZrBillUserConsumePacket::m_appType);
    field("app_id", &ZrBillUserConsumePacket::m_appId);
    field("order_id", &ZrBillUserConsumePacket::m_orderId);
    field("cost_time", &ZrBillUserConsumePacket::m_costTime);
    field("cost_unit", &ZrBillUserConsumePacket::m_costUnit);
    field("cost_money", &ZrBillUserConsumePacket::m_costMoney);
    field("identifying_code", &ZrBillUserConsumePacket::m_identifyingCode);
    field("token", &ZrBillUserConsumePacket::m_token);
    field("check_code", &ZrBillUserConsumePacket::m_checkCode);
    field("reason", &ZrBillUserConsumePacket::m_reason);
    field("add_info", &ZrBillUserConsumePacket::m_addInfo);
    field("ret_consume_status", &ZrBillUserConsumePacket::m_retConsumeStatus);
    field("ret_consume_message", &ZrBillUserConsumePacket::m_retConsumeMessage);
}

void ZrBillUserConsumePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserConsumePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserConsumePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserConsumePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserConsumePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

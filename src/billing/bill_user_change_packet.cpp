#include "zr_billing_packets.h"

ZrBillUserChangePacket::ZrBillUserChangePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserChangePacket::ZrBillUserChangePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                               unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserChangePacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserChangePacket::m_userId);
    field("merchant_id", &ZrBillUserChangePacket::m_merchantId);
    field("app_id", &ZrBillUserChangePacket::m_appId);
    field("order_id", &ZrBillUserChangePacket::m_orderId);
    field("CHANGEINFO", &ZrBillUserChangePacket::m_changeInfo);
    field("time", &ZrBillUserChangePacket::m_time);
    field("identifying_code", &ZrBillUserChangePacket::m_identifyingCode);
    field("token", &ZrBillUserChangePacket::m_token);
    field("check_code", &ZrBillUserChangePacket::m_checkCode);
    field("reason", &ZrBillUserChangePacket::m_reason);
    field("add_info", &ZrBillUserChangePacket::m_addInfo);
    field("ret_status", &ZrBillUserChangePacket::m_retStatus);
    field("ret_message", &ZrBillUserChangePacket::m_retMessage);
}

void ZrBillUserChangePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserChangePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserChangePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserChangePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserChangePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

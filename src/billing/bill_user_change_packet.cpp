#include "zr_billing_packets.h"

ZrBillUserChangePacket::ZrBillUserChangePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserChangePacket::ZrBillUserChangePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                               unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserChangePacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("merchant_id", m_merchantId);
    field("app_id", m_appId);
    field("order_id", m_orderId);
    field("CHANGEINFO", m_changeInfo);
    field("time", m_time);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("reason", m_reason);
    field("add_info", m_addInfo);
    field("ret_status", m_retStatus);
    field("ret_message", m_retMessage);
}

void ZrBillUserChangePacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserChangePacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserChangePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserChangePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

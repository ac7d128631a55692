#include "zr_billing_packets.h"

ZrBillUserTradePacket::ZrBillUserTradePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserTradePacket::ZrBillUserTradePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                             unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                             unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserTradePacket::fieldList(Fields&& field) {
    field("src_user_id", m_srcUserId);
    field("merchant_id", m_merchantId);
    field("app_id", m_appId);
    field("order_id", m_orderId);
    field("TRADEINFO", m_tradeInfo);
    field("time", m_time);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("reason", m_reason);
    field("add_info", m_addInfo);
    field("ret_status", m_retStatus);
    field("ret_message", m_retMessage);
}

void ZrBillUserTradePacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserTradePacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserTradePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserTradePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

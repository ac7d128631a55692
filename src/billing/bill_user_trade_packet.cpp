#include "zr_billing_packets.h"

ZrBillUserTradePacket::ZrBillUserTradePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserTradePacket::ZrBillUserTradePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                             unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                             unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserTradePacket::fieldList(Fields&& field) {
    field("src_user_id", &ZrBillUserTradePacket::m_srcUserId);
    field("merchant_id", &ZrBillUserTradePacket::m_merchantId);
    field("app_id", &ZrBillUserTradePacket::m_appId);
    field("order_id", &ZrBillUserTradePacket::m_orderId);
    field("TRADEINFO", &ZrBillUserTradePacket::m_tradeInfo);
    field("time", &ZrBillUserTradePacket::m_time);
    field("identifying_code", &ZrBillUserTradePacket::m_identifyingCode);
    field("token", &ZrBillUserTradePacket::m_token);
    field("check_code", &ZrBillUserTradePacket::m_checkCode);
    field("reason", &ZrBillUserTradePacket::m_reason);
    field("add_info", &ZrBillUserTradePacket::m_addInfo);
    field("ret_status", &ZrBillUserTradePacket::m_retStatus);
    field("ret_message", &ZrBillUserTradePacket::m_retMessage);
}

void ZrBillUserTradePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserTradePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserTradePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserTradePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserTradePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

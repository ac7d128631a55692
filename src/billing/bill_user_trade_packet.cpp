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

// The record's field list, in declaration order.
namespace {
template <class Fields>
void recordFieldList(NETPBILLUSERTRADEINFO& r, Fields&& field) {
    field("unit1", r.unit1);
    field("money1", r.money1);
    field("unit2", r.unit2);
    field("money2", r.money2);
    field("dst_user_id", r.dst_user_id);
    field("unit3", r.unit3);
    field("money3", r.money3);
    field("unit4", r.unit4);
    field("money4", r.money4);
}
}  // namespace

void transferRecord(ZrLCByteStream& stream, NETPBILLUSERTRADEINFO& record) {
    recordFieldList(record, ZrWireFields(stream));
}
void zrVisitRecord(ZrFieldVisitor& visitor, NETPBILLUSERTRADEINFO& record) {
    recordFieldList(record, ZrNamedFields(visitor));
}

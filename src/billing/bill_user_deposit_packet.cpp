#include "zr_billing_packets.h"

ZrBillUserDepositPacket::ZrBillUserDepositPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserDepositPacket::ZrBillUserDepositPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserDepositPacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("merchant_id", m_merchantId);
    field("app_id", m_appId);
    field("order_id", m_orderId);
    field("currency_type", m_currencyType);
    field("currency", m_currency);
    field("time", m_time);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("reason", m_reason);
    field("add_info", m_addInfo);
    field("ret_deposit_status", m_retDepositStatus);
    field("ret_deposit_message", m_retDepositMessage);
}

void ZrBillUserDepositPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserDepositPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserDepositPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserDepositPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

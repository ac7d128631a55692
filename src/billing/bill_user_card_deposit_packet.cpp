#include "zr_billing_packets.h"

ZrBillUserCardDepositPacket::ZrBillUserCardDepositPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserCardDepositPacket::ZrBillUserCardDepositPacket(unsigned char verHigh, unsigned char verLow,
                                                         unsigned int cmdID, unsigned char subcmdID,
                                                         unsigned int userID, unsigned int SN,
                                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserCardDepositPacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("merchant_id", m_merchantId);
    field("app_id", m_appId);
    field("order_id", m_orderId);
    field("card_id", m_cardId);
    field("card_password", m_cardPassword);
    field("recharge_time", m_rechargeTime);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("add_info", m_addInfo);
    field("ret_deposit_status", m_retDepositStatus);
    field("ret_deposit_message", m_retDepositMessage);
    field("ret_deposit_unit", m_retDepositUnit);
    field("ret_deposit_money", m_retDepositMoney);
}

void ZrBillUserCardDepositPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserCardDepositPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserCardDepositPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserCardDepositPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

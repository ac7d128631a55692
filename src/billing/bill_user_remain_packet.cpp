#include "zr_billing_packets.h"

ZrBillUserRemainPacket::ZrBillUserRemainPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserRemainPacket::ZrBillUserRemainPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                               unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserRemainPacket::fieldList(Fields&& field) {
    field("user_id", &ZrBillUserRemainPacket::m_userId);
    field("balance_unit", &ZrBillUserRemainPacket::m_balanceUnit);
    field("identifying_code", &ZrBillUserRemainPacket::m_identifyingCode);
    field("token", &ZrBillUserRemainPacket::m_token);
    field("check_code", &ZrBillUserRemainPacket::m_checkCode);
    field("add_info", &ZrBillUserRemainPacket::m_addInfo);
    field("ret_remain_status", &ZrBillUserRemainPacket::m_retRemainStatus);
    field("ret_remain_message", &ZrBillUserRemainPacket::m_retRemainMessage);
    field("ret_remain_unit", &ZrBillUserRemainPacket::m_retRemainUnit);
    field("ret_remain_money", &ZrBillUserRemainPacket::m_retRemainMoney);
}

void ZrBillUserRemainPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillUserRemainPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillUserRemainPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillUserRemainPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillUserRemainPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

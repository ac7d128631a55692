#include "zr_billing_packets.h"

ZrBillUserRemainPacket::ZrBillUserRemainPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillUserRemainPacket::ZrBillUserRemainPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                               unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillUserRemainPacket::fieldList(Fields&& field) {
    field("user_id", m_userId);
    field("balance_unit", m_balanceUnit);
    field("identifying_code", m_identifyingCode);
    field("token", m_token);
    field("check_code", m_checkCode);
    field("add_info", m_addInfo);
    field("ret_remain_status", m_retRemainStatus);
    field("ret_remain_message", m_retRemainMessage);
    field("ret_remain_unit", m_retRemainUnit);
    field("ret_remain_money", m_retRemainMoney);
}

void ZrBillUserRemainPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrBillUserRemainPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrBillUserRemainPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrBillUserRemainPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

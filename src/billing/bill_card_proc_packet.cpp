#include "zr_billing_packets.h"

ZrBillCardProcPacket::ZrBillCardProcPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillCardProcPacket::ZrBillCardProcPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                           unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillCardProcPacket::fieldList(Fields&& field) {
    field("start_card_id", &ZrBillCardProcPacket::m_startCardId);
    field("end_card_id", &ZrBillCardProcPacket::m_endCardId);
    field("db_ip", &ZrBillCardProcPacket::m_dbIp);
    field("db_name", &ZrBillCardProcPacket::m_dbName);
    field("ret_status", &ZrBillCardProcPacket::m_retStatus);
    field("ret_message", &ZrBillCardProcPacket::m_retMessage);
}

void ZrBillCardProcPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillCardProcPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillCardProcPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillCardProcPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillCardProcPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

#include "zr_billing_packets.h"

ZrBillCardActivePacket::ZrBillCardActivePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillCardActivePacket::ZrBillCardActivePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                               unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillCardActivePacket::fieldList(Fields&& field) {
    field("start_card_id", &ZrBillCardActivePacket::m_startCardId);
    field("end_card_id", &ZrBillCardActivePacket::m_endCardId);
    field("ret_active_status", &ZrBillCardActivePacket::m_retActiveStatus);
    field("ret_active_message", &ZrBillCardActivePacket::m_retActiveMessage);
}

void ZrBillCardActivePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillCardActivePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillCardActivePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillCardActivePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillCardActivePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

#include "zr_billing_packets.h"

ZrBillCardDeactivePacket::ZrBillCardDeactivePacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillCardDeactivePacket::ZrBillCardDeactivePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillCardDeactivePacket::fieldList(Fields&& field) {
    field("start_card_id", &ZrBillCardDeactivePacket::m_startCardId);
    field("end_card_id", &ZrBillCardDeactivePacket::m_endCardId);
    field("ret_deactive_status", &ZrBillCardDeactivePacket::m_retDeactiveStatus);
    field("ret_deactive_message", &ZrBillCardDeactivePacket::m_retDeactiveMessage);
}

void ZrBillCardDeactivePacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillCardDeactivePacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillCardDeactivePacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillCardDeactivePacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillCardDeactivePacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

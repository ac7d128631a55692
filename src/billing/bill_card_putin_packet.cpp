#include "zr_billing_packets.h"

ZrBillCardPutinPacket::ZrBillCardPutinPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillCardPutinPacket::ZrBillCardPutinPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                             unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                             unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillCardPutinPacket::fieldList(Fields&& field) {
    field("start_card_id", &ZrBillCardPutinPacket::m_startCardId);
    field("end_card_id", &ZrBillCardPutinPacket::m_endCardId);
    field("db_ip", &ZrBillCardPutinPacket::m_dbIp);
    field("db_name", &ZrBillCardPutinPacket::m_dbName);
    field("ret_putin_status", &ZrBillCardPutinPacket::m_retPutinStatus);
    field("ret_putin_message", &ZrBillCardPutinPacket::m_retPutinMessage);
}

void ZrBillCardPutinPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillCardPutinPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillCardPutinPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillCardPutinPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillCardPutinPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

#include "zr_session_packets.h"

ZrBillServerIdentifyPacket::ZrBillServerIdentifyPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillServerIdentifyPacket::ZrBillServerIdentifyPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                       unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                       unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillServerIdentifyPacket::fieldList(Fields&& field) {
    field("server_name", &ZrBillServerIdentifyPacket::m_serverName);
    field("server_type", &ZrBillServerIdentifyPacket::m_serverType);
    field("server_key", &ZrBillServerIdentifyPacket::m_serverKey);
    field("ret_status", &ZrBillServerIdentifyPacket::m_retStatus);
    field("ret_message", &ZrBillServerIdentifyPacket::m_retMessage);
}

void ZrBillServerIdentifyPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillServerIdentifyPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillServerIdentifyPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillServerIdentifyPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillServerIdentifyPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

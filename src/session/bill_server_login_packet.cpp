#include "zr_session_packets.h"

ZrBillServerLoginPacket::ZrBillServerLoginPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrBillServerLoginPacket::ZrBillServerLoginPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrBillServerLoginPacket::fieldList(Fields&& field) {
    field("server_name", &ZrBillServerLoginPacket::m_serverName);
    field("server_type", &ZrBillServerLoginPacket::m_serverType);
    field("server_key", &ZrBillServerLoginPacket::m_serverKey);
    field("ret_login_status", &ZrBillServerLoginPacket::m_retLoginStatus);
    field("ret_login_message", &ZrBillServerLoginPacket::m_retLoginMessage);
}

void ZrBillServerLoginPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrBillServerLoginPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrBillServerLoginPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrBillServerLoginPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrBillServerLoginPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

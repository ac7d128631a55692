#include "zr_session_packets.h"

ZrAuthSockMsgPacket::ZrAuthSockMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrAuthSockMsgPacket::ZrAuthSockMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                         unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrAuthSockMsgPacket::fieldList(Fields&& field) {
    field("key", &ZrAuthSockMsgPacket::m_key);
    field("ResultFlag", &ZrAuthSockMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrAuthSockMsgPacket::m_errorDesc);
}

void ZrAuthSockMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrAuthSockMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrAuthSockMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrAuthSockMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrAuthSockMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

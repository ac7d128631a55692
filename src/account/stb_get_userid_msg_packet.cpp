#include "zr_account_packets.h"

ZrStbGetUseridMsgPacket::ZrStbGetUseridMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrStbGetUseridMsgPacket::ZrStbGetUseridMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrStbGetUseridMsgPacket::fieldList(Fields&& field) {
    field("UserId", &ZrStbGetUseridMsgPacket::m_userId);
    field("StbId", &ZrStbGetUseridMsgPacket::m_stbId);
    field("CaId", &ZrStbGetUseridMsgPacket::m_caId);
    field("Ip", &ZrStbGetUseridMsgPacket::m_ip);
    field("Mac", &ZrStbGetUseridMsgPacket::m_mac);
    field("ResultFlag", &ZrStbGetUseridMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrStbGetUseridMsgPacket::m_errorDesc);
    field("AccountType", &ZrStbGetUseridMsgPacket::m_accountType);
}

void ZrStbGetUseridMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrStbGetUseridMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrStbGetUseridMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrStbGetUseridMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrStbGetUseridMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

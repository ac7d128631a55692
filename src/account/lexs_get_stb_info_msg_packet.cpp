#include "zr_account_packets.h"

ZrLexsGetStbInfoMsgPacket::ZrLexsGetStbInfoMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLexsGetStbInfoMsgPacket::ZrLexsGetStbInfoMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                     unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                     unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLexsGetStbInfoMsgPacket::fieldList(Fields&& field) {
    field("StbCount", &ZrLexsGetStbInfoMsgPacket::m_stbCount);
    field("StbInfo", &ZrLexsGetStbInfoMsgPacket::m_stbInfo);
    field("ResultFlag", &ZrLexsGetStbInfoMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrLexsGetStbInfoMsgPacket::m_errorDesc);
}

void ZrLexsGetStbInfoMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrLexsGetStbInfoMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrLexsGetStbInfoMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrLexsGetStbInfoMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrLexsGetStbInfoMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

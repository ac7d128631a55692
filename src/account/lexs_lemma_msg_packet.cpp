#include "zr_account_packets.h"

ZrLexsLemmaMsgPacket::ZrLexsLemmaMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLexsLemmaMsgPacket::ZrLexsLemmaMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                           unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLexsLemmaMsgPacket::fieldList(Fields&& field) {
    field("Gender", &ZrLexsLemmaMsgPacket::m_gender);
    field("AgeSegment", &ZrLexsLemmaMsgPacket::m_ageSegment);
    field("AddressId", &ZrLexsLemmaMsgPacket::m_addressId);
    field("ProductId", &ZrLexsLemmaMsgPacket::m_productId);
    field("Movedecorate", &ZrLexsLemmaMsgPacket::m_movedecorate);
    field("LemmaData", &ZrLexsLemmaMsgPacket::m_lemmaData);
    field("LemmaSize", &ZrLexsLemmaMsgPacket::m_lemmaSize);
    field("ResultFlag", &ZrLexsLemmaMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrLexsLemmaMsgPacket::m_errorDesc);
}

void ZrLexsLemmaMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrLexsLemmaMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrLexsLemmaMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrLexsLemmaMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrLexsLemmaMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

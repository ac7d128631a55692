#include "zr_account_packets.h"

ZrLexsLemmaMsgPacket::ZrLexsLemmaMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLexsLemmaMsgPacket::ZrLexsLemmaMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                           unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLexsLemmaMsgPacket::fieldList(Fields&& field) {
    field("Gender", m_gender);
    field("AgeSegment", m_ageSegment);
    field("AddressId", m_addressId);
    field("ProductId", m_productId);
    field("Movedecorate", m_movedecorate);
    field("LemmaData", m_lemmaData);
    field("LemmaSize", m_lemmaSize);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrLexsLemmaMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrLexsLemmaMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrLexsLemmaMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrLexsLemmaMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

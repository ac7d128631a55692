#include "zr_session_packets.h"

ZrDbrWriteMsgPacket::ZrDbrWriteMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrDbrWriteMsgPacket::ZrDbrWriteMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                         unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrDbrWriteMsgPacket::fieldList(Fields&& field) {
    field("PkgID", &ZrDbrWriteMsgPacket::m_pkgID);
    field("SQL", &ZrDbrWriteMsgPacket::m_sql);
    field("ResultFlag", &ZrDbrWriteMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrDbrWriteMsgPacket::m_errorDesc);
}

void ZrDbrWriteMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrDbrWriteMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrDbrWriteMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrDbrWriteMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrDbrWriteMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

// The head's own raw accessors under this class's names; a failed head
// getter's all-ones value is the -1 of the signed ones.
int ZrDbrWriteMsgPacket::fastGetAckFlag(const char* pBuf, unsigned int nBufLen) {
    return static_cast<int>(fastGetUserID(pBuf, nBufLen));
}
void ZrDbrWriteMsgPacket::fastSetAckFlag(char* pBuf, unsigned int nBufLen, int value) {
    fastSetUserID(pBuf, nBufLen, static_cast<unsigned int>(value));
}
int ZrDbrWriteMsgPacket::fastGetIDType(const char* pBuf, unsigned int nBufLen) {
    return static_cast<int>(fastGetSN(pBuf, nBufLen));
}
void ZrDbrWriteMsgPacket::fastSetIDType(char* pBuf, unsigned int nBufLen, int value) {
    fastSetSN(pBuf, nBufLen, static_cast<unsigned int>(value));
}
unsigned int ZrDbrWriteMsgPacket::fastGetID1(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext1(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetID1(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext1(pBuf, nBufLen, value);
}
unsigned int ZrDbrWriteMsgPacket::fastGetID2(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext2(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetID2(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext2(pBuf, nBufLen, value);
}
unsigned int ZrDbrWriteMsgPacket::fastGetDBRRecvSockObjID(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext3(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetDBRRecvSockObjID(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext3(pBuf, nBufLen, value);
}

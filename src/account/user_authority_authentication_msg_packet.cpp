#include "zr_account_packets.h"

ZrUserAuthorityAuthenticationMsgPacket::ZrUserAuthorityAuthenticationMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) {
    initliaze();
}

ZrUserAuthorityAuthenticationMsgPacket::ZrUserAuthorityAuthenticationMsgPacket(unsigned char verHigh,
                                                                               unsigned char verLow, unsigned int cmdID,
                                                                               unsigned char subcmdID,
                                                                               unsigned int userID, unsigned int SN,
                                                                               unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserAuthorityAuthenticationMsgPacket::fieldList(Fields&& field) {
    field("UserID", &ZrUserAuthorityAuthenticationMsgPacket::m_bodyUserID);
    field("AppID", &ZrUserAuthorityAuthenticationMsgPacket::m_appID);
    field("AppAuthorityToken", &ZrUserAuthorityAuthenticationMsgPacket::m_appAuthorityToken);
    field("AdditionalInfo", &ZrUserAuthorityAuthenticationMsgPacket::m_additionalInfo);
    field("ResultFlag", &ZrUserAuthorityAuthenticationMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserAuthorityAuthenticationMsgPacket::m_errorDesc);
}

void ZrUserAuthorityAuthenticationMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserAuthorityAuthenticationMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserAuthorityAuthenticationMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserAuthorityAuthenticationMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserAuthorityAuthenticationMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

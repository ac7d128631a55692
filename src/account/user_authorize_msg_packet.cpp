#include "zr_account_packets.h"

ZrUserAuthorizeMsgPacket::ZrUserAuthorizeMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserAuthorizeMsgPacket::ZrUserAuthorizeMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserAuthorizeMsgPacket::fieldList(Fields&& field) {
    field("UserID", &ZrUserAuthorizeMsgPacket::m_bodyUserID);
    field("LoginToken", &ZrUserAuthorizeMsgPacket::m_loginToken);
    field("AppID", &ZrUserAuthorizeMsgPacket::m_appID);
    field("RedirectURI", &ZrUserAuthorizeMsgPacket::m_redirectURI);
    field("ResultFlag", &ZrUserAuthorizeMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserAuthorizeMsgPacket::m_errorDesc);
    field("AccessToken", &ZrUserAuthorizeMsgPacket::m_accessToken);
    field("ExpiresIn", &ZrUserAuthorizeMsgPacket::m_expiresIn);
}

void ZrUserAuthorizeMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserAuthorizeMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserAuthorizeMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserAuthorizeMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserAuthorizeMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

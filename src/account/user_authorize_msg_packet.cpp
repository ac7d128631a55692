#include "zr_account_packets.h"

ZrUserAuthorizeMsgPacket::ZrUserAuthorizeMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserAuthorizeMsgPacket::ZrUserAuthorizeMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserAuthorizeMsgPacket::fieldList(Fields&& field) {
    field("UserID", m_bodyUserID);
    field("LoginToken", m_loginToken);
    field("AppID", m_appID);
    field("RedirectURI", m_redirectURI);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
    field("AccessToken", m_accessToken);
    field("ExpiresIn", m_expiresIn);
}

void ZrUserAuthorizeMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrUserAuthorizeMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrUserAuthorizeMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrUserAuthorizeMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

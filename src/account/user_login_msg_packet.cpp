#include "zr_account_packets.h"

ZrUserLoginMsgPacket::ZrUserLoginMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserLoginMsgPacket::ZrUserLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                           unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserLoginMsgPacket::fieldList(Fields&& field) {
    field("UserId", &ZrUserLoginMsgPacket::m_userId);
    field("UserPwd", &ZrUserLoginMsgPacket::m_userPwd);
    field("AccountType", &ZrUserLoginMsgPacket::m_accountType);
    field("CaId", &ZrUserLoginMsgPacket::m_caId);
    field("Certificate", &ZrUserLoginMsgPacket::m_certificate);
    field("ResultFlag", &ZrUserLoginMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserLoginMsgPacket::m_errorDesc);
}

void ZrUserLoginMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserLoginMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserLoginMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserLoginMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserLoginMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

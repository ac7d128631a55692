#include "zr_account_packets.h"

ZrModifyUserAccountMsgPacket::ZrModifyUserAccountMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrModifyUserAccountMsgPacket::ZrModifyUserAccountMsgPacket(unsigned char verHigh, unsigned char verLow,
                                                           unsigned int cmdID, unsigned char subcmdID,
                                                           unsigned int userID, unsigned int SN,
                                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrModifyUserAccountMsgPacket::fieldList(Fields&& field) {
    field("UserId", &ZrModifyUserAccountMsgPacket::m_userId);
    field("UserName", &ZrModifyUserAccountMsgPacket::m_userName);
    field("UserPwd", &ZrModifyUserAccountMsgPacket::m_userPwd);
    field("StbId", &ZrModifyUserAccountMsgPacket::m_stbId);
    field("CaId", &ZrModifyUserAccountMsgPacket::m_caId);
    field("Ip", &ZrModifyUserAccountMsgPacket::m_ip);
    field("Mac", &ZrModifyUserAccountMsgPacket::m_mac);
    field("ResultFlag", &ZrModifyUserAccountMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrModifyUserAccountMsgPacket::m_errorDesc);
    field("LoginToken", &ZrModifyUserAccountMsgPacket::m_loginToken);
}

void ZrModifyUserAccountMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrModifyUserAccountMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrModifyUserAccountMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrModifyUserAccountMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrModifyUserAccountMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

#include "zr_account_packets.h"

ZrUserRegisterMsgPacket::ZrUserRegisterMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserRegisterMsgPacket::ZrUserRegisterMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserRegisterMsgPacket::fieldList(Fields&& field) {
    field("UserId", &ZrUserRegisterMsgPacket::m_userId);
    field("UserName", &ZrUserRegisterMsgPacket::m_userName);
    field("UserPwd", &ZrUserRegisterMsgPacket::m_userPwd);
    field("StbId", &ZrUserRegisterMsgPacket::m_stbId);
    field("CaId", &ZrUserRegisterMsgPacket::m_caId);
    field("Ip", &ZrUserRegisterMsgPacket::m_ip);
    field("Mac", &ZrUserRegisterMsgPacket::m_mac);
    field("ResultFlag", &ZrUserRegisterMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserRegisterMsgPacket::m_errorDesc);
    field("AccountType", &ZrUserRegisterMsgPacket::m_accountType);
}

void ZrUserRegisterMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserRegisterMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserRegisterMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserRegisterMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserRegisterMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

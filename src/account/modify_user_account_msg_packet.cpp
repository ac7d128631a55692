#include "zr_account_packets.h"

ZrModifyUserAccountMsgPacket::ZrModifyUserAccountMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrModifyUserAccountMsgPacket::ZrModifyUserAccountMsgPacket(unsigned char verHigh, unsigned char verLow,
                                                           unsigned int cmdID, unsigned char subcmdID,
                                                           unsigned int userID, unsigned int SN,
                                                           unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrModifyUserAccountMsgPacket::fieldList(Fields&& field) {
    field("UserId", m_userId);
    field("UserName", m_userName);
    field("UserPwd", m_userPwd);
    field("StbId", m_stbId);
    field("CaId", m_caId);
    field("Ip", m_ip);
    field("Mac", m_mac);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
    field("LoginToken", m_loginToken);
}

void ZrModifyUserAccountMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrModifyUserAccountMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrModifyUserAccountMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrModifyUserAccountMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

#include "zr_account_packets.h"

ZrUserRegisterMsgPacket::ZrUserRegisterMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserRegisterMsgPacket::ZrUserRegisterMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserRegisterMsgPacket::fieldList(Fields&& field) {
    field("UserId", m_userId);
    field("UserName", m_userName);
    field("UserPwd", m_userPwd);
    field("StbId", m_stbId);
    field("CaId", m_caId);
    field("Ip", m_ip);
    field("Mac", m_mac);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
    field("AccountType", m_accountType);
}

void ZrUserRegisterMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrUserRegisterMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrUserRegisterMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrUserRegisterMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

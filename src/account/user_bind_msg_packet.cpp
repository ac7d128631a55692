#include "zr_account_packets.h"

ZrUserBindMsgPacket::ZrUserBindMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserBindMsgPacket::ZrUserBindMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                         unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserBindMsgPacket::fieldList(Fields&& field) {
    field("UserID", &ZrUserBindMsgPacket::m_bodyUserID);
    field("CAID", &ZrUserBindMsgPacket::m_caId);
    field("STBID", &ZrUserBindMsgPacket::m_stbId);
    field("MAC", &ZrUserBindMsgPacket::m_mac);
    field("IP", &ZrUserBindMsgPacket::m_ip);
    field("Password", &ZrUserBindMsgPacket::m_password);
    field("LoginToken", &ZrUserBindMsgPacket::m_loginToken);
    field("AccountType", &ZrUserBindMsgPacket::m_accountType);
    field("ResultFlag", &ZrUserBindMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserBindMsgPacket::m_errorDesc);
}

void ZrUserBindMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserBindMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrUserBindMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserBindMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserBindMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

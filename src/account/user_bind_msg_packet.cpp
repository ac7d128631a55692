#include "zr_account_packets.h"

ZrUserBindMsgPacket::ZrUserBindMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserBindMsgPacket::ZrUserBindMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                         unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                         unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserBindMsgPacket::fieldList(Fields&& field) {
    field("UserID", m_bodyUserID);
    field("CAID", m_caId);
    field("STBID", m_stbId);
    field("MAC", m_mac);
    field("IP", m_ip);
    field("Password", m_password);
    field("LoginToken", m_loginToken);
    field("AccountType", m_accountType);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrUserBindMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrUserBindMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrUserBindMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrUserBindMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

#include "zr_account_packets.h"

ZrUserCancelBindMsgPacket::ZrUserCancelBindMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserCancelBindMsgPacket::ZrUserCancelBindMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                     unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                     unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserCancelBindMsgPacket::fieldList(Fields&& field) {
    field("DigitalAccount", &ZrUserCancelBindMsgPacket::m_digitalAccount);
    field("LoginToken", &ZrUserCancelBindMsgPacket::m_loginToken);
    field("Password", &ZrUserCancelBindMsgPacket::m_password);
    field("ResultFlag", &ZrUserCancelBindMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserCancelBindMsgPacket::m_errorDesc);
}

void ZrUserCancelBindMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserCancelBindMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserCancelBindMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserCancelBindMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserCancelBindMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

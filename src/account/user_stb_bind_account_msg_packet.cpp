#include "zr_account_packets.h"

ZrUserStbBindAccountMsgPacket::ZrUserStbBindAccountMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserStbBindAccountMsgPacket::ZrUserStbBindAccountMsgPacket(unsigned char verHigh, unsigned char verLow,
                                                             unsigned int cmdID, unsigned char subcmdID,
                                                             unsigned int userID, unsigned int SN,
                                                             unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserStbBindAccountMsgPacket::fieldList(Fields&& field) {
    field("DigitalAccount", &ZrUserStbBindAccountMsgPacket::m_digitalAccount);
    field("DigitalAccountDst", &ZrUserStbBindAccountMsgPacket::m_digitalAccountDst);
    field("Password", &ZrUserStbBindAccountMsgPacket::m_password);
    field("LoginToken", &ZrUserStbBindAccountMsgPacket::m_loginToken);
    field("CAID", &ZrUserStbBindAccountMsgPacket::m_caId);
    field("STBID", &ZrUserStbBindAccountMsgPacket::m_stbId);
    field("MAC", &ZrUserStbBindAccountMsgPacket::m_mac);
    field("IP", &ZrUserStbBindAccountMsgPacket::m_ip);
    field("ResultFlag", &ZrUserStbBindAccountMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrUserStbBindAccountMsgPacket::m_errorDesc);
}

void ZrUserStbBindAccountMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrUserStbBindAccountMsgPacket::visitFields(ZrFieldVisitor& visitor) {
    fieldList(zrFieldsOf(*this, ZrNamedFields(visitor)));
}
void ZrUserStbBindAccountMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrUserStbBindAccountMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrUserStbBindAccountMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

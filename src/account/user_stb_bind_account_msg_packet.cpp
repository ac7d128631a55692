#include "zr_account_packets.h"

ZrUserStbBindAccountMsgPacket::ZrUserStbBindAccountMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrUserStbBindAccountMsgPacket::ZrUserStbBindAccountMsgPacket(unsigned char verHigh, unsigned char verLow,
                                                             unsigned int cmdID, unsigned char subcmdID,
                                                             unsigned int userID, unsigned int SN,
                                                             unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrUserStbBindAccountMsgPacket::fieldList(Fields&& field) {
    field("DigitalAccount", m_digitalAccount);
    field("DigitalAccountDst", m_digitalAccountDst);
    field("Password", m_password);
    field("LoginToken", m_loginToken);
    field("CAID", m_caId);
    field("STBID", m_stbId);
    field("MAC", m_mac);
    field("IP", m_ip);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrUserStbBindAccountMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrUserStbBindAccountMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrUserStbBindAccountMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrUserStbBindAccountMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

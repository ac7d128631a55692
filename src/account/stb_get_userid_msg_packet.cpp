#include "zr_account_packets.h"

ZrStbGetUseridMsgPacket::ZrStbGetUseridMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrStbGetUseridMsgPacket::ZrStbGetUseridMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrStbGetUseridMsgPacket::fieldList(Fields&& field) {
    field("UserId", m_userId);
    field("StbId", m_stbId);
    field("CaId", m_caId);
    field("Ip", m_ip);
    field("Mac", m_mac);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
    field("AccountType", m_accountType);
}

void ZrStbGetUseridMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrStbGetUseridMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrStbGetUseridMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrStbGetUseridMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

#include "zr_account_packets.h"

ZrOvsCoreMsgPacket::ZrOvsCoreMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrOvsCoreMsgPacket::ZrOvsCoreMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                       unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                       unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrOvsCoreMsgPacket::fieldList(Fields&& field) {
    field("DigitalAccount", m_digitalAccount);
    field("DigitalAccountDst", m_digitalAccountDst);
    field("CAID", m_caId);
    field("STBID", m_stbId);
    field("MAC", m_mac);
    field("IP", m_ip);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrOvsCoreMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrOvsCoreMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrOvsCoreMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrOvsCoreMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

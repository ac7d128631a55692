#include "zr_account_packets.h"

ZrOvsCoreMsgPacket::ZrOvsCoreMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrOvsCoreMsgPacket::ZrOvsCoreMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                       unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                       unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrOvsCoreMsgPacket::fieldList(Fields&& field) {
    field("DigitalAccount", &ZrOvsCoreMsgPacket::m_digitalAccount);
    field("DigitalAccountDst", &ZrOvsCoreMsgPacket::m_digitalAccountDst);
    field("CAID", &ZrOvsCoreMsgPacket::m_caId);
    field("STBID", &ZrOvsCoreMsgPacket::m_stbId);
    field("MAC", &ZrOvsCoreMsgPacket::m_mac);
    field("IP", &ZrOvsCoreMsgPacket::m_ip);
    field("ResultFlag", &ZrOvsCoreMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrOvsCoreMsgPacket::m_errorDesc);
}

void ZrOvsCoreMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrOvsCoreMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrOvsCoreMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrOvsCoreMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(*this, pSendBuf, nBufLen);
}

int ZrOvsCoreMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(*this, pRecvBuf, nBufLen);
}

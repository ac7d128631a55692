#include "zr_session_packets.h"

ZrPortalMsgPacket::ZrPortalMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrPortalMsgPacket::ZrPortalMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                     unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                     unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrPortalMsgPacket::fieldList(Fields&& field) {
    field("Request", &ZrPortalMsgPacket::m_request);
    field("Response", &ZrPortalMsgPacket::m_response);
    field("StateCode", &ZrPortalMsgPacket::m_stateCode);
    field("ResultFlag", &ZrPortalMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrPortalMsgPacket::m_errorDesc);
}

void ZrPortalMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrPortalMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrPortalMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrPortalMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) { return encodeEnvelope(*this, pSendBuf, nBufLen); }

int ZrPortalMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) { return decodeEnvelope(*this, pRecvBuf, nBufLen); }

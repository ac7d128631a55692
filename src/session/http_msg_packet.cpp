#include "zr_session_packets.h"

ZrHttpMsgPacket::ZrHttpMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrHttpMsgPacket::ZrHttpMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrHttpMsgPacket::fieldList(Fields&& field) {
    field("Request", &ZrHttpMsgPacket::m_request);
    field("Response", &ZrHttpMsgPacket::m_response);
    field("StateCode", &ZrHttpMsgPacket::m_stateCode);
    field("ResultFlag", &ZrHttpMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrHttpMsgPacket::m_errorDesc);
}

void ZrHttpMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrHttpMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrHttpMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrHttpMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) { return encodeEnvelope(*this, pSendBuf, nBufLen); }

int ZrHttpMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) { return decodeEnvelope(*this, pRecvBuf, nBufLen); }

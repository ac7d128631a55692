#include "zr_session_packets.h"

ZrLoginMsgPacket::ZrLoginMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLoginMsgPacket::ZrLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLoginMsgPacket::fieldList(Fields&& field) {
    field("AccountName", &ZrLoginMsgPacket::m_accountName);
    field("AccountType", &ZrLoginMsgPacket::m_accountType);
    field("ACCONTINFO", &ZrLoginMsgPacket::m_accountInfo);
    field("AdditionalInfo", &ZrLoginMsgPacket::m_additionalInfo);
    field("ResultFlag", &ZrLoginMsgPacket::m_resultFlag);
    field("ErrorDesc", &ZrLoginMsgPacket::m_errorDesc);
}

void ZrLoginMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, *this, [](auto&& field) { fieldList(field); });
}
void ZrLoginMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(zrFieldsOf(*this, ZrNamedFields(visitor))); }
void ZrLoginMsgPacket::walkBody(ZrBodyWalker& walker) { fieldList(walker); }

int ZrLoginMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) { return encodeEnvelope(*this, pSendBuf, nBufLen); }

int ZrLoginMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) { return decodeEnvelope(*this, pRecvBuf, nBufLen); }

#include "zr_session_packets.h"

ZrLoginMsgPacket::ZrLoginMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLoginMsgPacket::ZrLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                   unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                   unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLoginMsgPacket::fieldList(Fields&& field) {
    field("AccountName", m_accountName);
    field("AccountType", m_accountType);
    field("ACCONTINFO", m_accountInfo);
    field("AdditionalInfo", m_additionalInfo);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrLoginMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrLoginMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrLoginMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrLoginMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

// The record's field list: the five numbers first, then the three texts,
// each bounded by its array (at most N - 1 characters sent; a received text
// of N or more fails the stream).
namespace {
template <class Fields>
void recordFieldList(NETPACCONTINFO& r, Fields&& field) {
    field("uField2", r.uField2);
    field("uField3", r.uField3);
    field("llField5", r.llField5);
    field("nField7", r.nField7);
    field("nField8", r.nField8);
    field("szField1", r.szField1);
    field("szField4", r.szField4);
    field("szField6", r.szField6);
}
}  // namespace

void transferRecord(ZrLCByteStream& stream, NETPACCONTINFO& record) { recordFieldList(record, ZrWireFields(stream)); }
void zrVisitRecord(ZrFieldVisitor& visitor, NETPACCONTINFO& record) { recordFieldList(record, ZrNamedFields(visitor)); }

#include "zr_account_packets.h"

ZrLexsGetStbInfoMsgPacket::ZrLexsGetStbInfoMsgPacket() : ZrCPacketHead(DEFAULT_CMDID) { initliaze(); }

ZrLexsGetStbInfoMsgPacket::ZrLexsGetStbInfoMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                                     unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                                     unsigned char encryptType)
    : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

template <class Fields>
void ZrLexsGetStbInfoMsgPacket::fieldList(Fields&& field) {
    field("StbCount", m_stbCount);
    field("StbInfo", m_stbInfo);
    field("ResultFlag", m_resultFlag);
    field("ErrorDesc", m_errorDesc);
}

void ZrLexsGetStbInfoMsgPacket::serializeOrUnSerialize(ZrLCByteStream& stream) { fieldList(ZrWireFields(stream)); }
void ZrLexsGetStbInfoMsgPacket::visitFields(ZrFieldVisitor& visitor) { fieldList(ZrNamedFields(visitor)); }

int ZrLexsGetStbInfoMsgPacket::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(pSendBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

int ZrLexsGetStbInfoMsgPacket::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(pRecvBuf, nBufLen, ENVELOPE, [this](ZrLCByteStream& s) { serializeOrUnSerialize(s); });
}

// The record's field list: the four texts, each bounded by its char[33]
// (at most 32 characters sent; a received text of 33 or more fails the
// stream), then the tail: szInfo2, szInfo3 and szInfo4 once each in the
// char[32] form. Writer and reader agree on those three, so every record of
// a map starts where the previous one ended; the reader drops them, so a
// 32-character text survives.
namespace {
// The tail's texts travel as char[32]: at most 31 characters.
constexpr std::uint32_t kTailTextSize = 32;

template <class Fields>
void recordFieldList(NETPSTBINFO& r, Fields&& field) {
    field("szInfo1", r.szInfo1);
    field("szInfo2", r.szInfo2);
    field("szInfo3", r.szInfo3);
    field("szInfo4", r.szInfo4);
    field("szInfo2", ZrTextEcho{r.szInfo2, kTailTextSize});
    field("szInfo3", ZrTextEcho{r.szInfo3, kTailTextSize});
    field("szInfo4", ZrTextEcho{r.szInfo4, kTailTextSize});
}
}  // namespace

void transferRecord(ZrLCByteStream& stream, NETPSTBINFO& record) { recordFieldList(record, ZrWireFields(stream)); }
void zrVisitRecord(ZrFieldVisitor& visitor, NETPSTBINFO& record) { recordFieldList(record, ZrNamedFields(visitor)); }

// The packet head: the fixed 33 bytes that start every packet (drawn in
// zr_packet_layout.h), the base class of every packet class, and the static
// accessors that read or patch a head inside a raw buffer: what a relay
// needs, without the envelope or the walk of a body (zr_envelope.h).
//
// Packets carry no length field: the transport delimits them.
#ifndef ZRPACKET_ZR_HEAD_H
#define ZRPACKET_ZR_HEAD_H

#include <string>
#include <utility>

#include "zr_byte_stream.h"
#include "zr_named_fields.h"
#include "zr_packet_layout.h"

struct ZrEnvelopeStyle;

class ZrCPacketHead {
public:
    // Copies every member: head fields, key byte, both scratch halves, both
    // streams' state and the error text. A copy of an encoded packet reports
    // the same getPacketLength(); its streams still point at the source's
    // buffers until its next enCode/deCode re-attaches them.
    ZrCPacketHead(const ZrCPacketHead&) = default;
    ZrCPacketHead& operator=(const ZrCPacketHead&) = default;

    void getVersion(unsigned char& high, unsigned char& low, unsigned short& version) const {
        high = static_cast<unsigned char>(m_version >> 8);
        low = static_cast<unsigned char>(m_version & 0xFF);
        version = m_version;
    }
    std::string getVersionEx();  // "high.low" in decimal: 0x0A01 -> "10.1"
    void setVersion(unsigned short version) { m_version = version; }
    bool isRightVersion(unsigned char high, unsigned char low) { return ((high << 8) | low) == m_version; }

    unsigned int getCmdID() const { return m_cmdID; }
    void setCmdID(unsigned int cmdID) { m_cmdID = cmdID; }
    unsigned char getSubcmdID() const { return m_subcmdID; }
    void setSubcmdID(unsigned char subcmdID) { m_subcmdID = subcmdID; }
    unsigned int getSN() const { return m_SN; }
    void setSN(unsigned int SN) { m_SN = SN; }
    unsigned int getUserID() const { return m_userID; }
    void setUserID(unsigned int userID) { m_userID = userID; }
    // enCode overwrites the encrypt type from cmdID; a value set here never
    // reaches the wire through enCode.
    unsigned char getEncryptType() const { return m_encryptType; }
    void setEncryptType(unsigned char encryptType) { m_encryptType = encryptType; }
    unsigned int getContext1() const { return m_context1; }
    void setContext1(unsigned int value) { m_context1 = value; }
    unsigned int getContext2() const { return m_context2; }
    void setContext2(unsigned int value) { m_context2 = value; }
    unsigned int getContext3() const { return m_context3; }
    void setContext3(unsigned int value) { m_context3 = value; }
    unsigned int getContext4() const { return m_context4; }
    void setContext4(unsigned int value) { m_context4 = value; }

    // False for the plain commands 1, 2, 3, 9, 1001, 1002 and 1009.
    bool isNeedEncrypt() { return isEncipheredCommand(m_cmdID); }
    static bool isEncipheredCommand(unsigned int cmdID) {
        switch (cmdID) {
            case 1:
            case 2:
            case 3:
            case 9:
            case 1001:
            case 1002:
            case 1009:
                return false;
            default:
                return true;
        }
    }

    // The text of the last failure; a success never clears it.
    const char* getLastErrMsg() const { return m_errMsg.c_str(); }
    // Empties that text, for an object reused by a receiver that must tell
    // this call's failure from an earlier one.
    void clearLastErrMsg() { m_errMsg.clear(); }

    unsigned int getPacketLength() { return PKT_HEAD_FIXED_LEN; }

    // The byte after the head: the codec's key on an enciphered body; on a
    // plain one, whatever the object's last enCode or deCode left.
    unsigned char getKeyByte() const { return m_keyByte; }
    void setKeyByte(unsigned char keyByte) { m_keyByte = keyByte; }

    // What the last deCode found the buffer to be (ZrEnvelopeStep::Head
    // before any): the step it failed at, and for an enciphered body the
    // bytes deciphered beyond the fields (trailing()).
    const ZrEnvelopeVerdict& envelopeVerdict() const { return m_verdict; }

    // The ten head fields after the STX, named as their accessors spell them
    // (version, cmdID, subcmdID, userID, SN, encryptType, context1 .. context4),
    // in wire order.
    void visitHeadFields(ZrFieldVisitor& visitor);

    // --- raw-buffer accessors ------------------------------------------------
    // They work on the bytes of an encoded packet without an object. A buffer
    // is usable when it is not null and holds at least PKT_HEAD_FIXED_LEN
    // bytes; the STX is not checked. On an unusable buffer a getter returns
    // its all-ones value and a setter returns -1 and writes nothing. Only the
    // field's own bytes are touched; no alignment is needed.
    // Defined here so that a relay's get or patch costs about one load or
    // store.
    static unsigned short fastGetVersion(const char* pBuf, unsigned int nBufLen) {
        return rawGet16(pBuf, nBufLen, PKT_OFFSET_VERSION);
    }
    static unsigned char fastGetVersionHigh(const char* pBuf, unsigned int nBufLen) {
        return static_cast<unsigned char>(fastGetVersion(pBuf, nBufLen) >> 8);
    }
    static unsigned char fastGetVersionLow(const char* pBuf, unsigned int nBufLen) {
        return static_cast<unsigned char>(fastGetVersion(pBuf, nBufLen) & 0xFF);
    }
    static unsigned int fastGetCmdID(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_CMDID);
    }
    static unsigned char fastGetSubcmdID(const char* pBuf, unsigned int nBufLen) {
        return rawGet8(pBuf, nBufLen, PKT_OFFSET_SUBCMDID);
    }
    static unsigned int fastGetUserID(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_USERID);
    }
    static unsigned int fastGetSN(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_SN);
    }
    static unsigned char fastGetEncryptType(const char* pBuf, unsigned int nBufLen) {
        return rawGet8(pBuf, nBufLen, PKT_OFFSET_ENCRYPT_TYPE);
    }
    static unsigned int fastGetContext1(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT1);
    }
    static unsigned int fastGetContext2(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT2);
    }
    static unsigned int fastGetContext3(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT3);
    }
    static unsigned int fastGetContext4(const char* pBuf, unsigned int nBufLen) {
        return rawGet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT4);
    }

    static int fastSetVersion(char* pBuf, unsigned int nBufLen, unsigned short version) {
        return rawSet16(pBuf, nBufLen, PKT_OFFSET_VERSION, version);
    }
    // The other version byte keeps its value.
    static int fastSetVersionHigh(char* pBuf, unsigned int nBufLen, unsigned char high) {
        const unsigned short version = fastGetVersion(pBuf, nBufLen);
        return fastSetVersion(pBuf, nBufLen, static_cast<unsigned short>((high << 8) | (version & 0xFF)));
    }
    static int fastSetVersionLow(char* pBuf, unsigned int nBufLen, unsigned char low) {
        const unsigned short version = fastGetVersion(pBuf, nBufLen);
        return fastSetVersion(pBuf, nBufLen, static_cast<unsigned short>((version & 0xFF00) | low));
    }
    static int fastSetCmdID(char* pBuf, unsigned int nBufLen, unsigned int cmdID) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_CMDID, cmdID);
    }
    static int fastSetSubcmdID(char* pBuf, unsigned int nBufLen, unsigned char subcmdID) {
        return rawSet8(pBuf, nBufLen, PKT_OFFSET_SUBCMDID, subcmdID);
    }
    static int fastSetUserID(char* pBuf, unsigned int nBufLen, unsigned int userID) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_USERID, userID);
    }
    static int fastSetSN(char* pBuf, unsigned int nBufLen, unsigned int SN) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_SN, SN);
    }
    static int fastSetEncryptType(char* pBuf, unsigned int nBufLen, unsigned char encryptType) {
        return rawSet8(pBuf, nBufLen, PKT_OFFSET_ENCRYPT_TYPE, encryptType);
    }
    static int fastSetContext1(char* pBuf, unsigned int nBufLen, unsigned int value) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT1, value);
    }
    static int fastSetContext2(char* pBuf, unsigned int nBufLen, unsigned int value) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT2, value);
    }
    static int fastSetContext3(char* pBuf, unsigned int nBufLen, unsigned int value) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT3, value);
    }
    static int fastSetContext4(char* pBuf, unsigned int nBufLen, unsigned int value) {
        return rawSet32(pBuf, nBufLen, PKT_OFFSET_CONTEXT4, value);
    }

    // Context i (1 to 4) in host order; -1 and value untouched on a short
    // buffer. A null buffer or an i outside 1 to 4 is a contract breach:
    // debug builds assert, others return -1 and touch nothing.
    static int dispatchPacketContext_i(const char* pBuf, unsigned int nBufLen, int i, unsigned int& value);
    static int modifyPacketNetwork_Context_i(char* pBuf, unsigned int nBufLen, int i, unsigned int value);

    // Reads version, cmdID, subcmdID and userID from a head whose first byte
    // is STX; 0, or -1 with no output changed.
    static int dispatchPacket(const char* pRecvBuf, unsigned int nBufLen, unsigned short& version, unsigned int& cmdID,
                              unsigned char& subcmdID, unsigned int& userID);

protected:
    ZrCPacketHead(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                  unsigned int userID, unsigned int SN, unsigned char encryptType, unsigned int context1 = 0,
                  unsigned int context2 = 0, unsigned int context3 = 0, unsigned int context4 = 0);
    explicit ZrCPacketHead(unsigned int cmdID);
    ~ZrCPacketHead() = default;

    // Write or read the 33 head bytes at the start of the buffer; 0, or -1
    // with the error text set and nothing written or changed. Inline in
    // zr_envelope.h: every packet's enCode and deCode starts here. deCode
    // attaches the main stream to the buffer, so that a packet just decoded
    // reports 33.
    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);

    // --- the envelope shared by every body packet -----------------------------

    // Head, key byte, body (plain, or enciphered through the scratch area),
    // ETX, for `self`, the packet: its class gives its ENVELOPE style, its
    // static fieldList and its serializeOrUnSerialize (each class is a
    // friend of the head). 0 on success; the head's result when the head
    // fails; -1 without a text of its own when the rest does not fit or
    // cannot be enciphered. Defined in zr_envelope.h, so that the body
    // inlines into it.
    template <class Packet>
    int encodeEnvelope(Packet& self, char* pSendBuf, unsigned int nBufLen);
    // 0 on success; the head's result, or -1 with the class's decipher or
    // end-byte text, or -1 without a text when the body fields cannot be read.
    template <class Packet>
    int decodeEnvelope(Packet& self, char* pRecvBuf, unsigned int nBufLen);
    // The head's own field list after the STX, in wire order, shared by its
    // wire code and visitHeadFields.
    template <class Fields>
    void headFieldList(Fields&& field) {
        field("version", m_version);
        field("cmdID", m_cmdID);
        field("subcmdID", m_subcmdID);
        field("userID", m_userID);
        field("SN", m_SN);
        field("encryptType", m_encryptType);
        field("context1", m_context1);
        field("context2", m_context2);
        field("context3", m_context3);
        field("context4", m_context4);
    }

    // A packet class's private field list, which each class opens to the
    // head alone: for the members its base ZrBodyPacket supplies.
    template <class Packet, class Fields>
    static void fieldListOf(Fields&& field) {
        Packet::fieldList(std::forward<Fields>(field));
    }

    // Attaches a stream for one direction (a reading stream is not writable).
    static void prepareStream(ZrLCByteStream& stream, void* buffer, unsigned int length, bool serializing,
                              ZrBodyMode mode) {
        stream.attach(buffer, length, serializing);
        stream.setSerializing(serializing);
        stream.setCompact(mode == ZrBodyMode::Compact);
    }
    // -1, with the class's text for the step m_verdict names where it has
    // one (decipher, end byte; the keep-alive's missing end byte).
    int refuseDecode(const ZrEnvelopeStyle& style);
    // Bytes the last enCode produced: 33 plus what it wrote after the head.
    unsigned int envelopeLength() const { return PKT_HEAD_FIXED_LEN + m_mainStream.usedLength(); }

    // "[<className><joint><operation>],<failure><detail>", where joint is "::"
    // or a blank and the failure carries its own leading blank where wanted.
    enum class Joint : unsigned char { Scope, Blank };
    void setLastError(const char* className, Joint joint, const char* operation, const char* failure,
                      const std::string& detail = std::string());

    unsigned short m_version;
    unsigned int m_cmdID;
    unsigned char m_subcmdID;
    unsigned int m_userID;
    unsigned int m_SN;
    unsigned char m_encryptType;
    unsigned int m_context1;
    unsigned int m_context2;
    unsigned int m_context3;
    unsigned int m_context4;
    unsigned char m_keyByte = 0;
    // Plain half, then cipher half. Zero-filled at construction.
    unsigned char m_scratch[2 * PKT_SCRATCH_HALF_LEN];
    ZrLCByteStream m_mainStream;  // over the caller's buffer
    ZrLCByteStream m_bodyStream;  // over a half of the scratch area
    std::string m_errMsg;
    ZrEnvelopeVerdict m_verdict{ZrEnvelopeStep::Head};  // what the last deCode found

private:
    // The field at `offset` of a raw head, in network order; all ones, or -1
    // and nothing written, when the buffer is null or shorter than the head.
    static bool isUsableHead(const char* pBuf, unsigned int nBufLen) {
        return pBuf != nullptr && nBufLen >= PKT_HEAD_FIXED_LEN;
    }
    static const unsigned char* rawField(const char* pBuf, unsigned int offset) {
        return reinterpret_cast<const unsigned char*>(pBuf) + offset;
    }
    static unsigned char* rawField(char* pBuf, unsigned int offset) {
        return reinterpret_cast<unsigned char*>(pBuf) + offset;
    }
    static unsigned char rawGet8(const char* pBuf, unsigned int nBufLen, unsigned int offset) {
        return isUsableHead(pBuf, nBufLen) ? *rawField(pBuf, offset) : 0xFF;
    }
    static unsigned short rawGet16(const char* pBuf, unsigned int nBufLen, unsigned int offset) {
        return isUsableHead(pBuf, nBufLen) ? CHostNetworkConvertorNormal::loadBigEndian16(rawField(pBuf, offset))
                                           : 0xFFFF;
    }
    static unsigned int rawGet32(const char* pBuf, unsigned int nBufLen, unsigned int offset) {
        return isUsableHead(pBuf, nBufLen) ? CHostNetworkConvertorNormal::loadBigEndian32(rawField(pBuf, offset))
                                           : 0xFFFFFFFFu;
    }
    static int rawSet8(char* pBuf, unsigned int nBufLen, unsigned int offset, unsigned char value) {
        if (!isUsableHead(pBuf, nBufLen)) return -1;
        *rawField(pBuf, offset) = value;
        return 0;
    }
    static int rawSet16(char* pBuf, unsigned int nBufLen, unsigned int offset, unsigned short value) {
        if (!isUsableHead(pBuf, nBufLen)) return -1;
        CHostNetworkConvertorNormal::storeBigEndian16(rawField(pBuf, offset), value);
        return 0;
    }
    static int rawSet32(char* pBuf, unsigned int nBufLen, unsigned int offset, unsigned int value) {
        if (!isUsableHead(pBuf, nBufLen)) return -1;
        CHostNetworkConvertorNormal::storeBigEndian32(rawField(pBuf, offset), value);
        return 0;
    }

    // The head's out-of-line steps: a buffer enCode or deCode cannot use (a
    // contract breach asserts here in debug builds), and the cipher variant.
    int refuseEnCode(const char* pSendBuf, unsigned int nBufLen);
    int refuseDeCode(char* pRecvBuf, unsigned int nBufLen);
    static unsigned char drawEncryptType();

    // The envelope's out-of-line steps. sendEnciphered enciphers the body
    // that m_bodyStream holds and writes key byte, cipher and ETX into the
    // caller's buffer.
    int sendEnciphered();
};

static_assert(1 + sizeof(unsigned short) + 7 * sizeof(unsigned int) + 2 * sizeof(unsigned char) == PKT_HEAD_FIXED_LEN,
              "STX, version, seven u32 and two u8 fields fill the head");

#endif  // ZRPACKET_ZR_HEAD_H

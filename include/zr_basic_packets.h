// The two smallest packets: the keep-alive, a head and ETX with nothing
// between, and the server identification, whose body is one u16.
#ifndef ZRPACKET_ZR_BASIC_PACKETS_H
#define ZRPACKET_ZR_BASIC_PACKETS_H

#include "zr_body_packet.h"

// Always 34 bytes: the head (default cmdID 1), then ETX at offset 33. No key
// byte, no body.
class ZrCkeepAlivePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int PACKET_LEN = PKT_HEAD_FIXED_LEN + 1;
    static constexpr unsigned int DEFAULT_CMDID = 1;
    // Its texts put a blank after the comma.
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrCkeepAlivePacket", ZrBodyMode::None, true};

    ZrCkeepAlivePacket();
    // Version 0x0001, the given cmdID and SN, every other head field 0.
    ZrCkeepAlivePacket(unsigned int cmdID, unsigned int SN);
    ZrCkeepAlivePacket(const ZrCkeepAlivePacket&) = default;
    ZrCkeepAlivePacket& operator=(const ZrCkeepAlivePacket&) = default;
    ~ZrCkeepAlivePacket() = default;

    // nBufLen must be at least PACKET_LEN (asserted in debug builds; -1
    // otherwise). Bytes after the ETX are ignored by deCode.
    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() const { return PACKET_LEN; }

    void visitFields(ZrFieldVisitor&) {}    // no body
    static void walkBody(ZrBodyWalker&) {}  // no body
};

// The head (default cmdID 2, plain), the key byte, serverType as a u16, ETX:
// 37 bytes when plain. The body is a fixed-mode body.
class ZrCServerIdentifyPacket : public ZrBodyPacket<ZrCServerIdentifyPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 2;
    // Its two texts put a blank after the comma.
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrCServerIdentifyPacket", ZrBodyMode::Fixed, true};

    ZrCServerIdentifyPacket() = default;
    // Version 0, the given cmdID, SN and encryptType, every other head field 0.
    ZrCServerIdentifyPacket(unsigned int cmdID, unsigned int SN, unsigned char encryptType)
        : ZrBodyPacket(0, 0, cmdID, 0, 0, SN, encryptType) {}

    void setServerType(unsigned short serverType) { m_serverType = serverType; }
    unsigned short getServerType() const { return m_serverType; }

private:
    using ZrBodyPacket::initliaze;  // this class never had one
    friend class ZrCPacketHead;     // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {
        field("ServerType", &ZrCServerIdentifyPacket::m_serverType);
    }

    unsigned short m_serverType = 0;
};
ZR_LIBRARY_PACKET_CLASS(ZrCServerIdentifyPacket);

#endif  // ZRPACKET_ZR_BASIC_PACKETS_H

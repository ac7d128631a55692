// A packet class added in one place, as the README's "Adding a packet class"
// has it: its base gives it constructors, enCode, deCode, its length, named
// fields and walk. The README quotes it; the session tests hold its bytes.
#ifndef ZRPACKET_EXAMPLE_PING_PACKET_H
#define ZRPACKET_EXAMPLE_PING_PACKET_H

#include <string>

#include "zr_body_packet_impl.h"

class ZrPingMsgPacket : public ZrBodyPacket<ZrPingMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 11;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrPingMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setText(const std::string& text) { m_text = text; }
    void setHops(unsigned int hops) { m_hops = hops; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {
        field("Text", &ZrPingMsgPacket::m_text);
        field("Hops", &ZrPingMsgPacket::m_hops);
    }

    std::string m_text;
    unsigned int m_hops = 0;
};

#endif  // ZRPACKET_EXAMPLE_PING_PACKET_H

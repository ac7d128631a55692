// The base of every packet class with a body. A class is its command, its
// envelope, its accessors and its field list, and takes the rest from here
// (the README's "Adding a packet class"):
//
//   class ZrPingMsgPacket : public ZrBodyPacket<ZrPingMsgPacket> {
//   public:
//       static constexpr unsigned int DEFAULT_CMDID = 11;
//       static constexpr ZrEnvelopeStyle ENVELOPE{"ZrPingMsgPacket", ZrBodyMode::Compact};
//       using ZrBodyPacket::ZrBodyPacket;  // the seven-argument constructor
//       // accessors
//   private:
//       friend class ZrCPacketHead;  // the envelope reads the field list
//       template <class Fields>
//       static void fieldList(Fields&& field) {  // the body, in wire order, by member
//           field("Text", &ZrPingMsgPacket::m_text);
//       }
//       std::string m_text;
//   };
//   ZR_LIBRARY_PACKET_CLASS(ZrPingMsgPacket);  // a class of the library
//
// The members that run the field list are compiled where their class's are:
// the library's own classes in the library, once (ZR_LIBRARY_PACKET_CLASS);
// a program's own class where it includes zr_body_packet_impl.h.
#ifndef ZRPACKET_ZR_BODY_PACKET_H
#define ZRPACKET_ZR_BODY_PACKET_H

#include <type_traits>

#include "zr_envelope.h"
#include "zr_packet_types.h"

template <class Packet>
class ZrBodyPacket : public ZrCPacketHead {
public:
    // The head with the class's default command, every other field 0.
    ZrBodyPacket() : ZrCPacketHead(Packet::DEFAULT_CMDID) {}
    // The seven values, in this order, to the head; the contexts 0.
    ZrBodyPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                 unsigned int userID, unsigned int SN, unsigned char encryptType)
        : ZrCPacketHead(verHigh, verLow, cmdID, subcmdID, userID, SN, encryptType) {}

    // Has no effect; every class offers it.
    void initliaze() {}

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    // The envelope around the field list (ZrCPacketHead::encodeEnvelope and
    // decodeEnvelope say which failures set getLastErrMsg()): 0 or -1.
    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

protected:
    // A packet is copied, never moved, as it always was: with the moves
    // deleted here, a class's own are deleted too, so a move takes the copy
    // and leaves its source as it was.
    ZrBodyPacket(const ZrBodyPacket&) = default;
    ZrBodyPacket& operator=(const ZrBodyPacket&) = default;
    ZrBodyPacket(ZrBodyPacket&&) = delete;
    ZrBodyPacket& operator=(ZrBodyPacket&&) = delete;
    ~ZrBodyPacket() = default;

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    void serializeOrUnSerialize(ZrLCByteStream& stream);
    Packet& packet() { return static_cast<Packet&>(*this); }
};

// Whether the library compiles a class's members (ZR_LIBRARY_PACKET_CLASS).
template <class Packet>
struct ZrCompiledInLibrary : std::false_type {};

// Whether two texts are equal, for checks the compiler makes.
constexpr bool zrSameText(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a) ++b;
    return *a == *b;
}

// Follows each class of the library in its header. The library compiles the
// class's members once, in the source of its family, which defines
// ZRPACKET_COMPILING_PACKET_CLASSES and includes zr_body_packet_impl.h
// before the header; everywhere else they are declared compiled there. The
// compiler checks that the class is on ZrAllPacketTypes and that its error
// texts carry its own name.
#ifdef ZRPACKET_COMPILING_PACKET_CLASSES
#ifndef ZRPACKET_ZR_BODY_PACKET_IMPL_H
#error "a source that compiles packet classes includes zr_body_packet_impl.h first"
#endif
#define ZR_PACKET_INSTANTIATION template
#else
#define ZR_PACKET_INSTANTIATION extern template
#endif
#define ZR_LIBRARY_PACKET_CLASS(Packet)                                                           \
    ZR_PACKET_INSTANTIATION class ZrBodyPacket<Packet>;                                           \
    template <>                                                                                   \
    struct ZrCompiledInLibrary<Packet> : std::true_type {};                                       \
    static_assert(zrIsListed<Packet>(ZrAllPacketTypes()), #Packet " is not on ZrAllPacketTypes"); \
    static_assert(zrSameText(Packet::ENVELOPE.className, #Packet), #Packet "'s ENVELOPE names another class")

#endif  // ZRPACKET_ZR_BODY_PACKET_H

// The catalogue: every packet class of the library in one table, by its
// default command, and decoding of a packet whose class is known only from
// the command in its head.
//
//   std::string error;
//   if (auto packet = ZrCatalogue::decode(buf, len, error)) {
//       packet->head().getSN();               // the head, whatever the class
//       packet->visitFields(myVisitor);       // the body's named fields
//   } else {
//       log(error);                           // unknown command, or why it did not decode
//   }
//
// Packet classes stay plain value classes; ZrAnyPacket is the one
// polymorphic handle, made by the catalogue around a packet object.
#ifndef ZRPACKET_ZR_CATALOGUE_H
#define ZRPACKET_ZR_CATALOGUE_H

#include <memory>
#include <string>
#include <vector>

#include "zr_named_fields.h"
#include "zr_packet_head.h"

class ZrAnyPacket;

// One row of the catalogue.
struct ZrPacketClass {
    unsigned int cmdID;     // the command its default constructor gives
    const char* className;  // as in its error texts
    ZrBodyMode mode;        // Compact or Fixed body; None for the keep-alive
    bool enciphered;        // whether its body is enciphered under cmdID
    std::unique_ptr<ZrAnyPacket> (*make)(const ZrPacketClass& row);

    // A new, default-constructed packet of this class.
    std::unique_ptr<ZrAnyPacket> create() const { return make(*this); }
};

// A packet object of any class, used without knowing its type.
class ZrAnyPacket {
public:
    virtual ~ZrAnyPacket() = default;

    virtual const ZrPacketClass& packetClass() const = 0;
    virtual ZrCPacketHead& head() = 0;
    // The body's named fields in wire order; none for the keep-alive.
    virtual void visitFields(ZrFieldVisitor& visitor) = 0;
    virtual int enCode(char* pSendBuf, unsigned int nBufLen) = 0;
    virtual int deCode(char* pRecvBuf, unsigned int nBufLen) = 0;
    virtual unsigned int getPacketLength() = 0;
};

class ZrCatalogue {
public:
    // Every class, in the order of their default commands.
    static const std::vector<ZrPacketClass>& classes();
    // The class with this default command, or this name; null if none.
    static const ZrPacketClass* find(unsigned int cmdID);
    static const ZrPacketClass* find(const std::string& className);

    // Decodes the packet in [buf, buf + len) with the class that its head's
    // command names, or with `forced` when one is given (for a packet sent
    // under a command other than its class's default). Returns null on
    // failure and says why in `error`: the head's or the class's own text
    // where the library has one, otherwise an unknown command or a body
    // whose fields cannot be read. The buffer is only read.
    static std::unique_ptr<ZrAnyPacket> decode(const char* buf, unsigned int len, std::string& error,
                                               const ZrPacketClass* forced = nullptr);
};

#endif  // ZRPACKET_ZR_CATALOGUE_H

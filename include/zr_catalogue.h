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
// A receiver of many packets keeps a ZrPacketReceiver instead, which decodes
// each packet into one object per class, made once and reused.
//
// Packet classes stay plain value classes; ZrAnyPacket is the one
// polymorphic handle, made by the catalogue around a packet object.
#ifndef ZRPACKET_ZR_CATALOGUE_H
#define ZRPACKET_ZR_CATALOGUE_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "zr_account_packets.h"
#include "zr_basic_packets.h"
#include "zr_billing_packets.h"
#include "zr_body_walk.h"
#include "zr_named_fields.h"
#include "zr_envelope.h"
#include "zr_packet_types.h"
#include "zr_session_packets.h"

class ZrAnyPacket;

// One row of the catalogue.
struct ZrPacketClass {
    unsigned int cmdID;     // the command its default constructor gives
    const char* className;  // as in its error texts
    ZrBodyMode mode;        // Compact or Fixed body; None for the keep-alive
    bool enciphered;        // whether its body is enciphered under cmdID
    // A new packet of this class. The rows of the catalogue make packets
    // that report the catalogue's own row, whatever row they are given.
    std::unique_ptr<ZrAnyPacket> (*make)(const ZrPacketClass& row);
    // Walks a body of this class over wire bytes (zr_body_walk.h); null for
    // a class that cannot be measured without an object.
    void (*walkBody)(ZrBodyWalker& walker) = nullptr;

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
    // Every class, in ascending order of their default commands.
    static const std::vector<ZrPacketClass>& classes();
    // The class with this default command, or this name; null if none.
    static const ZrPacketClass* find(unsigned int cmdID);
    static const ZrPacketClass* find(const std::string& className);

    // Decodes the packet in [buf, buf + len) with the class that its head's
    // command names, or with `forced` when one is given (for a packet sent
    // under a command other than its class's default). Returns null on
    // failure and says why in `error`: the head's or the class's own text
    // where the library has one (an end byte that is not 0x03 adds the byte
    // found and its offset), otherwise an unknown command, or which field of
    // the body cannot be read and where:
    //   ZrLoginMsgPacket: the body's fields cannot be read:
    //     body.ACCONTINFO[3].szField2: text of 40 bytes from offset 90 runs past the body's end at offset 118
    // The buffer is only read.
    static std::unique_ptr<ZrAnyPacket> decode(const char* buf, unsigned int len, std::string& error,
                                               const ZrPacketClass* forced = nullptr);
};

// Why `cls` could not decode [buf, buf + len), as ZrCatalogue::decode says
// it: from the verdict its deCode reached, the library's own text
// `libraryText` where it has one (an end byte that is not 0x03 gains the
// byte found and its offset), otherwise which field of the body cannot be
// read and where.
std::string zrExplainDecodeFailure(const ZrPacketClass& cls, const ZrEnvelopeVerdict& verdict,
                                   const char* libraryText, const char* buf, unsigned int len);

// Decodes packets of any class, each into the one object of its class that
// the receiver keeps: made the first time the class comes, reused after. A
// stream of mixed classes then costs no packet object (and no 60 KB scratch
// area) per packet, only what the fields' texts and containers take.
// Use one receiver from one thread at a time.
class ZrPacketReceiver {
public:
    ZrPacketReceiver();
    ~ZrPacketReceiver();
    ZrPacketReceiver(const ZrPacketReceiver&) = delete;
    ZrPacketReceiver& operator=(const ZrPacketReceiver&) = delete;

    // As ZrCatalogue::decode. The packet stays the receiver's and holds the
    // decoded fields until the next decode of its class; null on failure.
    ZrAnyPacket* decode(const char* buf, unsigned int len, std::string& error, const ZrPacketClass* forced = nullptr);

private:
    ZrAnyPacket& packetOf(const ZrPacketClass& row);

    std::vector<std::unique_ptr<ZrAnyPacket>> m_packets;  // by the row's place in the catalogue
    // Forced classes that are not rows of the catalogue, by their make.
    std::vector<std::pair<decltype(ZrPacketClass::make), std::unique_ptr<ZrAnyPacket>>> m_others;
};

#endif  // ZRPACKET_ZR_CATALOGUE_H

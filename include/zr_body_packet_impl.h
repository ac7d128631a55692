// The members ZrBodyPacket gives a class, for where they are compiled: the
// library's sources for its own classes, and a program's source that
// defines a packet class of its own.
#ifndef ZRPACKET_ZR_BODY_PACKET_IMPL_H
#define ZRPACKET_ZR_BODY_PACKET_IMPL_H

#include "zr_body_packet.h"

template <class Packet>
void ZrBodyPacket<Packet>::visitFields(ZrFieldVisitor& visitor) {
    fieldListOf<Packet>(zrFieldsOf(packet(), ZrNamedFields(visitor)));
}

template <class Packet>
void ZrBodyPacket<Packet>::walkBody(ZrBodyWalker& walker) {
    fieldListOf<Packet>(walker);
}

template <class Packet>
int ZrBodyPacket<Packet>::enCode(char* pSendBuf, unsigned int nBufLen) {
    return encodeEnvelope(packet(), pSendBuf, nBufLen);
}

template <class Packet>
int ZrBodyPacket<Packet>::deCode(char* pRecvBuf, unsigned int nBufLen) {
    return decodeEnvelope(packet(), pRecvBuf, nBufLen);
}

template <class Packet>
void ZrBodyPacket<Packet>::serializeOrUnSerialize(ZrLCByteStream& stream) {
    zrTransferFields(stream, packet(), [](auto&& field) { fieldListOf<Packet>(field); });
}

#endif  // ZRPACKET_ZR_BODY_PACKET_IMPL_H

// The packet head with the envelope around a body, as one include: the
// head and its raw accessors (zr_head.h, all a relay needs) and the
// envelope's rule and wire code (zr_envelope.h).
#ifndef ZRPACKET_ZR_PACKET_HEAD_H
#define ZRPACKET_ZR_PACKET_HEAD_H

#include "zr_envelope.h"
#include "zr_head.h"

#endif  // ZRPACKET_ZR_PACKET_HEAD_H

// The user account and set-top box packets' members that ZrBodyPacket supplies, compiled once,
// here: the header's ZR_LIBRARY_PACKET_CLASS lines instantiate them where
// ZRPACKET_COMPILING_PACKET_CLASSES is defined. Kept out of the unity
// batches (CMakeLists.txt), so that this file reads the header first.
#define ZRPACKET_COMPILING_PACKET_CLASSES
#include "zr_body_packet_impl.h"
#include "zr_account_packets.h"

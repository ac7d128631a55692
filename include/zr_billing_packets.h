// Billing packets: card batches, balances, deposits and recharges,
// consumption, trades and changes. Each class is a head plus its body
// fields; the envelope (key byte, plain or enciphered body, ETX) is the
// head's. Accessors spell the fields in lower case with underscores.
#ifndef ZRPACKET_ZR_BILLING_PACKETS_H
#define ZRPACKET_ZR_BILLING_PACKETS_H

#include <string>
#include <vector>

#include "zr_packet_head.h"

#endif  // ZRPACKET_ZR_BILLING_PACKETS_H

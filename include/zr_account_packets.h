// User account and set-top box packets: login, registration, account
// change, authorization, binding, the core user service and the lexicon
// service. Each class is a head plus its body fields; the envelope (key
// byte, plain or enciphered body, ETX) is the head's.
#ifndef ZRPACKET_ZR_ACCOUNT_PACKETS_H
#define ZRPACKET_ZR_ACCOUNT_PACKETS_H

#include <map>
#include <string>

#include "zr_packet_head.h"

#endif  // ZRPACKET_ZR_ACCOUNT_PACKETS_H

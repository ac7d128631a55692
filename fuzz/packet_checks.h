// The properties that every input of the fuzz harness must keep, in a form
// that the unit tests share: the tests replay the harness's findings and
// check every mutated golden packet with them. Each check returns an empty
// text, or says which property the input breaks; a read or write outside
// the input is for the sanitizers to catch.
//
// Input layout of checkInput, by the first byte:
//   02     the whole input is a packet, decoded by the class its head's
//          command names (the corpus's .bin files seed this as they are);
//   '{'    the whole input is JSON text: a packet made from it encodes (or
//          is refused for a body too large to encipher) and its bytes
//          decode to the same JSON (the corpus's .json files seed this);
//   'h'    the rest is hex text, whose bytes are decoded as for 02;
//   other  the byte picks a catalogue class by index, and the rest is
//          decoded as that class.
// Every decoded input also goes through dispatchPacket and the raw head
// accessors.
#ifndef ZRPACKET_FUZZ_PACKET_CHECKS_H
#define ZRPACKET_FUZZ_PACKET_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "zr_catalogue.h"

namespace zrfuzz {

constexpr std::uint8_t kJsonMark = '{';
constexpr std::uint8_t kHexMark = 'h';

std::string checkInput(const std::uint8_t* data, std::size_t size);

// For a packet that decoded: it re-encodes, and those bytes decode as its
// class to the same fields (encrypt type and key byte drawn anew). The one
// refusal allowed: an enciphered body too large for the scratch half, which
// a peer can send within the compact writer's five spare bytes but this
// writer cannot reproduce. The packet's encrypt type and key byte change.
std::string checkReencodes(ZrAnyPacket& packet);
// checkReencodes, after this: the packet's JSON dumps, parses and reads
// back to the same JSON.
std::string checkDecoded(ZrAnyPacket& packet);

}  // namespace zrfuzz

#endif  // ZRPACKET_FUZZ_PACKET_CHECKS_H

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
//   's'    the rest is a stream of packets: split whole, byte by byte and
//          in chunks of sizes drawn from it, it gives the same packets and
//          skipped runs, with the same reasons, each time the budget allows
//          every start, which tile the stream; every packet handed out
//          decodes; the work stays within the stream's budget;
//   'l'    the same, measured another way: the next byte chooses how
//          enciphered ends are found (ZrEndSearch, modulo 3), the two after
//          it (most significant first) plus 35 are maxPacketLength, the
//          rest is the stream;
//   other  the byte picks a catalogue class by index, and the rest is
//          decoded as that class.
// Every decoded input also goes through dispatchPacket and the raw head
// accessors.
#ifndef ZRPACKET_FUZZ_PACKET_CHECKS_H
#define ZRPACKET_FUZZ_PACKET_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_stream_splitter.h"

namespace zrfuzz {

constexpr std::uint8_t kJsonMark = '{';
constexpr std::uint8_t kHexMark = 'h';
constexpr std::uint8_t kStreamMark = 's';
constexpr std::uint8_t kLimitedStreamMark = 'l';

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

// What a splitter took out of a stream: a packet, or a run of skipped bytes
// (the adjacent pieces of one run joined), with its class or reason.
struct SplitPiece {
    bool packet;
    std::uint64_t offset;
    std::size_t length;
    std::string what;  // the packet's class, or why the run is skipped
    bool afterFinish;  // taken out only once the stream had ended
    bool operator==(const SplitPiece& o) const {
        return packet == o.packet && offset == o.offset && length == o.length && what == o.what;
    }
};
// What splitting cost: the meter's work, the starts it refused for the
// budget, and the most bytes held at once.
struct SplitCost {
    ZrMeterWork work;
    std::uint64_t workLimits = 0;
    std::size_t mostHeld = 0;
};
// Splits a stream fed in chunks of the sizes `chunks` gives in turn (the
// last one repeated; none: all at once), then ends it; `base` is the
// offset of its first byte.
std::vector<SplitPiece> split(const std::uint8_t* data, std::size_t size, const std::vector<std::size_t>& chunks,
                              const ZrPacketMeter::Options& options = {}, SplitCost* cost = nullptr,
                              std::uint64_t base = 0);
// The meter and deCode agree on the bytes at `data`: the meter says
// complete at n exactly when n is the shortest prefix that the class's
// deCode accepts (the class the head names, or `forced`), whichever way it
// finds enciphered ends; and with a budget too small for the work, it says
// the same or WorkLimit, never another length.
std::string checkMeasure(const std::uint8_t* data, std::size_t size, const ZrPacketClass* forced = nullptr);
// The splitting property of the 's' input, with the meter's options.
std::string checkSplitting(const std::uint8_t* data, std::size_t size, const ZrPacketMeter::Options& options = {});

}  // namespace zrfuzz

#endif  // ZRPACKET_FUZZ_PACKET_CHECKS_H

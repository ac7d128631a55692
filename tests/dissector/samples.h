// Packets for the dissector test: the golden corpus, samples made from the
// catalogue's field lists, and probe classes with a field of every wire type.
#ifndef ZRPACKET_TESTS_DISSECTOR_SAMPLES_H
#define ZRPACKET_TESTS_DISSECTOR_SAMPLES_H

#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_json.h"

// A packet's bytes and the JSON `zrpkt decode` prints for them.
struct Case {
    std::string name;  // <ClassName>.<variant>
    std::string bytes;
    ZrJson json;
};

// Every <class>.<variant>.bin of the directory with its .json, in name
// order; none when the directory does not exist. A packet sent under a
// command other than its class's (the corpus uses one that names no class)
// is put under its class's command, which is all a dissector goes by.
std::vector<Case> corpusCases(const std::string& dir);

// For each class: its default packet, one with every field filled with
// values the wire makes interesting (multi-byte varints, negative numbers,
// texts with NUL bytes or bytes that are not UTF-8, two elements in every
// container), and for a class enciphered by default the filled packet with
// its body plain, as a peer may send it.
std::vector<Case> sampleCases(const std::vector<ZrPacketClass>& classes);

// The first plain class whose body starts with a string, that string
// holding `size` bytes and every other field at its default.
Case longTextCase(std::size_t size);

// Two classes outside the catalogue, a compact and a fixed-mode one, whose
// bodies hold every wire type: u8 to i64, a string, a char[N] text and its
// echo, a record, lists of strings, of records and of lists, and a map.
std::vector<ZrPacketClass> probeClasses();

// A compact probe packet whose list of texts holds one element more than a
// receiver accepts.
std::string probeWithTooManyElements();

// The default compact probe packet with `wire` in place of its char[6]
// text (the empty text's one length byte).
std::string probeWithText(const ZrPacketClass& compactProbe, const std::string& wire);

// Bytes and the JSON of their decoding as a packet of `row`.
Case decodedCase(const ZrPacketClass& row, const std::string& variant, const std::string& bytes);

#endif  // ZRPACKET_TESTS_DISSECTOR_SAMPLES_H

// Packets as JSON, for tools and tests: any packet of the catalogue to a
// JSON object and back, through its named fields alone.
//
//   {"class": "ZrAuthSockMsgPacket",
//    "head": {"version": 258, "cmdID": 3, "subcmdID": 0, "userID": 42, "SN": 1,
//             "encryptType": 0, "context1": 0, "context2": 0, "context3": 0, "context4": 0},
//    "keyByte": 0,
//    "body": {"key": "s3cr3t", "ResultFlag": 0, "ErrorDesc": "ok"}}
//
// Members appear in wire order. The keep-alive has no "body".
//   - Numbers are JSON integers, range-checked on reading against their wire
//     type (u8, u16, u32, i32, u64, and i64 for a u64 carrying a signed value).
//   - Lists are arrays; records are objects of their named fields; maps are
//     arrays of {"key": k, "value": v} in ascending key order, each key once.
//   - Texts (strings and char[N] texts) may hold any byte. Bytes that are
//     valid UTF-8 are a JSON string, control bytes and NUL escaped ("a\u0000b");
//     any other text is an object of its bytes in hex: {"hex": "FF 00 7C"}.
//     Either form is read for any text. A char[N] text holds at most N - 1
//     bytes and no NUL.
//   - "encryptType" is shown as received; encoding sets it from the command,
//     so it may be left out. "keyByte" is the byte after the head: kept on a
//     plain body, the codec's own on an enciphered one.
//
// Reading: a member left out keeps its default; an unknown member (named
// with the nearest member of its place, "did you mean Request?"), a value of
// the wrong JSON type, an out-of-range number, a text too long for its field,
// a list longer than a receiver accepts (ZR_MAX_CONTAINER_COUNT), or a map
// entry without its key or with a key given before throws ZrJsonError, whose
// text starts with the member's path:
//   body.ACCONTINFO[1].szField1: 25 bytes, more than the 19 this text holds
//   body.StbInfo[1].key: 7 given twice
//
// Round trip: a packet that decodes, taken to JSON and back, encodes to the
// same head and body (under a plain command, byte for byte) as the object it
// was decoded into.
#ifndef ZRPACKET_JSON_ZR_JSON_H
#define ZRPACKET_JSON_ZR_JSON_H

#include <cstddef>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_named_fields.h"

// Objects keep their members in the order they were added: wire order.
using ZrJson = nlohmann::ordered_json;

// A JSON value that does not make a packet; what() begins with its path.
class ZrJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The packet: class, head, key byte and body.
ZrJson zrPacketToJson(ZrAnyPacket& packet);
// The same packet as compact JSON text (zrPacketToJson(packet).dump()),
// appended to `out` without building the tree: for tools printing many.
// `leadingMembers`, JSON text of members each followed by a comma
// ("\"offset\":0,"), comes first in the object.
void zrAppendPacketJson(ZrAnyPacket& packet, std::string& out, const std::string& leadingMembers = "");

// A new packet of the class that "class" names (or, without it, of the class
// of head.cmdID), every member given assigned and the rest at their defaults.
// A "$schema" member, which names the document's JSON Schema for editors, is
// passed over. Throws ZrJsonError.
std::unique_ptr<ZrAnyPacket> zrPacketFromJson(const ZrJson& json);

// The members zrpkt decode and pcap write before a packet's own to place
// it: where it was read ("file", "offset", "time", "frame", "connection",
// "flow") and, pairing replies with requests, the request a reply answers
// ("request", "latency") or answers again ("secondReplyTo"). The JSON Schema
// allows them beside a packet's members; zrpkt encode passes them over.
const std::vector<std::string>& zrPlacementMembers();

// A default packet of the class: every field at its default.
ZrJson zrPacketTemplate(const ZrPacketClass& row);

// A JSON Schema (draft 2020-12) of this JSON form, for editors and
// validators: of a packet of any class of the catalogue, or of one class.
// Integers carry their wire type's range, texts their limits, lists and
// maps at most ZR_MAX_CONTAINER_COUNT elements. It never refuses a packet
// that zrPacketFromJson accepts; zrPacketFromJson still refuses a few it
// lets through: a char[N] text of at most N - 1 characters but more UTF-8
// bytes, an integer written as 1.0, a map key given twice.
ZrJson zrJsonSchema();
ZrJson zrJsonSchema(const ZrPacketClass& row);

// Any named field list (a body, a head, a record) as a JSON object, and
// back. `visit` runs the list over the visitor it is given; `path` prefixes
// the error texts. Throws ZrJsonError.
using ZrFieldList = std::function<void(ZrFieldVisitor&)>;
ZrJson zrFieldsToJson(const ZrFieldList& visit);
// zrFieldsToJson(visit).dump(), appended to `out` without building the tree.
void zrAppendFieldsJson(const ZrFieldList& visit, std::string& out);
void zrFieldsFromJson(const ZrJson& object, const std::string& path, const ZrFieldList& visit);

// Bytes as upper-case hex pairs separated by blanks ("02 61 FF"), with a line
// break after every `perLine` bytes when perLine is not 0.
std::string zrToHex(const void* data, std::size_t length, std::size_t perLine = 0);
// Hex pairs with whitespace anywhere between the digits; false (bytes
// unspecified) on any other character or an odd number of digits.
bool zrFromHex(const std::string& text, std::string& bytes);

#endif  // ZRPACKET_JSON_ZR_JSON_H

// The shape of a named field list as a tree: each field's wire type and
// name in wire order, with the fields of records, list elements and map
// entries below them. Read off a packet by visiting it, so the tools that
// describe a class (the JSON Schema, zrpkt describe, the Wireshark
// dissector) follow the same list as the wire and cannot drift from it.
#ifndef ZRPACKET_JSON_ZR_FIELD_TREE_H
#define ZRPACKET_JSON_ZR_FIELD_TREE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "zr_named_fields.h"

enum class ZrWireType {
    U8,
    U16,
    U32,
    I32,
    U64,
    I64,     // a u64 carrying a signed value
    String,  // u32 length and any bytes
    Text,    // char[size]: at most size - 1 bytes, no NUL
    Echo,    // a text the wire carries again in the char[size] form; not a member of the JSON
    List,
    Map,
    Record
};

struct ZrFieldNode {
    ZrWireType wire;
    std::string name;                   // empty for a list element
    std::size_t size = 0;               // the N of a char[N] text or its echo
    std::vector<ZrFieldNode> children;  // a record's fields, a list's element, a map entry's key and value
};

// The fields that `visit` hands its visitor, in wire order. Every list and
// map is opened with one element, so that its element's fields are seen
// too; the object visited keeps that element (which is how a template with
// one element in each container is made).
std::vector<ZrFieldNode> zrFieldTree(const std::function<void(ZrFieldVisitor&)>& visit);

// "u8", "u16", "u32", "i32", "u64", "i64", "string", "char[N]" (with the
// node's size), "list", "map" or "record".
std::string zrWireTypeName(const ZrFieldNode& node);

#endif  // ZRPACKET_JSON_ZR_FIELD_TREE_H

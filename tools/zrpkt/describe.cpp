// zrpkt describe: a class's fields in wire order as a table, read from its
// field tree.
#include "describe.h"

#include <cstddef>
#include <string>
#include <vector>

#include "zr_byte_stream.h"
#include "zr_field_tree.h"

namespace zrpkt {

namespace {

// Wide enough for the names of every class's fields two levels down, and
// for every wire type.
constexpr std::size_t kNameColumn = 28;
constexpr std::size_t kTypeColumn = 10;

std::string padded(std::string text, std::size_t width) {
    text.resize(text.size() < width ? width : text.size() + 1, ' ');
    return text;
}

// What a field holds beyond its wire type.
std::string note(const ZrFieldNode& node) {
    const std::string count = "at most " + std::to_string(ZR_MAX_CONTAINER_COUNT);
    switch (node.wire) {
        case ZrWireType::String:
            return "a text of any length";
        case ZrWireType::Text:
            return "a text of at most " + std::to_string(node.size - 1) + " bytes";
        case ZrWireType::Echo:
            return node.name + " again, cut to " + std::to_string(node.size - 1) + " bytes (not in the JSON)";
        case ZrWireType::List:
            return count + " elements, each:";
        case ZrWireType::Map:
            return count + " entries {\"key\": k, \"value\": v}, each key once:";
        case ZrWireType::Record:
            return "of these fields:";
        default:
            return "";
    }
}

void describeFields(const std::vector<ZrFieldNode>& fields, std::size_t depth, std::string& out) {
    for (const ZrFieldNode& node : fields) {
        std::string name = std::string(2 + 2 * depth, ' ') + (node.name.empty() ? "[i]" : node.name);
        if (node.wire == ZrWireType::Echo) name += " (again)";
        std::string line = padded(name, kNameColumn) + padded(zrWireTypeName(node), kTypeColumn) + note(node);
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
        describeFields(node.children, depth + 1, out);
    }
}

}  // namespace

std::string describeClass(const ZrPacketClass& row) {
    std::string out =
        std::string(row.className) + ": command " + std::to_string(row.cmdID) + ", sent " +
        (row.enciphered ? "enciphered (encryptType 1 to 8, a variant drawn at random)" : "in plain (encryptType 0)") +
        "\n";
    const std::vector<ZrFieldNode> head =
        zrFieldTree([&](ZrFieldVisitor& v) { row.create()->head().visitHeadFields(v); });
    out += "head (33 bytes, after the STX 02):";
    for (const ZrFieldNode& field : head) out += " " + field.name + " " + zrWireTypeName(field) + ",";
    out.back() = '\n';
    if (row.mode == ZrBodyMode::None) return out + "no body: the head and the ETX 03 alone\n";
    out += "keyByte u8, then the body, then the ETX 03\n";
    out += row.mode == ZrBodyMode::Fixed
               ? "body (fixed mode: u32 and i32 four bytes, lengths and counts a u32), in wire order:\n"
               : "body (compact mode: u32 and i32 varints, lengths and counts a varint), in wire order:\n";
    describeFields(zrFieldTree([&](ZrFieldVisitor& v) { row.create()->visitFields(v); }), 0, out);
    return out;
}

}  // namespace zrpkt

// The JSON Schema of the JSON form, written from each class's field tree:
// what the reader in zr_json.cpp accepts, in the terms a validator knows.
//
// Where JSON Schema cannot say what the reader checks, the schema lets the
// document through and the reader refuses it; the schema never refuses a
// document the reader accepts. The three cases:
//   - a char[N] text as a string: maxLength counts characters and the text
//     holds N - 1 bytes, so the schema allows N - 1 characters, which is
//     exact for ASCII; a shorter text of longer UTF-8 characters may still
//     be too long (its hex form is counted exactly);
//   - an integer written as 1.0 or 1e3, which JSON Schema counts as an
//     integer and the reader does not;
//   - a map key given twice.
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "zr_byte_stream.h"
#include "zr_field_tree.h"
#include "zr_json.h"

namespace {

const char* const kDialect = "https://json-schema.org/draft/2020-12/schema";

// The blanks zrFromHex allows anywhere between the digits, and a digit.
const std::string kBlank = R"([ \t\n\r\f\v]*)";
const std::string kDigit = "[0-9A-Fa-f]";

ZrJson defRef(const std::string& name) { return {{"$ref", "#/$defs/" + name}}; }

template <class T>
ZrJson integer(const char* wireType) {
    return {{"description", wireType},
            {"type", "integer"},
            {"minimum", std::numeric_limits<T>::min()},
            {"maximum", std::numeric_limits<T>::max()}};
}

// {"hex": "FF 00"} of at most `pairs` bytes, any bytes or none of them NUL.
ZrJson hexText(const std::string& pairs, bool nul) {
    const std::string pair =
        nul ? kDigit + kBlank + kDigit : "(?:[1-9A-Fa-f]" + kBlank + kDigit + "|0" + kBlank + "[1-9A-Fa-f])";
    return {{"type", "object"},
            {"properties",
             {{"hex", {{"type", "string"}, {"pattern", "^" + kBlank + "(?:" + pair + kBlank + ")" + pairs + "$"}}}}},
            {"required", {"hex"}},
            {"additionalProperties", false}};
}

// The name in $defs of a char[size] text, added there on first use.
std::string charText(std::size_t size, ZrJson& defs) {
    const std::string name = "char" + std::to_string(size);
    if (!defs.contains(name)) {
        const std::size_t bytes = size - 1;
        const std::string limit = std::to_string(bytes);
        defs[name] = {{"description", "char[" + std::to_string(size) + "]: a text of at most " + limit +
                                          " bytes, no NUL; as a string, at most " + limit + " characters"},
                      {"anyOf",
                       {{{"type", "string"}, {"maxLength", bytes}, {"pattern", R"(^[^\u0000]*$)"}},
                        hexText("{0," + limit + "}", false)}}};
    }
    return name;
}

class SchemaWriter {
public:
    explicit SchemaWriter(ZrJson& defs) : m_defs(defs) {}

    // An object of the fields, every member optional and no other allowed.
    ZrJson object(const std::vector<ZrFieldNode>& fields) {
        ZrJson properties = ZrJson::object();
        for (const ZrFieldNode& field : fields) {
            if (field.wire != ZrWireType::Echo) properties[field.name] = value(field);
        }
        return {{"type", "object"}, {"properties", properties}, {"additionalProperties", false}};
    }

    ZrJson value(const ZrFieldNode& node) {
        switch (node.wire) {
            case ZrWireType::U8:
            case ZrWireType::U16:
            case ZrWireType::U32:
            case ZrWireType::I32:
            case ZrWireType::U64:
            case ZrWireType::I64:
                return defRef(zrWireTypeName(node));
            case ZrWireType::String:
                return defRef("text");
            case ZrWireType::Text:
            case ZrWireType::Echo:
                return defRef(charText(node.size, m_defs));
            case ZrWireType::Record:
                return object(node.children);
            case ZrWireType::List:
                return array(value(node.children.at(0)));
            case ZrWireType::Map: {
                ZrJson entry = object(node.children);
                entry["required"] = {"key"};
                return array(entry);
            }
        }
        return ZrJson::object();
    }

private:
    static ZrJson array(ZrJson items) {
        return {{"type", "array"}, {"maxItems", ZR_MAX_CONTAINER_COUNT}, {"items", std::move(items)}};
    }

    ZrJson& m_defs;
};

// The definitions every class refers to: the integers, texts and the head.
ZrJson commonDefs() {
    ZrJson defs = ZrJson::object();
    defs["u8"] = integer<std::uint8_t>("u8");
    defs["u16"] = integer<std::uint16_t>("u16");
    defs["u32"] = integer<std::uint32_t>("u32");
    defs["i32"] = integer<std::int32_t>("i32");
    defs["u64"] = integer<std::uint64_t>("u64");
    defs["i64"] = integer<std::int64_t>("i64: a u64 carrying a signed value");
    defs["text"] = {{"description", "a text of any bytes: a string when they are UTF-8, else {\"hex\": \"FF 00\"}"},
                    {"anyOf", {{{"type", "string"}}, hexText("*", true)}}};
    const ZrPacketClass& any = ZrCatalogue::classes().front();
    defs["head"] =
        SchemaWriter(defs).object(zrFieldTree([&](ZrFieldVisitor& v) { any.create()->head().visitHeadFields(v); }));
    return defs;
}

// The members that place a packet (zrPlacementMembers), in the order zrpkt
// writes them, each with what it says. encode passes them over whatever
// they hold, so the schema lets any value through.
const std::vector<std::pair<std::string, const char*>>& placementMembers() {
    static const std::vector<std::pair<std::string, const char*>> members = {
        {"file", "the input the packet was read from"},
        {"time", "capture time (UTC) of the packet's last byte"},
        {"frame", "frame number (from 1) of the packet's last byte"},
        {"connection", "index of the packet's TCP connection, from 0"},
        {"flow", "source and destination of the packet's TCP flow: {\"src\": ..., \"dst\": ...}"},
        {"offset", "where the packet starts in its input or flow"},
        {"request", "the request this reply answers: {\"offset\": ..., \"frame\": ..., \"time\": ...}"},
        {"latency", "seconds from the request to this reply"},
        {"secondReplyTo", "the request this packet answers a second time"},
    };
    return members;
}

// A packet of the class: named by "class", or, without it, by head.cmdID.
ZrJson classSchema(const ZrPacketClass& row, ZrJson& defs) {
    ZrJson properties = {{"$schema", {{"description", "where an editor finds this schema"}, {"type", "string"}}}};
    for (const auto& [name, description] : placementMembers()) {
        properties[name] = {{"description", std::string("placing the packet, passed over by encode: ") + description}};
    }
    properties["class"] = {{"const", row.className}};
    properties["head"] = defRef("head");
    properties["keyByte"] = defRef("u8");
    properties["body"] =
        SchemaWriter(defs).object(zrFieldTree([&](ZrFieldVisitor& v) { row.create()->visitFields(v); }));
    const ZrJson byCommand = {
        {"required", {"head"}},
        {"properties", {{"head", {{"required", {"cmdID"}}, {"properties", {{"cmdID", {{"const", row.cmdID}}}}}}}}}};
    const char* mode = row.mode == ZrBodyMode::Fixed ? "fixed" : row.mode == ZrBodyMode::None ? "no" : "compact";
    return {{"title", row.className},
            {"description", "command " + std::to_string(row.cmdID) + ", " + mode + " body, sent " +
                                (row.enciphered ? "enciphered" : "plain")},
            {"type", "object"},
            {"properties", properties},
            {"additionalProperties", false},
            {"anyOf", {{{"required", {"class"}}}, byCommand}}};
}

ZrJson document(const std::string& description, ZrJson defs) {
    return {{"$schema", kDialect},
            {"title", "zrpacket packet"},
            {"description", description + " as zrpkt and the zrpacket_json library write and read it"},
            {"$defs", std::move(defs)}};
}

}  // namespace

ZrJson zrJsonSchema() {
    // Each class's schema applies where "class" (or, without it, head.cmdID)
    // names that class, so that a validator's error names the field at fault
    // rather than saying the packet fits none of the classes.
    ZrJson defs = commonDefs();
    ZrJson names = ZrJson::array(), commands = ZrJson::array(), byClass = ZrJson::array();
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        ZrJson packet = classSchema(row, defs);  // adds the texts it uses to defs
        defs[row.className] = std::move(packet);
        names.push_back(row.className);
        commands.push_back(row.cmdID);
        byClass.push_back({{"if", {{"required", {"class"}}, {"properties", {{"class", {{"const", row.className}}}}}}},
                           {"then", defRef(row.className)}});
        byClass.push_back(
            {{"if",
              {{"not", {{"required", {"class"}}}},
               {"required", {"head"}},
               {"properties", {{"head", {{"required", {"cmdID"}}, {"properties", {{"cmdID", {{"const", row.cmdID}}}}}}}}}}},
             {"then", defRef(row.className)}});
    }
    ZrJson schema = document("A packet of any class", std::move(defs));
    schema["type"] = "object";
    schema["properties"] = {{"class", {{"enum", std::move(names)}}}};
    schema["if"] = {{"not", {{"required", {"class"}}}}};
    schema["then"] = {
        {"required", {"head"}},
        {"properties", {{"head", {{"required", {"cmdID"}}, {"properties", {{"cmdID", {{"enum", std::move(commands)}}}}}}}}}};
    schema["allOf"] = std::move(byClass);
    return schema;
}

ZrJson zrJsonSchema(const ZrPacketClass& row) {
    ZrJson defs = commonDefs();
    ZrJson packet = classSchema(row, defs);
    defs[row.className] = std::move(packet);
    ZrJson schema = document(std::string("A ") + row.className, std::move(defs));
    schema["$ref"] = "#/$defs/" + std::string(row.className);
    return schema;
}

const std::vector<std::string>& zrPlacementMembers() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const auto& member : placementMembers()) n.push_back(member.first);
        return n;
    }();
    return names;
}

// Generates the dissector. Each class's body is read into a field tree
// (zr_field_tree.h: every field's wire type and name, containers opened with
// one element so that their element is seen too), which then becomes one
// Lua parse function per class, written between the constants taken from
// the library and the Lua that does not depend on the classes (lua/*.lua:
// wire readers, packet framing, registration).
#include "dissector.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dissector_lua.h"
#include "packet_io.h"
#include "zr_byte_stream.h"
#include "zr_encrypt.h"
#include "zr_field_tree.h"
#include "zr_packet_head.h"

namespace zrpkt {

namespace {

// Each class's fields as the JSON library reads them into a tree.
using Wire = ZrWireType;
using Node = ZrFieldNode;

// A Lua string literal of any bytes.
std::string quote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\" + std::to_string(byte + 1000).substr(1);  // \ddd
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Every filter field name the dissector declares, each once. Names come from
// C++ identifiers, but a schema that broke Wireshark's rules would only
// show as a Lua error when the file is loaded, so they are checked here.
class FieldNames {
public:
    FieldNames() {
        for (const char* fixed :
             {"stx", "head", "class", "keyByte", "body", "cipher", "deciphered", "etx", "echo", "data", "request_in",
              "response_in", "time", "expert"}) {
            m_taken.insert(fixed);
        }
    }
    void claim(const std::string& key) {
        for (const char c : key) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                            c == '-' || c == '.';
            if (!ok) throw std::runtime_error("zrpacket." + key + " cannot be a Wireshark field name");
        }
        if (!m_taken.insert(key).second) {
            throw std::runtime_error("two fields would both be zrpacket." + key + " in the dissector");
        }
    }

private:
    std::set<std::string> m_taken;
};

class Generator {
public:
    explicit Generator(FieldNames& names) : m_names(names) {}

    // Declares a field: hf["key"] = ProtoField.<type>("zrpacket.key", label, ...).
    void declare(const std::string& key, const char* type, const std::string& label, const char* display = "") {
        m_names.claim(key);
        m_fields << "hf[" << quote(key) << "] = ProtoField." << type << "(" << quote("zrpacket." + key) << ", "
                 << quote(label) << display << ")\n";
    }

    // The Lua statement that reads `node`, whose filter name is `key` and
    // whose tree label is `label`, at `indent`; `index` is the Lua expression
    // of its place in a container, or nil.
    void read(const Node& node, const std::string& key, const std::string& label, int indent,
              const std::string& index) {
        const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
        const std::string hf = "hf[" + quote(key) + "]";
        auto fixed = [&](const char* type, int bytes) {
            declare(key, type, label, ", base.DEC");
            m_code << pad << "r:fixed(t, " << hf << ", " << bytes << ", " << index << ")\n";
        };
        switch (node.wire) {
            case Wire::U8:
                return fixed("uint8", 1);
            case Wire::U16:
                return fixed("uint16", 2);
            case Wire::U64:
                return fixed("uint64", 8);
            case Wire::I64:
                return fixed("int64", 8);
            case Wire::U32:
            case Wire::I32:
                declare(key, node.wire == Wire::U32 ? "uint32" : "int32", label, ", base.DEC");
                m_code << pad << (node.wire == Wire::U32 ? "r:u32(t, " : "r:i32(t, ") << hf << ", " << index << ")\n";
                return;
            case Wire::String:
                declare(key, "string", label, ", base.UNICODE");
                m_code << pad << "r:string(t, " << hf << ", " << index << ")\n";
                return;
            case Wire::Text:
                declare(key, "string", label, ", base.UNICODE");
                m_code << pad << "r:text(t, " << hf << ", " << node.size << ", " << index << ")\n";
                return;
            case Wire::Echo:
                m_code << pad << "r:echo(t, " << quote(node.name) << ", " << node.size << ")\n";
                return;
            case Wire::Record:
                declare(key, "none", label);
                m_code << pad << "r:record(t, " << hf << ", " << index << ", function(t)\n";
                // A record in a list names its fields after the list, not after ".item".
                for (const Node& field : node.children) {
                    read(field, childKey(node, key) + "." + field.name, field.name, indent + 1, "nil");
                }
                m_code << pad << "end)\n";
                return;
            case Wire::List:
            case Wire::Map:
                return container(node, key, label, indent, index);
        }
    }

    std::string fields() const { return m_fields.str(); }
    std::string code() const { return m_code.str(); }

private:
    static std::string childKey(const Node& record, const std::string& key) {
        return record.name.empty() ? key.substr(0, key.rfind('.')) : key;
    }

    // Count, then each element: a list's element is "<list>.item"; a map's
    // entry is a record "<map>.entry" of its "<map>.key" and "<map>.value".
    void container(const Node& node, const std::string& key, const std::string& label, int indent,
                   const std::string& index) {
        const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
        const std::string element = "i" + std::to_string(indent);
        declare(key, "uint32", label, ", base.DEC");
        m_code << pad << "r:list(t, hf[" << quote(key) << "], " << index << ", function(t, " << element << ")\n";
        if (node.wire == Wire::List) {
            read(node.children.at(0), key + ".item", label, indent + 1, element);
        } else {
            declare(key + ".entry", "none", label);
            m_code << pad << "    r:record(t, hf[" << quote(key + ".entry") << "], " << element << ", function(t)\n";
            for (const Node& part : node.children) read(part, key + "." + part.name, part.name, indent + 2, "nil");
            m_code << pad << "    end)\n";
        }
        m_code << pad << "end)\n";
    }

    FieldNames& m_names;
    std::ostringstream m_fields;
    std::ostringstream m_code;
};

const char* luaType(Wire wire) {
    switch (wire) {
        case Wire::U8:
            return "uint8";
        case Wire::U16:
            return "uint16";
        default:
            return "uint32";
    }
}
std::size_t wireSize(Wire wire) { return wire == Wire::U8 ? 1 : wire == Wire::U16 ? 2 : 4; }

}  // namespace

const char* const kNoCodecText =
    "codec module not found: enciphered bodies are not deciphered, and packets are framed by the dissector's own "
    "rule (zrpacket_codec.so goes on LUA_CPATH or beside zrpacket.lua)";

std::string dissectorLua(const std::vector<ZrPacketClass>& classes) {
    std::ostringstream lua;
    lua << "-- zrpacket.lua: Wireshark dissector for the packets of the zrpacket library,\n"
           "-- generated by `zrpkt dissector` from its catalogue of "
        << classes.size()
        << " classes; regenerate it\n"
           "-- rather than edit it.\n"
           "--\n"
           "-- Load it with `tshark -X lua_script:zrpacket.lua`, or copy it into\n"
           "-- ~/.local/lib/wireshark/plugins/. It claims TCP port "
        << kDissectorPort
        << " (preference zrpacket.tcp_port)\n"
           "-- and recognises packets on other TCP ports by their start byte and command.\n"
           "-- Enciphered bodies show deciphered when the codec module zrpacket_codec.so\n"
           "-- is on LUA_CPATH or beside this file.\n\n";
    lua << "local STX, ETX = " << static_cast<int>(_STX_) << ", " << static_cast<int>(_ETX_) << "\n"
        << "local HEAD_LEN = " << PKT_HEAD_FIXED_LEN << "\n"
        << "local OFFSET_CMDID, OFFSET_SN, OFFSET_ENCRYPT_TYPE = " << PKT_OFFSET_CMDID << ", " << PKT_OFFSET_SN << ", "
        << PKT_OFFSET_ENCRYPT_TYPE << "\n"
        << "local MAX_COUNT = " << ZR_MAX_CONTAINER_COUNT << "\n"
        << "local MAX_VARIANT = " << ZR_ENCRYPT_TYPE_MAX << "\n"
        << "local STX_BYTE, ETX_BYTE = string.char(STX), string.char(ETX)\n"
        << "-- The longest enciphered packet: the codec's output fills at most the cipher half.\n"
        << "local MAX_ENCIPHERED = " << PKT_ENVELOPE_MIN_LEN + PKT_SCRATCH_HALF_LEN << "\n"
        << "-- A packet that claims more than this is taken for garbage, not reassembled.\n"
        << "local MAX_PACKET = " << kMaxReassembledPacket << "\n"
        << "-- The first bytes handed to the codec module to measure a packet.\n"
        << "local FIRST_WINDOW = " << kFirstMeasureWindow << "\n"
        << "local NO_CODEC = " << quote(kNoCodecText) << "\n"
        << "-- The most one TCP segment carries.\n"
        << "local MAX_SEGMENT = 65535\n"
        << "local DEFAULT_PORT = " << kDissectorPort << "\n";
    lua << "\n" << lua::kReaders;

    FieldNames names;
    std::set<unsigned int> seen;
    std::ostringstream commands;
    std::ostringstream table;
    for (const ZrPacketClass& row : classes) {
        names.claim(row.className);  // a name Wireshark takes, and one class of each name
        if (!seen.insert(row.cmdID).second) {
            throw std::runtime_error("two classes have the command " + std::to_string(row.cmdID));
        }
        commands << "    [" << row.cmdID << "] = " << quote(row.className) << ",\n";
        table << "    -- " << row.className << ": command " << row.cmdID << ", "
              << (row.mode == ZrBodyMode::Fixed  ? "fixed-mode body"
                  : row.mode == ZrBodyMode::None ? "no body"
                                                 : "compact body")
              << (row.enciphered ? ", enciphered by default" : "") << "\n"
              << "    [" << row.cmdID << "] = {name = " << quote(row.className)
              << ", compact = " << (row.mode == ZrBodyMode::Compact ? "true" : "false");
        if (row.mode != ZrBodyMode::None) {
            const std::vector<Node> body = zrFieldTree([&](ZrFieldVisitor& v) { row.create()->visitFields(v); });
            Generator fields(names);
            for (const Node& node : body) {
                fields.read(node, std::string(row.className) + "." + node.name, node.name, 2, "nil");
            }
            table << ", body = function(r, t)\n" << fields.code() << "    end";
            lua << fields.fields();
        }
        table << "},\n";
    }

    // The head, from its own field list: offsets follow from the wire sizes.
    const std::vector<Node> head =
        zrFieldTree([](ZrFieldVisitor& v) { ZrCatalogue::classes().front().create()->head().visitHeadFields(v); });
    Generator headFields(names);
    std::ostringstream layout;
    std::size_t offset = 1;  // after the STX
    for (const Node& node : head) {
        const char* values = offset == PKT_OFFSET_CMDID          ? ", base.DEC, COMMANDS"
                             : offset == PKT_OFFSET_ENCRYPT_TYPE ? ", base.DEC, VARIANTS"
                                                                 : ", base.DEC";
        headFields.declare("head." + node.name, luaType(node.wire), node.name, values);
        layout << "    {hf[" << quote("head." + node.name) << "], " << offset << ", " << wireSize(node.wire) << "},\n";
        offset += wireSize(node.wire);
    }
    if (offset != PKT_HEAD_FIXED_LEN) throw std::runtime_error("the head's field list does not fill its 33 bytes");

    lua << "\nlocal COMMANDS = {\n" << commands.str() << "}\n" << headFields.fields();
    lua << "\n-- The head after its STX: field, offset, size.\nlocal HEAD = {\n" << layout.str() << "}\n";
    lua << "\n-- Each class by its command, with its body's parse function.\nlocal classes = {\n"
        << table.str() << "}\n";
    lua << "\n" << lua::kDissection;
    return lua.str();
}

}  // namespace zrpkt

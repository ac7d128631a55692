// Packets to JSON and back through two field visitors: a writer that builds
// the JSON of each field it is shown, and a reader that assigns each field
// from the JSON and reports what it cannot use. Both keep a stack of the
// objects and arrays they are in, so neither needs to know a packet's class.
#include "zr_json.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "zr_byte_stream.h"

namespace {

ZrJsonError error(const std::string& path, const std::string& what) {
    return ZrJsonError(path.empty() ? what : path + ": " + what);
}

std::string join(const std::string& path, const char* name) { return path.empty() ? name : path + "." + name; }

// A JSON value as an error text names it: numbers and literals as written,
// everything else by kind.
std::string describe(const ZrJson& j) {
    switch (j.type()) {
        case ZrJson::value_t::string:
            return "a string";
        case ZrJson::value_t::object:
            return "an object";
        case ZrJson::value_t::array:
            return "an array";
        default:
            return j.dump();
    }
}

// Well-formed UTF-8 as RFC 3629 has it: no overlong forms, no surrogates,
// nothing above U+10FFFF. The JSON library writes and reads exactly these.
bool isUtf8(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;   // overlong below U+0800
            if (c == 0xED) high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;   // overlong below U+10000
            if (c == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < length || s[i + 1] < low || s[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

ZrJson textToJson(const char* data, std::size_t length) {
    if (isUtf8(reinterpret_cast<const unsigned char*>(data), length)) return std::string(data, length);
    ZrJson hex = ZrJson::object();
    hex["hex"] = zrToHex(data, length);
    return hex;
}

std::string textFromJson(const ZrJson& j, const std::string& path) {
    if (j.is_string()) return j.get<std::string>();
    if (j.is_object() && j.size() == 1 && j.contains("hex") && j["hex"].is_string()) {
        std::string bytes;
        if (!zrFromHex(j["hex"].get<std::string>(), bytes)) {
            throw error(join(path, "hex"), "not hex: expected pairs of hex digits such as \"FF 00 7C\"");
        }
        return bytes;
    }
    throw error(path, "expected a text (a string, or {\"hex\": \"FF 00\"}), got " + describe(j));
}

template <class T>
T integerFromJson(const ZrJson& j, const std::string& path, const char* wireType) {
    using Limits = std::numeric_limits<T>;
    if (!j.is_number_integer()) {
        throw error(path, std::string("expected an integer (") + wireType + "), got " + describe(j));
    }
    bool fits = false;
    if (j.is_number_unsigned()) {
        fits = j.get<std::uint64_t>() <= static_cast<std::uint64_t>(Limits::max());
    } else {
        const auto v = j.get<std::int64_t>();
        fits = v < 0 ? Limits::is_signed && v >= static_cast<std::int64_t>(Limits::min())
                     : static_cast<std::uint64_t>(v) <= static_cast<std::uint64_t>(Limits::max());
    }
    if (!fits) {
        throw error(path, j.dump() + " is out of range for " + wireType + " (" + std::to_string(Limits::min()) +
                              " to " + std::to_string(Limits::max()) + ")");
    }
    return j.get<T>();
}

// What a stack entry of either visitor stands for: an object of named
// members (a record, the head or body), a map entry, an array (a list or a
// map), or one list element.
enum class Kind : unsigned char { Object, Entry, List, Map, Element };

class JsonWriter final : public ZrFieldVisitor {
public:
    explicit JsonWriter(ZrJson& root) { m_stack.push_back({&root, Kind::Object}); }

    void field(const char* name, unsigned char& v) override { put(name, v); }
    void field(const char* name, unsigned short& v) override { put(name, v); }
    void field(const char* name, unsigned int& v) override { put(name, v); }
    void field(const char* name, int& v) override { put(name, v); }
    void field(const char* name, std::uint64_t& v) override { put(name, v); }
    void field(const char* name, std::int64_t& v) override { put(name, v); }
    void field(const char* name, std::string& v) override { put(name, textToJson(v.data(), v.size())); }
    // As the wire has it: the text before its NUL, at most size - 1 bytes.
    void text(const char* name, char* text, std::size_t size) override {
        put(name, textToJson(text, strnlen(text, size - 1)));
    }

    std::size_t beginList(const char* name, std::size_t count) override {
        open(name, ZrJson::array(), Kind::List);
        return count;
    }
    void endList() override { m_stack.pop_back(); }
    std::size_t beginMap(const char* name, std::size_t count) override {
        open(name, ZrJson::array(), Kind::Map);
        return count;
    }
    void endMap() override { m_stack.pop_back(); }
    // A map entry is an object of its key and value; a list element is
    // added by its own field call.
    void beginElement(std::size_t) override {
        if (m_stack.back().kind == Kind::Map) open(nullptr, ZrJson::object(), Kind::Element);
    }
    void endElement() override {
        if (m_stack.back().kind == Kind::Element) m_stack.pop_back();
    }
    void beginRecord(const char* name) override { open(name, ZrJson::object(), Kind::Object); }
    void endRecord() override { m_stack.pop_back(); }

private:
    struct Frame {
        ZrJson* node;
        Kind kind;
    };

    // Appended to an array, or added to an object under its name. Only the
    // innermost open value grows, so the pointers on the stack stay valid.
    ZrJson* put(const char* name, ZrJson value) {
        ZrJson& parent = *m_stack.back().node;
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        ZrJson& member = parent[name];
        member = std::move(value);
        return &member;
    }
    void open(const char* name, ZrJson value, Kind kind) { m_stack.push_back({put(name, std::move(value)), kind}); }

    std::vector<Frame> m_stack;
};

// The same JSON as JsonWriter's tree dumped compactly, written as text
// straight from the fields: no tree is built, for tools that print many
// packets. Texts are escaped as the JSON library escapes them.
class JsonTextWriter final : public ZrFieldVisitor {
public:
    explicit JsonTextWriter(std::string& out) : m_out(out) {}

    void field(const char* name, unsigned char& v) override { number(name, v); }
    void field(const char* name, unsigned short& v) override { number(name, v); }
    void field(const char* name, unsigned int& v) override { number(name, v); }
    void field(const char* name, int& v) override { number(name, v); }
    void field(const char* name, std::uint64_t& v) override { number(name, v); }
    void field(const char* name, std::int64_t& v) override { number(name, v); }
    void field(const char* name, std::string& v) override { string(name, v.data(), v.size()); }
    void text(const char* name, char* text, std::size_t size) override {
        string(name, text, strnlen(text, size - 1));
    }

    std::size_t beginList(const char* name, std::size_t count) override {
        open(name, '[', Kind::List);
        return count;
    }
    void endList() override { close(']'); }
    std::size_t beginMap(const char* name, std::size_t count) override {
        open(name, '[', Kind::Map);
        return count;
    }
    void endMap() override { close(']'); }
    void beginElement(std::size_t) override {
        if (m_stack.back() == Kind::Map) open(nullptr, '{', Kind::Element);
    }
    void endElement() override {
        if (m_stack.back() == Kind::Element) close('}');
    }
    void beginRecord(const char* name) override { open(name, '{', Kind::Object); }
    void endRecord() override { close('}'); }

    // An object of the fields `visit` shows.
    void object(const ZrFieldList& visit) {
        m_out += '{';
        m_stack.push_back(Kind::Object);
        m_first = true;
        visit(*this);
        close('}');
    }
    // A member of the object being written.
    void member(const char* name) { key(name); }

private:
    // The separator and, inside an object, the member's name.
    void key(const char* name) {
        if (!m_first) m_out += ',';
        m_first = false;
        const Kind kind = m_stack.empty() ? Kind::Object : m_stack.back();
        if (kind == Kind::List || kind == Kind::Map || name == nullptr) return;
        m_out += '"';
        m_out += name;
        m_out += "\":";
    }
    template <class T>
    void number(const char* name, T v) {
        key(name);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        m_out.append(digits, end);
    }
    void string(const char* name, const char* data, std::size_t length) {
        key(name);
        if (!isUtf8(reinterpret_cast<const unsigned char*>(data), length)) {
            m_out += "{\"hex\":\"" + zrToHex(data, length) + "\"}";
            return;
        }
        m_out += '"';
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(data[i]);
            switch (c) {
                case '"': m_out += "\\\""; break;
                case '\\': m_out += "\\\\"; break;
                case '\b': m_out += "\\b"; break;
                case '\f': m_out += "\\f"; break;
                case '\n': m_out += "\\n"; break;
                case '\r': m_out += "\\r"; break;
                case '\t': m_out += "\\t"; break;
                default:
                    if (c < 0x20) {
                        char escape[8];
                        std::snprintf(escape, sizeof escape, "\\u%04x", c);
                        m_out += escape;
                    } else {
                        m_out += static_cast<char>(c);
                    }
            }
        }
        m_out += '"';
    }
    void open(const char* name, char bracket, Kind kind) {
        key(name);
        m_out += bracket;
        m_stack.push_back(kind);
        m_first = true;
    }
    void close(char bracket) {
        m_out += bracket;
        m_stack.pop_back();
        m_first = false;
    }

    std::string& m_out;
    std::vector<Kind> m_stack;
    bool m_first = true;  // nothing written yet in the innermost open value
};

// "; did you mean Request?" for a member `name` that no field has, when a
// field of that place is spelt nearly so: the same letters in another case,
// or at most two edits (one in a short name) away.
std::string nearest(const std::string& name, const std::vector<std::string>& fields) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string want = lower(name);
    const std::string* best = nullptr;
    std::size_t bestDistance = want.size() <= 4 ? 2 : 3;  // what is still taken for a slip
    for (const std::string& field : fields) {
        // Levenshtein distance, one row at a time.
        const std::string have = lower(field);
        std::vector<std::size_t> row(have.size() + 1);
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
        for (std::size_t i = 1; i <= want.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= have.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (want[i - 1] != have[j - 1])});
                diagonal = above;
            }
        }
        if (row.back() < bestDistance) {
            best = &field;
            bestDistance = row.back();
        }
    }
    return best == nullptr ? std::string() : "; did you mean " + *best + "?";
}

class JsonReader final : public ZrFieldVisitor {
public:
    JsonReader(const ZrJson& root, const std::string& path) { m_stack.push_back({&root, path, Kind::Object, {}}); }

    void field(const char* name, unsigned char& v) override { number(name, v, "u8"); }
    void field(const char* name, unsigned short& v) override { number(name, v, "u16"); }
    void field(const char* name, unsigned int& v) override { number(name, v, "u32"); }
    void field(const char* name, int& v) override { number(name, v, "i32"); }
    void field(const char* name, std::uint64_t& v) override { number(name, v, "u64"); }
    void field(const char* name, std::int64_t& v) override { number(name, v, "i64"); }
    void field(const char* name, std::string& v) override {
        std::string path;
        if (const ZrJson* j = take(name, path)) v = textFromJson(*j, path);
    }
    void text(const char* name, char* text, std::size_t size) override {
        std::string path;
        const ZrJson* j = take(name, path);
        if (j == nullptr) return;
        const std::string bytes = textFromJson(*j, path);
        if (bytes.size() > size - 1) {
            throw error(path, std::to_string(bytes.size()) + " bytes, more than the " + std::to_string(size - 1) +
                                  " this text holds");
        }
        if (bytes.find('\0') != std::string::npos) throw error(path, "a NUL byte, which this text cannot hold");
        std::memset(text, 0, size);
        std::memcpy(text, bytes.data(), bytes.size());
    }

    std::size_t beginList(const char* name, std::size_t count) override { return openArray(name, count, Kind::List); }
    void endList() override { m_stack.pop_back(); }
    std::size_t beginMap(const char* name, std::size_t count) override { return openArray(name, count, Kind::Map); }
    void endMap() override { m_stack.pop_back(); }
    void beginElement(std::size_t index) override {
        const Frame& array = m_stack.back();
        const ZrJson* element = array.node ? &(*array.node)[index] : nullptr;
        const std::string path = array.path + "[" + std::to_string(index) + "]";
        if (array.kind == Kind::Map) {
            if (element && !element->is_object()) {
                throw error(path, "expected an entry {\"key\": ..., \"value\": ...}, got " + describe(*element));
            }
            m_stack.push_back({element, path, Kind::Entry, {}});
        } else {
            m_stack.push_back({element, path, Kind::Element, {}});
        }
    }
    void endElement() override { close(); }
    void beginRecord(const char* name) override {
        std::string path;
        const ZrJson* j = take(name, path);
        if (j && !j->is_object()) throw error(path, "expected an object, got " + describe(*j));
        m_stack.push_back({j, path, Kind::Object, {}});
    }
    void endRecord() override { close(); }

    // A member read by other means than a field.
    void skip(const char* name) { m_stack.back().seen.emplace_back(name); }
    // Reports a member of the outermost object that no field asked for.
    void finish() { close(); }

private:
    // node is null where the JSON leaves the value out: its fields then keep
    // their defaults. `seen` lists the members of an object read so far; on
    // a map, the keys of its entries so far, as JSON text.
    struct Frame {
        const ZrJson* node;
        std::string path;
        Kind kind;
        std::vector<std::string> seen;
    };

    // The JSON value of the field `name` of the innermost object, or the
    // element itself for a field without a name; null when left out.
    const ZrJson* take(const char* name, std::string& path) {
        Frame& top = m_stack.back();
        if (name == nullptr) {
            path = top.path;
            return top.node;
        }
        path = join(top.path, name);
        top.seen.emplace_back(name);
        if (top.node == nullptr) return nullptr;
        const auto it = top.node->find(name);
        const ZrJson* j = it == top.node->end() ? nullptr : &*it;
        if (top.kind == Kind::Entry && std::strcmp(name, "key") == 0) checkKey(j, path);
        return j;
    }

    // A map on the wire holds each key once, so an entry without its key, or
    // with a key an earlier entry gave, has no one packet to stand for. The
    // first entry with a key is read (and type-checked) before any repeat of
    // it is met, so a repeat is always a valid key.
    void checkKey(const ZrJson* key, const std::string& path) {
        if (key == nullptr) throw error(path, "missing: every map entry gives its key");
        std::vector<std::string>& keys = m_stack[m_stack.size() - 2].seen;
        std::string text = key->dump();
        for (const std::string& earlier : keys) {
            if (earlier == text) throw error(path, text + " given twice");
        }
        keys.push_back(std::move(text));
    }

    template <class T>
    void number(const char* name, T& v, const char* wireType) {
        std::string path;
        if (const ZrJson* j = take(name, path)) v = integerFromJson<T>(*j, path, wireType);
    }

    std::size_t openArray(const char* name, std::size_t count, Kind kind) {
        std::string path;
        const ZrJson* j = take(name, path);
        if (j != nullptr) {
            if (!j->is_array()) throw error(path, "expected an array, got " + describe(*j));
            // More would encode, but no receiver would decode it.
            if (j->size() > ZR_MAX_CONTAINER_COUNT) {
                throw error(path, std::to_string(j->size()) + " elements, more than the " +
                                      std::to_string(ZR_MAX_CONTAINER_COUNT) + " a receiver accepts");
            }
            count = j->size();
        }
        m_stack.push_back({j, path, kind, {}});
        return count;
    }

    void close() {
        const Frame& top = m_stack.back();
        if ((top.kind == Kind::Object || top.kind == Kind::Entry) && top.node != nullptr) {
            for (const auto& member : top.node->items()) {
                bool known = false;
                for (const std::string& name : top.seen) known = known || name == member.key();
                if (!known) {
                    const std::string hint = nearest(member.key(), top.seen);
                    throw error(join(top.path, member.key().c_str()), "unknown field" + hint);
                }
            }
        }
        m_stack.pop_back();
    }

    std::vector<Frame> m_stack;
};

const ZrPacketClass& classOf(const ZrJson& json) {
    if (const auto it = json.find("class"); it != json.end()) {
        if (!it->is_string()) throw error("class", "expected a class name, got " + describe(*it));
        const std::string name = it->get<std::string>();
        if (const ZrPacketClass* row = ZrCatalogue::find(name)) return *row;
        throw error("class", "no packet class is named \"" + name + "\"");
    }
    const auto head = json.find("head");
    if (head != json.end() && head->is_object() && head->contains("cmdID")) {
        const auto cmdID = integerFromJson<unsigned int>((*head)["cmdID"], "head.cmdID", "u32");
        if (const ZrPacketClass* row = ZrCatalogue::find(cmdID)) return *row;
        throw error("head.cmdID", "no packet class has the command " + std::to_string(cmdID) + "; give \"class\"");
    }
    throw error("class", "missing: name the packet's class, or give head.cmdID");
}

}  // namespace

ZrJson zrFieldsToJson(const ZrFieldList& visit) {
    ZrJson object = ZrJson::object();
    JsonWriter writer(object);
    visit(writer);
    return object;
}

void zrFieldsFromJson(const ZrJson& object, const std::string& path, const ZrFieldList& visit) {
    if (!object.is_object()) throw error(path, "expected an object, got " + describe(object));
    JsonReader reader(object, path);
    visit(reader);
    reader.finish();
}

ZrJson zrPacketToJson(ZrAnyPacket& packet) {
    ZrJson json = ZrJson::object();
    json["class"] = packet.packetClass().className;
    json["head"] = zrFieldsToJson([&](ZrFieldVisitor& v) { packet.head().visitHeadFields(v); });
    if (packet.packetClass().mode != ZrBodyMode::None) {  // the keep-alive has neither
        json["keyByte"] = packet.head().getKeyByte();
        json["body"] = zrFieldsToJson([&](ZrFieldVisitor& v) { packet.visitFields(v); });
    }
    return json;
}

void zrAppendPacketJson(ZrAnyPacket& packet, std::string& out, const std::string& leadingMembers) {
    JsonTextWriter writer(out);
    writer.object([&](ZrFieldVisitor&) {
        out += leadingMembers;
        writer.member("class");
        out += '"';
        out += packet.packetClass().className;
        out += '"';
        writer.member("head");
        writer.object([&](ZrFieldVisitor& v) { packet.head().visitHeadFields(v); });
        if (packet.packetClass().mode != ZrBodyMode::None) {  // the keep-alive has neither
            unsigned char keyByte = packet.head().getKeyByte();
            writer.field("keyByte", keyByte);
            writer.member("body");
            writer.object([&](ZrFieldVisitor& v) { packet.visitFields(v); });
        }
    });
}

void zrAppendFieldsJson(const ZrFieldList& visit, std::string& out) { JsonTextWriter(out).object(visit); }

std::unique_ptr<ZrAnyPacket> zrPacketFromJson(const ZrJson& json) {
    if (!json.is_object()) throw ZrJsonError("a packet is a JSON object, got " + describe(json));
    std::unique_ptr<ZrAnyPacket> packet = classOf(json).create();
    JsonReader reader(json, "");
    reader.skip("class");
    // Where an editor finds the JSON Schema of the document; not a field.
    if (const auto it = json.find("$schema"); it != json.end() && !it->is_string()) {
        throw error("$schema", "expected the JSON Schema's URI or path, got " + describe(*it));
    }
    reader.skip("$schema");
    reader.beginRecord("head");
    packet->head().visitHeadFields(reader);
    reader.endRecord();
    unsigned char keyByte = packet->head().getKeyByte();
    reader.field("keyByte", keyByte);
    packet->head().setKeyByte(keyByte);
    reader.beginRecord("body");
    packet->visitFields(reader);
    reader.endRecord();
    reader.finish();
    return packet;
}

ZrJson zrPacketTemplate(const ZrPacketClass& row) { return zrPacketToJson(*row.create()); }

std::string zrToHex(const void* data, std::size_t length, std::size_t perLine) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) out += perLine != 0 && i % perLine == 0 ? '\n' : ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

bool zrFromHex(const std::string& text, std::string& bytes) {
    bytes.clear();
    int high = -1;  // the first digit of a pair, once seen
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) {
            if (std::strchr(" \t\r\n\f\v", c) == nullptr || c == '\0') return false;
            continue;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>(high << 4 | digit);
            high = -1;
        }
    }
    return high < 0;
}

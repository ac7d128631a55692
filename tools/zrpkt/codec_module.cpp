// zrpacket_codec: the Lua 5.2 module through which the generated Wireshark
// dissector deciphers bodies. Wireshark embeds Lua and provides its symbols,
// so the module is built against the Lua headers only and links the codec
// (and the library's wrapper around it), nothing of Lua itself.
//
//   local codec = require("zrpacket_codec")
//   local body, why = codec.decipher(keyByte, encryptType, cipher)
//   local status, value = codec.measure(bytes, ended)
//   local fields, status, value, at = codec.walk(className, body)
//
// decipher returns the deciphered bytes as a string, or nil and the reason
// the codec gave none. measure frames a packet by the library's own rule
// (ZrPacketMeter: the shortest prefix of the bytes that its class's deCode
// accepts, at most the library's default longest packet): "complete" and
// the packet's length, "incomplete" and at least how many more bytes it
// needs, or "not" and why the bytes start no packet; `ended`: no more bytes
// will come.
//
// walk reads a body (plain, or as decipher returns it) as the library reads
// it: the class's named field list run on a new object of the class, each
// field read by the library's byte stream in the class's mode. `fields`
// holds one {kind, offset, length, value} a field in wire order, offsets
// from the body's first byte: kind u8, u16, u32, i32, u64 or i64 (value: the
// number, none for the 64-bit kinds, which a Lua number cannot hold);
// string, text (char[N]) or echo (offset and length: the text's bytes after
// its length, no value); count, before a list's elements or a map's entries
// (value: how many); record, where a record's fields, or a map entry's key
// and value, begin (length 0). The walk stops at the first field the
// library refuses; status says how it ended: "whole" and where the fields
// end (the bytes may go on after them), "need" and at least how many more
// bytes the body needs, or "fault" and why no receiver accepts it (offsets
// in that text as in the packet with the body sent plain); `at` is where
// the walk ended. A class the library does not know gives nil and why.
//
// Arguments of the wrong type or range raise an error.
#include <lua.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_encrypt.h"
#include "zr_named_fields.h"
#include "zr_packet_head.h"
#include "zr_stream_splitter.h"

namespace {

ZrPacketMeter& meter() {
    static ZrPacketMeter one;  // holds a 30 KB deciphering area: one for the module
    return one;
}

// nil below the reason on top of the stack: decipher's two results.
int refused(lua_State* L) {
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
}

// No C++ object with a destructor lives here: a Lua error unwinds by longjmp.
int decipher(lua_State* L) {
    const lua_Integer key = luaL_checkinteger(L, 1);
    const lua_Integer variant = luaL_checkinteger(L, 2);
    std::size_t length = 0;
    const char* cipher = luaL_checklstring(L, 3, &length);
    luaL_argcheck(L, key >= 0 && key <= 255, 1, "a key byte is 0 to 255");
    // A number outside a signed byte is no variant either.
    const char type = variant >= -128 && variant <= 127 ? static_cast<char>(variant) : char{0};
    switch (ZRIEncrypt::decipherFault(type, length)) {
        case ZrCipherFault::Variant:
            lua_pushfstring(L, "encryptType %d is no variant of the codec (%d to %d)", static_cast<int>(variant),
                            ZR_ENCRYPT_TYPE_MIN, ZR_ENCRYPT_TYPE_MAX);
            return refused(L);
        case ZrCipherFault::Length:
            lua_pushfstring(L, "a cipher of %d bytes, more than the codec's %d", static_cast<int>(length),
                            static_cast<int>(PKT_SCRATCH_HALF_LEN));
            return refused(L);
        case ZrCipherFault::None:
            break;
    }
    luaL_Buffer out;
    char* body = luaL_buffinitsize(L, &out, PKT_SCRATCH_HALF_LEN);
    unsigned int written = 0;
    if (ZRIEncrypt::decryptProtocolEx(cipher, static_cast<unsigned int>(length), body, written,
                                      static_cast<unsigned char>(key), type) != 0) {
        lua_pushfstring(L, "the codec refuses the cipher under variant %d", static_cast<int>(variant));
        return refused(L);
    }
    luaL_pushresultsize(&out, written);
    return 1;
}

// What measure found, in a form that needs no destructor.
struct Measured {
    const char* status;  // "complete", "incomplete" or "not"
    std::size_t value;   // complete: the length; incomplete: the bytes still missing
    char why[256];       // not: why, cut to fit
};

Measured measureBytes(const char* bytes, std::size_t size, bool ended) {
    ZrMeasureState state;
    const ZrFrame frame = meter().measure(bytes, size, state, ended);
    Measured m{"complete", frame.packetLength, ""};
    if (frame.incomplete()) {
        m = {"incomplete", frame.needed > size ? frame.needed - size : 1, ""};
    } else if (frame.notAPacket()) {
        m.status = "not";
        const std::string why = frame.why().empty() ? "no packet starts here" : frame.why();
        std::strncpy(m.why, why.c_str(), sizeof m.why - 1);
        m.why[sizeof m.why - 1] = '\0';
    }
    return m;
}

// No C++ object with a destructor lives here either.
int measure(lua_State* L) {
    std::size_t size = 0;
    const char* bytes = luaL_checklstring(L, 1, &size);
    const bool ended = lua_toboolean(L, 2) != 0;
    const Measured m = measureBytes(bytes, size, ended);
    lua_pushstring(L, m.status);
    if (m.why[0] != '\0') {
        lua_pushstring(L, m.why);
    } else {
        lua_pushinteger(L, static_cast<lua_Integer>(m.value));
    }
    return 2;
}

// One field as the walk found it.
struct WalkedField {
    const char* kind;
    std::size_t offset, length;
    bool hasValue;
    std::int64_t value;
};

// The fields of a body, read by the library's stream as the class's field
// list asks for them; stops for good at the first field the stream refuses.
class BodyWalk final : public ZrFieldVisitor {
public:
    BodyWalk(const char* body, std::size_t size, ZrBodyMode mode, std::vector<WalkedField>& fields)
        : m_size(size), m_fields(fields) {
        m_stream.setSerializing(false);
        m_stream.setCompact(mode == ZrBodyMode::Compact);
        m_stream.attachForReading(body, static_cast<std::uint32_t>(size));
    }
    bool stopped() const { return m_stopped; }
    // Where the walk is, or where the field it stopped at begins.
    std::size_t at() const { return m_stopped ? m_stopAt : here(); }

    void field(const char*, unsigned char& v) override { number("u8", v); }
    void field(const char*, unsigned short& v) override { number("u16", v); }
    void field(const char*, unsigned int& v) override { number("u32", v); }
    void field(const char*, int& v) override { number("i32", v); }
    void field(const char*, std::uint64_t& v) override { number("u64", v, false); }
    void field(const char*, std::int64_t& v) override { number("i64", v, false); }
    void field(const char*, std::string& v) override {
        bytes("string", [&] { m_stream.transfer(v); });
    }
    void text(const char*, char* text, std::size_t size) override {
        bytes("text", [&] { m_stream.transferText(text, static_cast<std::uint32_t>(size)); });
    }
    // The echo is read by the char[size] rules into a text of its own.
    void echo(const char*, const char*, std::size_t size) override {
        m_echo.assign(size, '\0');
        bytes("echo", [&] { m_stream.transfer(ZrTextEcho{m_echo.data(), static_cast<std::uint32_t>(size)}); });
    }
    std::size_t beginList(const char*, std::size_t) override {
        m_inMap.push_back(false);
        return count();
    }
    std::size_t beginMap(const char*, std::size_t) override {
        m_inMap.push_back(true);
        return count();
    }
    void endList() override { m_inMap.pop_back(); }
    void endMap() override { m_inMap.pop_back(); }
    // A map's entry holds its key and value as a record holds its fields.
    void beginElement(std::size_t) override {
        if (m_inMap.back()) beginRecord(nullptr);
    }
    void beginRecord(const char*) override {
        if (!m_stopped) m_fields.push_back({"record", here(), 0, false, 0});
    }

private:
    std::size_t here() const { return m_size - m_stream.readRoom(); }

    // Whether the read that began at `start` went well; if not, the walk stops there.
    bool read(std::size_t start) {
        if (m_stream.readGood()) return true;
        m_stopped = true;
        m_stopAt = start;
        return false;
    }

    // A number; `shown`: whether a Lua number holds its value.
    template <class T>
    void number(const char* kind, T& v, bool shown = true) {
        if (m_stopped) return;
        const std::size_t start = here();
        m_stream.transfer(v);
        if (read(start)) m_fields.push_back({kind, start, here() - start, shown, shown ? std::int64_t(v) : 0});
    }
    // A text: its length, read on a copy of the stream to find where its
    // bytes begin, then the text itself by its own rule.
    template <class Read>
    void bytes(const char* kind, Read&& readText) {
        if (m_stopped) return;
        const std::size_t start = here();
        ZrLCByteStream length = m_stream;
        unsigned int ignored = 0;
        length.transfer(ignored);
        const std::size_t textStart = m_size - length.readRoom();
        readText();
        if (read(start)) m_fields.push_back({kind, textStart, here() - textStart, false, 0});
    }
    // A container's count; one above what a receiver accepts stops the
    // walk, and the library's measure says why.
    std::size_t count() {
        if (m_stopped) return 0;
        const std::size_t start = here();
        unsigned int n = 0;
        m_stream.transfer(n);
        if (!read(start)) return 0;
        if (n > ZR_MAX_CONTAINER_COUNT) {
            m_stopped = true;
            m_stopAt = start;
            return 0;
        }
        m_fields.push_back({"count", start, here() - start, true, n});
        return n;
    }

    ZrLCByteStream m_stream;
    std::size_t m_size;
    std::vector<WalkedField>& m_fields;
    std::string m_echo;
    std::vector<bool> m_inMap;  // the containers the walk is in: maps or lists
    bool m_stopped = false;
    std::size_t m_stopAt = 0;
};

// How a walk ended, and its name in Lua.
enum class WalkEnd { NoClass, Whole, Need, Fault };
const char* const kWalkEnds[] = {nullptr, "whole", "need", "fault"};

// What walk found, kept between calls so that no C++ object with a
// destructor lives while the results go to Lua.
struct Walked {
    WalkEnd end = WalkEnd::NoClass;
    std::vector<WalkedField> fields;
    std::size_t value = 0;  // whole: where the fields end; need: the bytes missing at least
    std::size_t at = 0;
    std::string why;  // fault
};

// Why the body stops the walk, by the library's measure of the packet with
// the body sent plain and no end byte yet: bytes it still needs, or a fault.
void judgeStop(const ZrPacketClass& row, const char* body, std::size_t size, Walked& w) {
    std::string packet(PKT_OFFSET_BODY, '\0');
    packet[0] = static_cast<char>(_STX_);
    ZrCPacketHead::fastSetCmdID(packet.data(), PKT_HEAD_FIXED_LEN, row.cmdID);
    packet.append(body, size);
    ZrMeasureState state;
    const ZrFrame frame = meter().measure(packet.data(), packet.size(), state, false);
    if (frame.incomplete()) {
        w.end = WalkEnd::Need;
        w.value = frame.needed > packet.size() ? frame.needed - packet.size() : 1;
    } else {
        // The walk and the measure read by one set of rules; a complete
        // packet here would mean they parted, which is a fault as well.
        w.end = WalkEnd::Fault;
        w.why = frame.notAPacket() ? frame.why() : "";
        if (w.why.empty()) w.why = "the body does not read as a " + std::string(row.className);
    }
}

Walked& walked() {
    static Walked w;
    return w;
}
// The fields of a large body are not held between calls.
void releaseFields() { std::vector<WalkedField>().swap(walked().fields); }

const Walked& walkBody(const char* className, const char* body, std::size_t size) {
    Walked& w = walked();
    w = Walked();
    try {
        const ZrPacketClass* row = ZrCatalogue::find(std::string(className));
        if (row == nullptr) return w;
        const std::unique_ptr<ZrAnyPacket> packet = row->create();
        BodyWalk walk(body, size, row->mode, w.fields);
        packet->visitFields(walk);
        w.at = walk.at();
        if (walk.stopped()) {
            judgeStop(*row, body, size, w);
        } else {
            w.end = WalkEnd::Whole;
            w.value = w.at;
        }
    } catch (const std::exception& e) {
        w.end = WalkEnd::Fault;
        w.why = e.what();
    }
    return w;
}

// No C++ object with a destructor lives here.
int walk(lua_State* L) {
    const char* className = luaL_checkstring(L, 1);
    std::size_t size = 0;
    const char* body = luaL_checklstring(L, 2, &size);
    luaL_argcheck(L, size <= std::numeric_limits<std::uint32_t>::max(), 2, "a body is shorter than 4 GiB");
    const Walked& w = walkBody(className, body, size);
    if (w.end == WalkEnd::NoClass) {
        lua_pushfstring(L, "no class of the library is named %s", className);
        return refused(L);
    }
    lua_createtable(L, static_cast<int>(w.fields.size()), 0);
    for (std::size_t i = 0; i < w.fields.size(); ++i) {
        const WalkedField& f = w.fields[i];
        lua_createtable(L, 4, 0);
        lua_pushstring(L, f.kind);
        lua_rawseti(L, -2, 1);
        lua_pushinteger(L, static_cast<lua_Integer>(f.offset));
        lua_rawseti(L, -2, 2);
        lua_pushinteger(L, static_cast<lua_Integer>(f.length));
        lua_rawseti(L, -2, 3);
        if (f.hasValue) {
            lua_pushinteger(L, static_cast<lua_Integer>(f.value));
            lua_rawseti(L, -2, 4);
        }
        lua_rawseti(L, -2, static_cast<int>(i + 1));
    }
    releaseFields();
    lua_pushstring(L, kWalkEnds[static_cast<int>(w.end)]);
    if (w.end == WalkEnd::Fault) {
        lua_pushstring(L, w.why.c_str());
    } else {
        lua_pushinteger(L, static_cast<lua_Integer>(w.value));
    }
    lua_pushinteger(L, static_cast<lua_Integer>(w.at));
    return 4;
}

const luaL_Reg kFunctions[] = {{"decipher", decipher}, {"measure", measure}, {"walk", walk}, {nullptr, nullptr}};

}  // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_zrpacket_codec(lua_State* L) {
    luaL_newlib(L, kFunctions);
    return 1;
}

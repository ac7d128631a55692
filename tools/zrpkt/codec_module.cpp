// zrpacket_codec: the Lua 5.2 module through which the generated Wireshark
// dissector deciphers bodies. Wireshark embeds Lua and provides its symbols,
// so the module is built against the Lua headers only and links the codec
// (and the library's wrapper around it), nothing of Lua itself.
//
//   local codec = require("zrpacket_codec")
//   local body, why = codec.decipher(keyByte, encryptType, cipher)
//   local status, value = codec.measure(bytes, ended)
//
// decipher returns the deciphered bytes as a string, or nil and the reason
// the codec gave none. measure frames a packet by the library's own rule
// (ZrPacketMeter: the shortest prefix of the bytes that its class's deCode
// accepts, at most the library's default longest packet): "complete" and
// the packet's length, "incomplete" and at least how many more bytes it
// needs, or "not" and why the bytes start no packet; `ended`: no more bytes
// will come. Arguments of the wrong type or range raise an error.
#include <lua.hpp>

#include <cstddef>
#include <cstring>

#include "zr_encrypt.h"
#include "zr_packet_head.h"
#include "zr_stream_splitter.h"

namespace {

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
    static ZrPacketMeter meter;  // holds a 30 KB deciphering area: one for the module
    ZrMeasureState state;
    const ZrFrame frame = meter.measure(bytes, size, state, ended);
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

const luaL_Reg kFunctions[] = {{"decipher", decipher}, {"measure", measure}, {nullptr, nullptr}};

}  // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_zrpacket_codec(lua_State* L) {
    luaL_newlib(L, kFunctions);
    return 1;
}

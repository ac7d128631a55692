// zrpacket_codec: the Lua 5.2 module through which the generated Wireshark
// dissector deciphers bodies. Wireshark embeds Lua and provides its symbols,
// so the module is built against the Lua headers only and links the codec
// (and the library's wrapper around it), nothing of Lua itself.
//
//   local codec = require("zrpacket_codec")
//   local body, why = codec.decipher(keyByte, encryptType, cipher)
//
// decipher returns the deciphered bytes as a string, or nil and the reason
// the codec gave none. Arguments of the wrong type or range raise an error.
#include <lua.hpp>

#include "zr_encrypt.h"
#include "zr_packet_head.h"

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
    if (variant < ZR_ENCRYPT_TYPE_MIN || variant > ZR_ENCRYPT_TYPE_MAX) {
        lua_pushfstring(L, "encryptType %d is no variant of the codec (%d to %d)", static_cast<int>(variant),
                        ZR_ENCRYPT_TYPE_MIN, ZR_ENCRYPT_TYPE_MAX);
        return refused(L);
    }
    if (length > PKT_SCRATCH_HALF_LEN) {
        lua_pushfstring(L, "a cipher of %d bytes, more than the codec's %d", static_cast<int>(length),
                        static_cast<int>(PKT_SCRATCH_HALF_LEN));
        return refused(L);
    }
    luaL_Buffer out;
    char* body = luaL_buffinitsize(L, &out, PKT_SCRATCH_HALF_LEN);
    unsigned int written = 0;
    if (ZRIEncrypt::decryptProtocolEx(cipher, static_cast<unsigned int>(length), body, written,
                                      static_cast<unsigned char>(key), static_cast<char>(variant)) != 0 ||
        written > PKT_SCRATCH_HALF_LEN) {
        lua_pushfstring(L, "the codec refuses the cipher under variant %d", static_cast<int>(variant));
        return refused(L);
    }
    luaL_pushresultsize(&out, written);
    return 1;
}

const luaL_Reg kFunctions[] = {{"decipher", decipher}, {nullptr, nullptr}};

}  // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_zrpacket_codec(lua_State* L) {
    luaL_newlib(L, kFunctions);
    return 1;
}

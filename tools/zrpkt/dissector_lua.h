// The dissector's fixed Lua: the files of lua/, compiled into zrpkt at build
// time (cmake/embed_text.cmake) as their exact bytes, so that the generated
// zrpacket.lua needs no file beside zrpkt.
#ifndef ZRPACKET_TOOLS_ZRPKT_DISSECTOR_LUA_H
#define ZRPACKET_TOOLS_ZRPKT_DISSECTOR_LUA_H

#include <string_view>

namespace zrpkt::lua {

// lua/readers.lua: fields, expert infos, the codec module, the body Reader.
extern const std::string_view kReaders;
// lua/dissection.lua: framing, drawing, pairing, registration.
extern const std::string_view kDissection;

}  // namespace zrpkt::lua

#endif  // ZRPACKET_TOOLS_ZRPKT_DISSECTOR_LUA_H

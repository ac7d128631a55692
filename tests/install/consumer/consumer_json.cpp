// Encodes a packet with the installed library and shows it as JSON with the
// installed JSON library; prints the JSON and exits 0 when it holds the key.
#include <cstdio>
#include <string>

#include "zr_json.h"
#include "zr_session_packets.h"

int main() {
    ZrAuthSockMsgPacket packet;
    packet.setkey("installed");
    char wire[128];
    if (packet.enCode(wire, sizeof wire) != 0) return 1;
    std::string error;
    auto decoded = ZrCatalogue::decode(wire, packet.getPacketLength(), error);
    if (!decoded) return 1;
    const ZrJson json = zrPacketToJson(*decoded);
    std::printf("%s\n", json.dump().c_str());
    return json["body"]["key"] == "installed" ? 0 : 1;
}

// Encodes a packet with the installed library and decodes it through the
// catalogue; prints "ok <class>" and exits 0 when both work.
#include <cstdio>
#include <string>

#include "zr_catalogue.h"
#include "zr_session_packets.h"

int main() {
    ZrAuthSockMsgPacket packet;
    packet.setkey("installed");
    char wire[128];
    if (packet.enCode(wire, sizeof wire) != 0) return 1;
    std::string error;
    auto decoded = ZrCatalogue::decode(wire, packet.getPacketLength(), error);
    if (!decoded) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("ok %s\n", decoded->packetClass().className);
    return 0;
}

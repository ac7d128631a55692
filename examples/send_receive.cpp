// A sender and a receiver of one packet over a socket pair: the sender
// fills the packet and encodes it into a buffer of its own; the receiver
// peeks at the raw head to choose the class, then decodes.
//   zrpacket_send_receive
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "zr_session_packets.h"

bool sendAuth(int fd) {
    ZrAuthSockMsgPacket out;  // default command 3, sent in plain
    out.setSN(1);
    out.setkey("secret");
    char wire[256];
    if (out.enCode(wire, sizeof wire) != 0) return false;  // the reason: out.getLastErrMsg()
    return send(fd, wire, out.getPacketLength(), 0) == static_cast<ssize_t>(out.getPacketLength());
}

bool receiveAuth(char* buf, unsigned int len) {
    unsigned short version;
    unsigned int cmdID, userID;
    unsigned char subcmdID;
    if (ZrCPacketHead::dispatchPacket(buf, len, version, cmdID, subcmdID, userID) != 0 || cmdID != 3) return false;
    ZrAuthSockMsgPacket in;
    if (in.deCode(buf, len) != 0) {
        std::fprintf(stderr, "%s\n", in.getLastErrMsg());
        return false;
    }
    std::printf("SN %u: key \"%s\"\n", in.getSN(), in.getkey().c_str());
    return true;
}

int main() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0 || !sendAuth(pair[0])) return 1;
    char buf[256];
    const ssize_t got = recv(pair[1], buf, sizeof buf, 0);  // one packet, as this sender wrote it
    const bool received = got > 0 && receiveAuth(buf, static_cast<unsigned int>(got));
    close(pair[0]);
    close(pair[1]);
    return received ? 0 : 1;
}

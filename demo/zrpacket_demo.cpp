// Sends a socket authentication packet twice, as a sender and a receiver
// would: once under its default command (plain body), once under a command
// whose body is enciphered. Each time it prints the bytes, peeks at the raw
// head to choose the class, and decodes into a fresh object. Then a relay
// forwards a database write packet, patching its routing values in the raw
// bytes without touching the enciphered body.
#include <cstdio>
#include <string>

#include "zr_session_packets.h"

namespace {

void printHex(const char* label, const char* bytes, unsigned int length) {
    std::printf("%s (%u bytes):", label, length);
    for (unsigned int i = 0; i < length; ++i) {
        if (i % 16 == 0) std::printf("\n   ");
        std::printf(" %02X", static_cast<unsigned char>(bytes[i]));
    }
    std::printf("\n");
}

int sendAndReceive(ZrAuthSockMsgPacket& packet, const char* title) {
    std::printf("== %s ==\n", title);
    char wire[256];
    if (packet.enCode(wire, sizeof wire) != 0) {
        std::printf("enCode failed: %s\n", packet.getLastErrMsg());
        return 1;
    }
    const unsigned int length = packet.getPacketLength();
    printHex("encoded", wire, length);

    unsigned short version = 0;
    unsigned int cmdID = 0;
    unsigned char subcmdID = 0;
    unsigned int userID = 0;
    if (ZrCPacketHead::dispatchPacket(wire, length, version, cmdID, subcmdID, userID) != 0) {
        std::printf("dispatchPacket refused the bytes\n");
        return 1;
    }
    std::printf("raw head: version %u.%u, cmdID %u, subcmdID %u, userID %u, encryptType %u\n", version >> 8,
                version & 0xFF, cmdID, subcmdID, userID, ZrCPacketHead::fastGetEncryptType(wire, length));

    ZrAuthSockMsgPacket received;
    if (received.deCode(wire, length) != 0) {
        std::printf("deCode failed: %s\n", received.getLastErrMsg());
        return 1;
    }
    std::printf("decoded: SN %u, key \"%s\", result flag %d, error description \"%s\"\n\n", received.getSN(),
                received.getkey().c_str(), received.getResultFlag(), received.getErrorDesc().c_str());
    return 0;
}

int relayDatabaseWrite() {
    std::printf("== relay patches a database write packet in place ==\n");
    ZrDbrWriteMsgPacket request;  // default command 6: body enciphered
    request.setPkgID(7001);
    request.setSQL("UPDATE account SET balance = balance - 5 WHERE id = 42");
    request.setID1(42);
    request.setDBRRecvSockObjID(3);
    char wire[512];
    if (request.enCode(wire, sizeof wire) != 0) return 1;
    const unsigned int length = request.getPacketLength();
    printHex("sent by the client", wire, length);

    std::printf("relay sees ID1 %u, receiving socket %u; routes it to socket 9\n",
                ZrDbrWriteMsgPacket::fastGetID1(wire, length),
                ZrDbrWriteMsgPacket::fastGetDBRRecvSockObjID(wire, length));
    ZrDbrWriteMsgPacket::fastSetDBRRecvSockObjID(wire, length, 9);

    ZrDbrWriteMsgPacket received;
    if (received.deCode(wire, length) != 0) {
        std::printf("deCode failed: %s\n", received.getLastErrMsg());
        return 1;
    }
    std::printf("database server decodes: package %u, socket %d, SQL \"%s\"\n", received.getPkgID(),
                received.getDBRRecvSockObjID(), received.getSQL().c_str());
    return 0;
}

}  // namespace

int main() {
    ZrAuthSockMsgPacket plain;  // default command 3: sent in plain
    plain.setVersion(0x0102);
    plain.setUserID(42);
    plain.setSN(1);
    plain.setkey("s3cr3t-key");
    plain.setResultFlag(0);
    plain.setErrorDesc("ok");

    // Command 5 is one whose body the head enciphers.
    ZrAuthSockMsgPacket enciphered(1, 2, 5, 0, 42, 2, 0);
    enciphered.setkey("s3cr3t-key");
    enciphered.setResultFlag(-1);
    enciphered.setErrorDesc("denied");

    return sendAndReceive(plain, "plain body, default command 3") |
           sendAndReceive(enciphered, "enciphered body, command 5") | relayDatabaseWrite();
}

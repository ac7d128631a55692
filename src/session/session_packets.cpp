// The session and service packets' members that ZrBodyPacket supplies, compiled once,
// here: the header's ZR_LIBRARY_PACKET_CLASS lines instantiate them where
// ZRPACKET_COMPILING_PACKET_CLASSES is defined. Kept out of the unity
// batches (CMakeLists.txt), so that this file reads the header first.
#define ZRPACKET_COMPILING_PACKET_CLASSES
#include "zr_body_packet_impl.h"
#include "zr_session_packets.h"

// The head's own raw accessors under this class's names; a failed head
// getter's all-ones value is the -1 of the signed ones.
int ZrDbrWriteMsgPacket::fastGetAckFlag(const char* pBuf, unsigned int nBufLen) {
    return static_cast<int>(fastGetUserID(pBuf, nBufLen));
}
void ZrDbrWriteMsgPacket::fastSetAckFlag(char* pBuf, unsigned int nBufLen, int value) {
    fastSetUserID(pBuf, nBufLen, static_cast<unsigned int>(value));
}
int ZrDbrWriteMsgPacket::fastGetIDType(const char* pBuf, unsigned int nBufLen) {
    return static_cast<int>(fastGetSN(pBuf, nBufLen));
}
void ZrDbrWriteMsgPacket::fastSetIDType(char* pBuf, unsigned int nBufLen, int value) {
    fastSetSN(pBuf, nBufLen, static_cast<unsigned int>(value));
}
unsigned int ZrDbrWriteMsgPacket::fastGetID1(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext1(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetID1(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext1(pBuf, nBufLen, value);
}
unsigned int ZrDbrWriteMsgPacket::fastGetID2(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext2(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetID2(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext2(pBuf, nBufLen, value);
}
unsigned int ZrDbrWriteMsgPacket::fastGetDBRRecvSockObjID(const char* pBuf, unsigned int nBufLen) {
    return fastGetContext3(pBuf, nBufLen);
}
void ZrDbrWriteMsgPacket::fastSetDBRRecvSockObjID(char* pBuf, unsigned int nBufLen, unsigned int value) {
    fastSetContext3(pBuf, nBufLen, value);
}

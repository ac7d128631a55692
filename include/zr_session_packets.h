// Session and service packets: the channels between servers and towards
// clients. Each class is a head plus its body fields; the envelope (key
// byte, plain or enciphered body, ETX) is the head's. Every body here is
// compact-mode unless its class says otherwise.
#ifndef ZRPACKET_ZR_SESSION_PACKETS_H
#define ZRPACKET_ZR_SESSION_PACKETS_H

#include <cstdint>
#include <string>
#include <vector>

#include "zr_packet_head.h"

// Socket authentication. Default cmdID 3 (plain).
// Body: key (string), result flag (i32), error description (string).
// Example: key "", flag 1, description "ok" -> 00 01 02 6F 6B.
class ZrAuthSockMsgPacket : public ZrCPacketHead {
public:
    ZrAuthSockMsgPacket();
    ZrAuthSockMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                        unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrAuthSockMsgPacket(const ZrAuthSockMsgPacket&) = default;
    ZrAuthSockMsgPacket& operator=(const ZrAuthSockMsgPacket&) = default;
    ~ZrAuthSockMsgPacket() = default;

    void initliaze() {}

    void setkey(const std::string& key) { m_key = key; }
    const std::string& getkey() const { return m_key; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    std::string m_key;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

#endif  // ZRPACKET_ZR_SESSION_PACKETS_H

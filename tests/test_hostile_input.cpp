// Bytes an attacker might send: random buffers, every single-byte change of
// real packets, and every length. Decoders must return without reading or
// writing outside the buffer (the sanitizer build checks that) and leave
// the object usable for the next packet.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "zr_basic_packets.h"
#include "zr_session_packets.h"

namespace {

// Each buffer is its own exact-size heap block, so a read one past its end
// is caught by AddressSanitizer.
template <class Packet>
int decodeExact(Packet& packet, const std::vector<char>& bytes) {
    if (bytes.empty()) {
        char none = 0;
        return packet.deCode(&none, 0);
    }
    std::vector<char> exact(bytes);
    return packet.deCode(exact.data(), static_cast<unsigned int>(exact.size()));
}

template <class Packet>
std::vector<char> sample(Packet packet) {
    std::vector<char> buffer(1024);
    EXPECT_EQ(packet.enCode(buffer.data(), 1024), 0);
    buffer.resize(packet.getPacketLength());
    return buffer;
}

template <class Packet>
void survivesHostileInput(const std::vector<std::vector<char>>& samples) {
    std::mt19937 rng(12345);
    Packet packet;
    for (const std::vector<char>& good : samples) {
        ASSERT_EQ(decodeExact(packet, good), 0) << packet.getLastErrMsg();
        // Every single-byte change and every cut.
        for (std::size_t i = 0; i < good.size(); ++i) {
            for (int value : {0x00, 0x03, 0x09, 0x7F, 0x80, 0xFF, static_cast<int>(rng() & 0xFF)}) {
                std::vector<char> bad = good;
                bad[i] = static_cast<char>(value);
                decodeExact(packet, bad);
            }
            // A plain packet needs every byte up to its ETX; an enciphered one
            // cut short may, by chance, still decipher to something.
            const int cut =
                decodeExact(packet, std::vector<char>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(i)));
            if (good[16] == 0) {
                EXPECT_EQ(cut, -1) << "cut at " << i;
            }
        }
        // Random bodies behind a valid head, plain and enciphered.
        for (int round = 0; round < 300; ++round) {
            std::vector<char> bad(good.begin(), good.begin() + 33);
            bad[16] = static_cast<char>(round % 10);
            bad.resize(33 + rng() % 200);
            for (std::size_t i = 33; i < bad.size(); ++i) bad[i] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
            decodeExact(packet, bad);
        }
        // The object still decodes a good packet afterwards.
        ASSERT_EQ(decodeExact(packet, good), 0) << packet.getLastErrMsg();
    }
}

TEST(HostileInput, AuthSockMsgPacket) {
    ZrAuthSockMsgPacket plain;
    plain.setkey("key");
    plain.setResultFlag(-1);
    plain.setErrorDesc("error");
    ZrAuthSockMsgPacket enciphered(0, 1, 5, 0, 0, 0, 0);
    enciphered.setkey("key");
    survivesHostileInput<ZrAuthSockMsgPacket>({sample(plain), sample(enciphered)});
}

TEST(HostileInput, ServerIdentifyPacket) {
    ZrCServerIdentifyPacket plain;
    plain.setServerType(7);
    ZrCServerIdentifyPacket enciphered(5, 0, 0);
    enciphered.setServerType(7);
    survivesHostileInput<ZrCServerIdentifyPacket>({sample(plain), sample(enciphered)});
}

// Lists and records, compact and enciphered by default.
TEST(HostileInput, LoginMsgPacket) {
    NETPACCONTINFO record{};
    record.uField2 = 300;
    record.llField5 = -1;
    record.szField1[0] = 'a';
    ZrLoginMsgPacket enciphered;
    enciphered.setACCONTINFO({record, record});
    ZrLoginMsgPacket plain(0, 1, 3, 0, 0, 0, 0);
    plain.setACCONTINFO({record});
    survivesHostileInput<ZrLoginMsgPacket>({sample(plain), sample(enciphered)});
}

TEST(HostileInput, PortalMsgPacket) {
    ZrPortalMsgPacket plain(0, 1, 9, 0, 0, 0, 0);
    plain.setRequest({"a", "", "bc"});
    plain.setResponse({"d"});
    survivesHostileInput<ZrPortalMsgPacket>({sample(plain)});
}

// Fixed-mode lengths: four bytes that can claim up to 4 GB.
TEST(HostileInput, BillServerLoginPacket) {
    ZrBillServerLoginPacket plain;
    plain.setserver_name("billing-1");
    plain.setret_login_status(-1);
    survivesHostileInput<ZrBillServerLoginPacket>({sample(plain)});
}

TEST(HostileInput, KeepAlivePacket) { survivesHostileInput<ZrCkeepAlivePacket>({sample(ZrCkeepAlivePacket())}); }

}  // namespace

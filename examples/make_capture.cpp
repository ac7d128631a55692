// Writes examples/capture.pcap, the capture the README's examples read: a
// client's requests to port 7633 and a server's replies on two connections,
// as Ethernet, IPv4 and TCP frames, plain and enciphered packets among them,
// one request left without a reply and one answered twice.
//   zrpacket_make_capture examples/capture.pcap
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "zr_account_packets.h"
#include "zr_billing_packets.h"
#include "zr_session_packets.h"

namespace {

constexpr std::uint32_t kStart = 1796758955;  // 2026-12-08T19:42:35Z
constexpr std::uint16_t kServerPort = 7633;
constexpr std::uint8_t kSyn = 0x02, kAck = 0x10, kPsh = 0x08;

void put16(std::string& out, unsigned v) { out += {static_cast<char>(v >> 8), static_cast<char>(v)}; }
void put32(std::string& out, std::uint32_t v) { put16(out, v >> 16), put16(out, v & 0xFFFF); }
void put32le(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

// The Internet checksum of `bytes` after `sum`.
std::uint16_t checksum(const std::string& bytes, std::uint32_t sum = 0) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned char low = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        sum += static_cast<unsigned char>(bytes[i]) << 8 | low;
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

// One TCP connection between 10.0.0.<client>:<port> and 10.0.0.2:7633, its
// frames appended to a pcap file's records.
class Connection {
public:
    Connection(std::string& records, unsigned client, std::uint16_t port)
        : m_records(records), m_client(client), m_port(port) {}

    // A segment at `ms` milliseconds after the start: from the client, or from the server.
    void send(bool fromClient, std::uint8_t flags, const std::string& payload, std::uint32_t ms) {
        std::uint32_t& seq = fromClient ? m_clientSeq : m_serverSeq;
        const std::uint32_t ack = fromClient ? m_serverSeq : m_clientSeq;
        std::string tcp;
        put16(tcp, fromClient ? m_port : kServerPort);
        put16(tcp, fromClient ? kServerPort : m_port);
        put32(tcp, seq);
        put32(tcp, flags == kSyn ? 0 : ack);  // a SYN acknowledges nothing yet
        tcp += {0x50, static_cast<char>(flags)};
        put16(tcp, 65535);  // window
        put32(tcp, 0);      // checksum and urgent pointer, the checksum filled in below
        tcp += payload;
        const std::uint32_t src = 0x0A000000 | (fromClient ? m_client : 2);
        const std::uint32_t dst = 0x0A000000 | (fromClient ? 2 : m_client);
        std::string pseudo;
        put32(pseudo, src), put32(pseudo, dst), put16(pseudo, 6), put16(pseudo, static_cast<unsigned>(tcp.size()));
        const std::uint16_t sum = checksum(pseudo + tcp);
        tcp[16] = static_cast<char>(sum >> 8), tcp[17] = static_cast<char>(sum);
        std::string ip = {0x45, 0};
        put16(ip, static_cast<unsigned>(20 + tcp.size()));
        put32(ip, 0x00004000);  // identification 0, don't fragment
        ip += {64, 6, 0, 0};    // TTL, TCP, checksum below
        put32(ip, src), put32(ip, dst);
        const std::uint16_t ipSum = checksum(ip);
        ip[10] = static_cast<char>(ipSum >> 8), ip[11] = static_cast<char>(ipSum);
        const std::string frame = std::string("\x02\0\0\0\0\x02\x02\0\0\0\0\x01\x08\0", 14) + ip + tcp;
        put32le(m_records, kStart + ms / 1000);
        put32le(m_records, ms % 1000 * 1000);
        put32le(m_records, static_cast<std::uint32_t>(frame.size()));
        put32le(m_records, static_cast<std::uint32_t>(frame.size()));
        m_records += frame;
        seq += static_cast<std::uint32_t>(payload.size()) + (flags & kSyn ? 1 : 0);
    }
    void open(std::uint32_t ms) {
        send(true, kSyn, "", ms);
        send(false, kSyn | kAck, "", ms);
        send(true, kAck, "", ms);
    }
    void data(bool fromClient, const std::string& payload, std::uint32_t ms) {
        send(fromClient, kPsh | kAck, payload, ms);
    }

private:
    std::string& m_records;
    unsigned m_client;
    std::uint16_t m_port;
    std::uint32_t m_clientSeq = 1000, m_serverSeq = 5000;
};

// The packet's bytes under `sn`.
template <class Packet>
std::string wire(Packet packet, unsigned int sn) {
    packet.setSN(sn);
    std::string bytes(4096, '\0');
    if (packet.enCode(bytes.data(), static_cast<unsigned int>(bytes.size())) != 0) std::exit(1);
    bytes.resize(packet.getPacketLength());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zrpacket_make_capture FILE\n");
        return 2;
    }
    std::srand(1);  // the same cipher variants on every run
    ZrAuthSockMsgPacket auth;  // the demo's
    auth.setVersion(0x0102);
    auth.setUserID(42);
    auth.setkey("s3cr3t-key");
    auth.setErrorDesc("ok");
    ZrLoginMsgPacket login;
    login.setUserID(42);
    login.setAccountName("subscriber-42");
    login.setAdditionalInfo("set-top box");
    login.setErrorDesc("ok");
    ZrBillUserBalancePacket balance;
    std::string records;
    Connection first(records, 1, 40000), second(records, 3, 40001);
    first.open(0);
    first.data(true, wire(auth, 1), 1);
    first.data(false, wire(auth, 1), 13);
    first.data(true, wire(login, 2) + wire(login, 3), 20);  // two requests in one segment
    second.open(25);
    second.data(true, wire(auth, 1), 26);
    second.data(false, wire(auth, 1), 31);
    first.data(false, wire(login, 2), 55);
    first.data(false, wire(login, 3), 70);
    first.data(true, wire(balance, 4), 80);  // never answered
    first.data(true, wire(login, 5), 90);
    first.data(false, wire(login, 5), 130);
    first.data(false, wire(login, 5), 140);  // answered twice
    std::string file;
    put32le(file, 0xA1B2C3D4);
    file += {2, 0, 4, 0};  // version 2.4
    for (const std::uint32_t field : {0u, 0u, 65535u, 1u}) put32le(file, field);  // zone, accuracy, snap length, Ethernet
    std::ofstream(argv[1], std::ios::binary) << file << records;
    return 0;
}

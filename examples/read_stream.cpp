// Packets read from standard input, each printed with the fields it has.
//   zrpacket_read_stream < packets.bin         a stream of packets, split as it comes
//   zrpacket_read_stream --one < packet.bin    one packet, its class chosen by its command
// Exit status 1 when bytes are not a packet.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_stream_splitter.h"

struct Printer : ZrFieldVisitor {
    using ZrFieldVisitor::field;
    void field(const char* name, unsigned int& v) override { std::printf("  %s = %u\n", name, v); }
    void field(const char* name, std::string& v) override { std::printf("  %s = %s\n", name, v.c_str()); }
    void text(const char* name, char* text, std::size_t) override { std::printf("  %s = %s\n", name, text); }
    // other integers, lists, maps and records: the visitor's other members, which do nothing
};

void print(ZrAnyPacket& packet) {
    std::printf("%s\n", packet.packetClass().className);
    Printer printer;
    packet.visitFields(printer);               // the body, in wire order
    packet.head().visitHeadFields(printer);    // the head
}

int decodeOne(char* buf, unsigned int len) {
    std::string error;
    if (auto packet = ZrCatalogue::decode(buf, len, error)) {  // its class from the head's command
        print(*packet);
        return 0;
    }
    std::fprintf(stderr, "%s\n", error.c_str());  // "no packet class has the command 77", or the class's own
    return 1;
}

int readStream(int fd) {
    ZrStreamSplitter splitter;  // ZrPacketMeter::Options: maxPacketLength, forcedClass, workPerByte
    ZrPacketReceiver receiver;  // one object of each class, made when the class first comes
    std::string error;
    int status = 0;
    auto take = [&](const ZrSplitItem& item) {
        if (!item.isPacket()) {  // bytes that are not a packet, reported once each
            std::fprintf(stderr, "%zu bytes at offset %llu: %s\n", item.length,
                         static_cast<unsigned long long>(item.offset), item.why().c_str());
            status = 1;
        } else if (ZrAnyPacket* packet = receiver.decode(item.chars(), item.length, error)) {
            print(*packet);  // valid until the next packet of its class
        } else {
            std::fprintf(stderr, "%s\n", error.c_str());
            status = 1;
        }
    };
    std::vector<char> buf(64 * 1024);
    for (ssize_t n; (n = read(fd, buf.data(), buf.size())) > 0;) {
        splitter.feed(buf.data(), static_cast<std::size_t>(n));
        for (ZrSplitItem item; splitter.next(item);) take(item);
    }
    splitter.finish();  // the stream has ended: what it leaves (a packet cut by the end) comes out too
    for (ZrSplitItem item; splitter.next(item);) take(item);
    return status;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--one") == 0) {
        std::vector<char> packet;
        char buf[4096];
        for (ssize_t n; (n = read(0, buf, sizeof buf)) > 0;) packet.insert(packet.end(), buf, buf + n);
        return decodeOne(packet.data(), static_cast<unsigned int>(packet.size()));
    }
    return readStream(0);
}

// Writes the golden corpus: for every class of the catalogue, each variant
// as the packet's raw bytes (NAME.VARIANT.bin) and as `zrpkt decode --pretty`
// prints those bytes (NAME.VARIANT.json). Run through the build:
//
//   cmake --build build/debug --target corpus
//
// or by hand: zrpacket_make_corpus DIR. Every .bin and .json file in DIR is
// replaced, so a class that left the catalogue leaves no stale packet.
// The output depends only on the code: an enciphered packet's variant is
// drawn from rand() seeded with the class's command.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_json.h"

namespace {

namespace fs = std::filesystem;
using zrtest::CyclingFiller;

// A command whose body travels plain and that names no class, so that the
// boundary packet of every class is byte-exact and is never taken for
// another class's packet.
constexpr unsigned int kPlainCommand = 1002;

struct Variant {
    const char* name;
    CyclingFiller::Values values;
    bool ownCommand;  // the class's default command, else kPlainCommand
    unsigned short version;
    unsigned char subcmdID;
    unsigned int userID, SN, context1, context2, context3, context4;
    unsigned char keyByte;  // kept on a plain body only
};

constexpr Variant kVariants[] = {
    {"boundary", CyclingFiller::Values::Boundary, false, 0xFE01, 0x80, 0x80000000u, 0xFFFFFFFFu, 0x7F, 0x80, 0x01020304,
     0xFFFFFFFEu, 0xA5},
    {"default-command", CyclingFiller::Values::Small, true, 0x0102, 1, 42, 7, 1, 2, 3, 4, 0x5A},
};

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "zrpacket_make_corpus: %s\n", why.c_str());
    std::exit(1);
}

void write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) die("cannot write " + path.string());
}

// The packet's bytes, and the JSON of those bytes decoded as its class.
std::pair<std::string, std::string> make(const ZrPacketClass& row, const Variant& variant) {
    std::unique_ptr<ZrAnyPacket> packet = row.create();
    CyclingFiller filler(variant.values);
    packet->visitFields(filler);
    ZrCPacketHead& head = packet->head();
    head.setCmdID(variant.ownCommand ? row.cmdID : kPlainCommand);
    head.setVersion(variant.version);
    head.setSubcmdID(variant.subcmdID);
    head.setUserID(variant.userID);
    head.setSN(variant.SN);
    head.setContext1(variant.context1), head.setContext2(variant.context2);
    head.setContext3(variant.context3), head.setContext4(variant.context4);
    head.setKeyByte(variant.keyByte);

    std::srand(row.cmdID);
    std::string wire(1 << 16, '\0');
    if (packet->enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) {
        die(std::string(row.className) + " " + variant.name + " does not encode: " + head.getLastErrMsg());
    }
    wire.resize(packet->getPacketLength());
    std::string error;
    std::unique_ptr<ZrAnyPacket> decoded =
        ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &row);
    if (!decoded) die(std::string(row.className) + " " + variant.name + " does not decode: " + error);
    return {wire, zrPacketToJson(*decoded).dump(2) + "\n"};  // as zrpkt decode --pretty prints it
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) die("usage: zrpacket_make_corpus DIR");
    const fs::path dir = argv[1];
    std::error_code failure;
    std::vector<fs::path> old;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, failure)) {
        const fs::path ext = entry.path().extension();
        if (ext == ".bin" || ext == ".json") old.push_back(entry.path());
    }
    if (failure) die("cannot read " + dir.string() + ": " + failure.message());
    for (const fs::path& path : old) fs::remove(path);
    int files = 0;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        for (const Variant& variant : kVariants) {
            const auto [bytes, json] = make(row, variant);
            const fs::path stem = dir / (std::string(row.className) + "." + variant.name);
            write(stem.string() + ".bin", bytes);
            write(stem.string() + ".json", json);
            files += 2;
        }
    }
    std::printf("%d files in %s\n", files, dir.string().c_str());
    return 0;
}

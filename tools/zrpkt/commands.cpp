#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "describe.h"
#include "dissector.h"
#include "packet_io.h"
#include "packet_stream.h"
#include "zr_catalogue.h"
#include "zr_field_tree.h"
#include "zr_json.h"

namespace zrpkt {

namespace {

// A plain body is written straight into the caller's buffer, so the buffer
// grows until the packet fits, up to this; an enciphered body is bounded by
// the scratch area and fits the first one.
constexpr std::size_t kFirstBufferBytes = 64 * 1024;
constexpr std::size_t kMaxPacketBytes = 64u << 20;

const ZrPacketClass& findClass(const std::string& classOrCommand) {
    const bool isCommand = !classOrCommand.empty() && classOrCommand.size() <= 10 &&
                           classOrCommand.find_first_not_of("0123456789") == std::string::npos;
    if (isCommand) {
        const unsigned long cmdID = std::stoul(classOrCommand);
        if (const ZrPacketClass* row =
                cmdID <= 0xFFFFFFFFul ? ZrCatalogue::find(static_cast<unsigned int>(cmdID)) : nullptr) {
            return *row;
        }
        throw BadInput("no packet class has the command " + classOrCommand + " (zrpkt list shows them)");
    }
    if (const ZrPacketClass* row = ZrCatalogue::find(classOrCommand)) return *row;
    throw BadInput("no packet class is named \"" + classOrCommand + "\" (zrpkt list shows them)");
}

std::string show(const ZrJson& json) { return json.dump(2) + "\n"; }

// nlohmann's texts start with an identifier ("[json.exception.parse_error.101] ").
std::string withoutIdentifier(const std::string& text) {
    const std::size_t end = text.find("] ");
    return text.rfind('[', 0) == 0 && end != std::string::npos ? text.substr(end + 2) : text;
}

std::string encodeOne(ZrAnyPacket& packet, const std::string& name) {
    for (std::size_t room = kFirstBufferBytes;; room *= 4) {
        std::string wire(room, '\0');
        if (packet.enCode(wire.data(), static_cast<unsigned int>(room)) == 0) {
            wire.resize(packet.getPacketLength());
            return wire;
        }
        if (packet.head().isNeedEncrypt() || room >= kMaxPacketBytes) break;
    }
    const std::string text = packet.head().getLastErrMsg();
    const std::string why = !text.empty() ? text
                            : packet.head().isNeedEncrypt()
                                ? "an enciphered body holds at most " + std::to_string(PKT_SCRATCH_HALF_LEN) + " bytes"
                                : "more than " + std::to_string(kMaxPacketBytes) + " bytes";
    throw BadInput(name + ": " + packet.packetClass().className + " cannot be encoded: " + why);
}

// Differs from run to run, and between runs started in the same second.
unsigned int clockSeed() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<unsigned int>(now) ^ static_cast<unsigned int>(now >> 32) ^
           static_cast<unsigned int>(::getpid()) << 16;
}

}  // namespace

int runDecode(const DecodeOptions& options) {
    const ZrPacketClass* forced = options.forcedClass.empty() ? nullptr : &findClass(options.forcedClass);
    std::vector<std::string> files = options.files;
    if (files.empty()) files.emplace_back();  // standard input
    ZrPacketReceiver receiver;
    std::string collected;  // for -o and --array
    std::size_t records = 0;
    int status = 0;
    for (const std::string& file : files) {
        std::string text;
        try {
            const Input input = readInput(file);
            const std::string bytes = packetBytes(input);
            ZrPacketMeter::Options meter;
            meter.forcedClass = forced;
            // The whole stream is at hand: a plain packet may be as long as the input.
            meter.maxPacketLength = std::max(meter.maxPacketLength, bytes.size());
            PacketStream stream(
                receiver, meter,
                [&](std::uint64_t offset, std::size_t, ZrAnyPacket& packet) {
                    if (options.pretty) {
                        text += show(zrPacketToJson(packet));
                        return;
                    }
                    ZrJson position = ZrJson::object();
                    if (files.size() > 1) position["file"] = input.name;
                    position["offset"] = offset;
                    text += (options.array && records++ > 0 ? ",\n" : "") +
                            packetRecord(std::move(position), packet).dump() + (options.array ? "" : "\n");
                },
                [&](std::uint64_t offset, std::uint64_t length, const std::string& why) {
                    std::cerr << "zrpkt: " << input.name << ": " << byteCount(length) << " skipped at offset " << offset
                              << ": " << why << '\n';
                    status = 1;
                });
            stream.feed(bytes.data(), bytes.size());
            stream.finish();
        } catch (const BadInput& e) {
            std::cerr << "zrpkt: " << e.what() << '\n';
            status = 1;
        }
        if (options.output.empty() && !options.array) {
            writeOutput("", text);
        } else {
            collected += text;
        }
    }
    if (options.array) collected = records == 0 ? "[]\n" : "[\n" + collected + "\n]\n";
    if (options.output.empty() && options.array) writeOutput("", collected);
    if (!options.output.empty() && status == 0) writeOutput(options.output, collected);
    return status;
}

int runPcap(const PcapOptions& options) { return readCapture(options, std::cout, std::cerr); }

int runEncode(const EncodeOptions& options) {
    const Input input = readInput(options.file);
    ZrJson json;
    try {
        json = ZrJson::parse(input.bytes);
    } catch (const ZrJson::exception& e) {
        throw BadInput(input.name + ": bad JSON: " + withoutIdentifier(e.what()));
    }
    std::unique_ptr<ZrAnyPacket> packet;
    try {
        packet = zrPacketFromJson(json);
    } catch (const ZrJsonError& e) {
        throw BadInput(input.name + ": " + e.what());
    }
    const auto head = json.find("head");
    const bool typeGiven = head != json.end() && head->contains("encryptType");
    const unsigned int asked = packet->head().getEncryptType();
    std::srand(options.seeded ? options.seed : clockSeed());
    const std::string wire = encodeOne(*packet, input.name);
    const bool hex = options.hex || (options.output.empty() && stdoutIsTerminal());
    writeOutput(options.output, hex ? zrToHex(wire.data(), wire.size(), 16) + "\n" : wire);
    const unsigned int sent = packet->head().getEncryptType();
    if (typeGiven && asked != sent) {
        std::cerr << "zrpkt: " << input.name << ": head.encryptType is " << asked << ", but " << sent
                  << " was sent: command " << packet->head().getCmdID()
                  << (sent == 0 ? " goes in plain\n"
                                : " goes enciphered, under a variant drawn at random (--seed repeats a draw)\n");
    }
    return 0;
}

int runList() {
    std::size_t width = 5;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) width = std::max(width, std::strlen(row.className));
    std::printf("%7s  %-*s  %-10s  %s\n", "command", static_cast<int>(width), "class", "body", "mode");
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        const char* mode = row.mode == ZrBodyMode::Compact ? "compact"
                           : row.mode == ZrBodyMode::Fixed ? "fixed"
                                                           : "none";
        std::printf("%7u  %-*s  %-10s  %s\n", row.cmdID, static_cast<int>(width), row.className,
                    row.enciphered ? "enciphered" : "plain", mode);
    }
    return 0;
}

int runTemplate(const std::string& classOrCommand, bool full, const std::string& output) {
    std::unique_ptr<ZrAnyPacket> packet = findClass(classOrCommand).create();
    // Reading the field tree leaves one element in each container.
    if (full) zrFieldTree([&](ZrFieldVisitor& v) { packet->visitFields(v); });
    writeOutput(output, show(zrPacketToJson(*packet)));
    return 0;
}

int runDescribe(const std::string& classOrCommand) {
    writeOutput("", describeClass(findClass(classOrCommand)));
    return 0;
}

int runSchema(const std::string& classOrCommand, const std::string& output) {
    const ZrJson schema = classOrCommand.empty() ? zrJsonSchema() : zrJsonSchema(findClass(classOrCommand));
    writeOutput(output, show(schema));
    return 0;
}

int runDissector(const std::string& output) {
    writeOutput(output, dissectorLua(ZrCatalogue::classes()));
    return 0;
}

}  // namespace zrpkt

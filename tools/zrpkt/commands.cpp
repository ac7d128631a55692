#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <charconv>
#include <cstring>
#include <functional>
#include <iostream>
#include <istream>
#include <memory>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include "describe.h"
#include "hex_dump.h"
#include "dissector.h"
#include "packet_io.h"
#include "packet_stream.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"
#include "zr_field_tree.h"
#include "zr_json.h"

namespace zrpkt {

namespace {

// A plain body is written straight into the caller's buffer, so the buffer
// grows until the packet fits, up to this; an enciphered body is bounded by
// the scratch area and fits the first one.
constexpr std::size_t kFirstBufferBytes = 64 * 1024;
constexpr std::size_t kMaxPacketBytes = 64u << 20;
// Input is read in blocks of this size.
constexpr std::size_t kReadBytes = 64 * 1024;

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

// The library draws an enciphered packet's variant with rand(): seeded from
// `seed`, or from the first seed after it whose draw is `variant` (1 to 8),
// so that a variant the JSON names is kept.
void seedDraw(unsigned int seed, unsigned int variant) {
    for (;; ++seed) {
        std::srand(seed);
        if (variant < 1 || variant > static_cast<unsigned int>(ZR_ENCRYPT_TYPE_COUNT) ||
            static_cast<unsigned int>(std::rand() % ZR_ENCRYPT_TYPE_COUNT + 1) == variant) {
            break;
        }
    }
    std::srand(seed);
}

// An input read through an std::istream; `beforeWait` is called before each
// read of the input, which may wait.
class InputBuffer : public std::streambuf {
public:
    InputBuffer(InputFile& input, std::function<void()> beforeWait)
        : m_input(input), m_beforeWait(std::move(beforeWait)), m_buffer(kReadBytes) {}

protected:
    int_type underflow() override {
        if (gptr() == egptr()) {
            m_beforeWait();
            const std::size_t got = m_input.read(m_buffer.data(), m_buffer.size());
            if (got == 0) return traits_type::eof();
            setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + got);
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    InputFile& m_input;
    std::function<void()> m_beforeWait;
    std::vector<char> m_buffer;
};

// Differs from run to run, and between runs started in the same second.
unsigned int clockSeed() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<unsigned int>(now) ^ static_cast<unsigned int>(now >> 32) ^
           static_cast<unsigned int>(::getpid()) << 16;
}

}  // namespace

namespace {

// --raw: the one packet an input holds, whatever its command, as its head's
// fields, key byte and body bytes (and, enciphered, the bytes the codec
// deciphers them into): the packet's own length is known only to its class.
// `note`: why an enciphered body shows no deciphered bytes.
ZrJson rawPacket(const std::string& bytes, std::string& note) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < PKT_HEAD_FIXED_LEN + 1) {
        throw BadInput(byteCount(bytes.size()) + ": a packet holds at least " +
                       std::to_string(PKT_HEAD_FIXED_LEN + 1) + " (its head and end byte)");
    }
    if (p[0] != _STX_) throw BadInput("it starts with the byte " + zrToHex(p, 1) + ", not the start byte 02");
    if (p[bytes.size() - 1] != _ETX_) {
        throw BadInput("it ends with the byte " + zrToHex(p + bytes.size() - 1, 1) +
                       ", not the end byte 03 (--raw reads one whole packet an input)");
    }
    // The head alone, read by the keep-alive, which takes any command.
    std::string head = bytes.substr(0, PKT_HEAD_FIXED_LEN) + static_cast<char>(_ETX_);
    std::string error;
    const std::unique_ptr<ZrAnyPacket> packet =
        ZrCatalogue::decode(head.data(), static_cast<unsigned int>(head.size()), error, ZrCatalogue::find(1u));
    if (!packet) throw BadInput(error);
    ZrJson json = ZrJson::object();
    json["head"] = zrFieldsToJson([&](ZrFieldVisitor& v) { packet->head().visitHeadFields(v); });
    if (bytes.size() == PKT_HEAD_FIXED_LEN + 1) return json;  // a head and its end byte, as the keep-alive
    json["keyByte"] = p[PKT_OFFSET_KEY];
    const std::size_t bodyLength = bytes.size() - PKT_ENVELOPE_MIN_LEN;
    const std::string body = zrToHex(p + PKT_OFFSET_BODY, bodyLength);
    if (p[PKT_OFFSET_ENCRYPT_TYPE] == 0) {
        json["body"] = {{"hex", body}};
        return json;
    }
    json["cipher"] = {{"hex", body}};
    std::vector<unsigned char> plain(PKT_SCRATCH_HALF_LEN);
    unsigned int plainLength = 0;
    if (zrDecipherBody(p, bodyLength, plain.data(), plainLength)) {
        json["body"] = {{"hex", zrToHex(plain.data(), plainLength)}};
    } else {
        note = "the codec refuses its cipher under variant " + std::to_string(p[PKT_OFFSET_ENCRYPT_TYPE]);
    }
    return json;
}

}  // namespace

int runDecode(const DecodeOptions& options) {
    ZrPacketMeter::Options meter;
    meter.forcedClass = options.forcedClass.empty() ? nullptr : &findClass(options.forcedClass);
    meter.maxPacketLength = std::max<std::size_t>(options.maxPacketLength, PKT_ENVELOPE_MIN_LEN);
    std::vector<std::string> files = options.files;
    if (files.empty()) files.emplace_back();  // standard input
    OutputFile out(options.output);
    ZrPacketReceiver receiver;
    std::vector<char> buffer(kReadBytes);
    std::string line, placement;  // a packet's, reused
    std::size_t records = 0;
    int status = 0;
    auto report = [&status](const std::string& text) {
        std::cerr << "zrpkt: " << text << '\n';
        status = 1;
    };
    for (const std::string& file : files) {
        std::unique_ptr<InputFile> input;
        try {
            input = std::make_unique<InputFile>(file);
        } catch (const BadInput& e) {
            report(e.what());
            continue;
        }
        const std::string& name = input->name();
        const std::string fileMember = files.size() > 1 ? "\"file\":" + ZrJson(name).dump() + "," : "";
        PacketStream stream(
            receiver, meter,
            [&](std::uint64_t offset, std::size_t, ZrAnyPacket& packet) {
                if (options.snGiven && packet.head().getSN() != options.sn) return;
                if (options.pretty) {
                    ZrJson position = ZrJson::object();
                    if (files.size() > 1) position["file"] = name;
                    out.write(show(packetRecord(std::move(position), packet)));
                    return;
                }
                if (options.array) out.write(records++ == 0 ? "[\n" : ",\n");
                // Written as text straight from the fields: most of decode's time otherwise.
                placement.assign(fileMember);
                placement += "\"offset\":";
                char digits[24];
                placement.append(digits, std::to_chars(digits, digits + sizeof digits, offset).ptr);
                placement += ',';
                line.clear();
                zrAppendPacketJson(packet, line, placement);
                if (!options.array) line += '\n';
                out.write(line);
            },
            [&](std::uint64_t offset, std::uint64_t length, const std::string& why) {
                report(name + ": " + byteCount(length) + " skipped at offset " + std::to_string(offset) + ": " + why);
            },
            [&](std::uint64_t offset, const std::string& note) {
                std::cerr << "zrpkt: " << name << ": the packet at offset " << offset << ": " << note << '\n';
            });
        // --raw: the input whole, one packet.
        std::string whole;
        PacketText text([&](const char* data, std::size_t size) {
            if (!options.raw) return stream.feed(data, size);
            if (whole.size() + size > meter.maxPacketLength) {
                throw BadInput("more than " + byteCount(meter.maxPacketLength) +
                               " (--max-packet): --raw reads one packet an input");
            }
            whole.append(data, size);
        });
        try {
            for (;;) {
                // What the bytes so far hold reaches the reader before the input is waited for.
                out.flush();
                const std::size_t got = input->read(buffer.data(), buffer.size());
                if (got == 0) break;
                try {
                    text.feed(buffer.data(), got);
                } catch (const BadInput& e) {
                    throw BadInput(name + ": " + e.what());
                }
            }
            std::string end;
            try {
                end = text.finish();
            } catch (const BadInput& e) {
                end = e.what();
            }
            if (!end.empty()) report(name + ": " + end);
            stream.finish();
            if (options.raw && end.empty()) {
                std::string note;
                ZrJson raw;
                try {
                    raw = rawPacket(whole, note);
                } catch (const BadInput& e) {
                    throw BadInput(name + ": " + e.what());
                }
                if (!note.empty()) std::cerr << "zrpkt: " << name << ": " << note << '\n';
                if (options.snGiven && raw["head"]["SN"] != options.sn) continue;
                ZrJson record = ZrJson::object();
                if (files.size() > 1) record["file"] = name;
                if (!options.pretty) record["offset"] = 0;
                for (auto& [key, value] : raw.items()) record[key] = std::move(value);
                if (options.array) out.write(records++ == 0 ? "[\n" : ",\n");
                out.write(options.pretty ? show(record) : record.dump() + (options.array ? "" : "\n"));
            }
        } catch (const BadInput& e) {
            // Reading stops at the first thing that does not fit the input's form.
            report(e.what());
        }
    }
    if (options.array) out.write(records == 0 ? "[]\n" : "\n]\n");
    if (status != 0 && out.replaces()) {
        std::cerr << "zrpkt: " << out.path() << ": not written, as not every byte of the input was a packet\n";
        return status;
    }
    out.commit();
    return status;
}

int runPcap(const PcapOptions& options) {
    PcapOptions resolved = options;
    if (!options.onlyClassName.empty()) resolved.onlyClass = &findClass(options.onlyClassName);
    return readCapture(resolved, std::cout, std::cerr);
}

int runEncode(const EncodeOptions& options) {
    InputFile input(options.file);
    OutputFile out(options.output);
    // What is encoded so far reaches the reader before the input is waited for.
    InputBuffer buffer(input, [&out] { out.flush(); });
    std::istream in(&buffer);
    const bool hex = options.hex || (options.output.empty() && stdoutIsTerminal());
    std::mt19937 draws(options.seeded ? options.seed : clockSeed());
    std::size_t count = 0;
    auto encodeRecord = [&](ZrJson json) {
        const std::string name = input.name() + (++count > 1 ? ", packet " + std::to_string(count) : "");
        if (!json.is_object()) throw BadInput(name + ": expected a JSON object, a packet, got " + json.type_name());
        for (const std::string& member : zrPlacementMembers()) json.erase(member);
        std::unique_ptr<ZrAnyPacket> packet;
        try {
            packet = zrPacketFromJson(json);
        } catch (const ZrJsonError& e) {
            throw BadInput(name + ": " + e.what());
        }
        const unsigned int asked = packet->head().getEncryptType();
        seedDraw(static_cast<unsigned int>(draws()), packet->head().isNeedEncrypt() ? asked : 0);
        const std::string wire = encodeOne(*packet, name);
        out.write(hex ? zrToHex(wire.data(), wire.size(), 16) + "\n" : wire);
        const unsigned int sent = packet->head().getEncryptType();
        // 0 is what a template shows: no variant asked for.
        if (asked != 0 && asked != sent) {
            std::cerr << "zrpkt: " << name << ": head.encryptType is " << asked << ", but " << sent
                      << " was sent: command " << packet->head().getCmdID()
                      << (sent == 0 ? " goes in plain\n" : " goes enciphered, under a variant 1 to 8\n");
        }
    };
    for (;;) {
        int c = in.peek();
        while (c != std::char_traits<char>::eof() && std::isspace(c)) {
            in.get();
            c = in.peek();
        }
        if (c == std::char_traits<char>::eof()) break;
        ZrJson json;
        try {
            in >> json;
        } catch (const ZrJson::exception& e) {
            throw BadInput(input.name() + ": bad JSON: " + withoutIdentifier(e.what()));
        }
        if (!json.is_array()) {
            encodeRecord(std::move(json));
            continue;
        }
        for (ZrJson& element : json) encodeRecord(std::move(element));
    }
    if (count == 0) throw BadInput(input.name() + ": no JSON in it: no packet to encode");
    out.commit();
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

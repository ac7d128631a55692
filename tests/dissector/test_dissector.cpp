// The generated dissector in a real tshark. Every corpus packet and samples
// of every class go on the default port and on another one (found by the
// heuristic); some segments hold two packets, one packet spans two or three
// segments, and the whole corpus goes as one stream cut into small segments.
// Each field tshark reports is compared with the packet's JSON: the same
// fields in the same order with the same values, texts shown as the JSON
// shows them, and nothing more; an enciphered body's fields as the codec
// module deciphers them. Probe classes bring the wire types the catalogue
// may not use yet, broken packets must raise their expert infos, and a
// dissector without the codec module shows ciphers. Requests and replies on
// two connections must each find their other half.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

#include "capture.h"
#include "dissector.h"
#include "samples.h"
#include "zr_encrypt.h"
#include "zr_packet_head.h"

namespace {

using Errors = std::vector<std::string>;

constexpr std::uint16_t kDefaultPort = zrpkt::kDissectorPort;
constexpr std::uint16_t kOtherPort = 47633;
// The most a frame of the capture carries (an IPv4 packet holds 65535 bytes).
constexpr std::size_t kSegmentBytes = 60000;
// A text longer than a TCP segment holds, and the segments it goes in.
constexpr std::size_t kLongText = 100000;
constexpr std::size_t kEthernetSegmentBytes = 1448;

std::string join(const std::vector<std::string>& parts, const std::string& separator = ", ") {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t to = std::min(text.find(separator, from), text.size());
        parts.push_back(text.substr(from, to - from));
        from = to + separator.size();
    }
    return parts;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The items the JSON has too: not the STX, a text's echo, an expert info or
// a request's or reply's other half.
std::vector<const PdmlNode*> shown(const PdmlNode& node) {
    static const std::set<std::string> kLeftOut = {"zrpacket.stx", "zrpacket.echo", "_ws.expert",
                                                   "zrpacket.request_in", "zrpacket.response_in", "zrpacket.time"};
    std::vector<const PdmlNode*> items;
    for (const PdmlNode& child : node.children) {
        if (kLeftOut.count(child.name) == 0) items.push_back(&child);
    }
    return items;
}

const PdmlNode* child(const PdmlNode& node, const std::string& name) {
    for (const PdmlNode& item : node.children) {
        if (item.name == name) return &item;
    }
    return nullptr;
}

// The expert infos under a node, and their texts.
void experts(const PdmlNode& node, std::vector<std::string>& names, std::vector<std::string>* texts = nullptr) {
    for (const PdmlNode& child : node.children) {
        if (child.name == "_ws.expert" && !child.children.empty()) names.push_back(child.children.front().name);
        if (texts != nullptr && child.name == "_ws.expert.message") texts->push_back(child.show);
        experts(child, names, texts);
    }
}

// A number as shown, in decimal ("0x4b" is 75).
std::string decimal(const std::string& show) {
    return show.rfind("0x", 0) == 0 ? std::to_string(std::stoull(show, nullptr, 16)) : show;
}

// Bytes as PDML gives a field's value: lower-case hex digits, no blanks.
std::string lowerHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) hex += {kDigits[(c >> 4) & 0xF], kDigits[c & 0xF]};
    return hex;
}

void matchValue(const ZrJson& want, const PdmlNode& got, const std::string& path, Errors& errors);

void matchObject(const ZrJson& want, const PdmlNode& got, const std::string& path, Errors& errors) {
    const std::vector<const PdmlNode*> items = shown(got);
    if (items.size() != want.size()) {
        errors.push_back(path + ": " + std::to_string(items.size()) + " items shown for " +
                         std::to_string(want.size()) + " fields");
        return;
    }
    std::size_t i = 0;
    for (const auto& member : want.items()) {
        const PdmlNode& item = *items[i++];
        const std::string at = path + "." + member.key();
        if (!endsWith(item.name, "." + member.key())) {
            errors.push_back(at + ": shown as " + item.name);
        } else {
            matchValue(member.value(), item, at, errors);
        }
    }
}

// A text as the dissector shows it, every byte kept: as the JSON does, valid
// UTF-8 as text (a NUL as \0, so a backslash as \\), any other text as hex.
std::string shownText(const ZrJson& want) {
    if (!want.is_string()) return want["hex"].get<std::string>();
    std::string shown;
    for (const char c : want.get<std::string>()) {
        shown += c == '\0' ? std::string("\\0") : c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return shown;
}

// Numbers by their shown value; texts by their bytes and their display.
void matchValue(const ZrJson& want, const PdmlNode& got, const std::string& path, Errors& errors) {
    const bool hexText = want.is_object() && want.size() == 1 && want.contains("hex") && got.children.empty();
    if (want.is_array()) {
        const std::vector<const PdmlNode*> items = shown(got);
        if (got.show != std::to_string(want.size()) || items.size() != want.size()) {
            errors.push_back(path + ": count " + got.show + " and " + std::to_string(items.size()) +
                             " elements shown for " + std::to_string(want.size()));
            return;
        }
        for (std::size_t i = 0; i < want.size(); ++i) {
            matchValue(want[i], *items[i], path + "[" + std::to_string(i) + "]", errors);
        }
    } else if (want.is_object() && !hexText) {
        matchObject(want, got, path, errors);
    } else if (want.is_number()) {
        if (decimal(got.show) != want.dump()) errors.push_back(path + ": " + got.show + " shown for " + want.dump());
    } else {
        std::string bytes = want.is_string() ? want.get<std::string>() : std::string();
        if (!want.is_string()) zrFromHex(want["hex"].get<std::string>(), bytes);
        if (got.value != lowerHex(bytes)) errors.push_back(path + ": bytes " + got.value + " shown for " + want.dump());
        if (got.show != shownText(want)) errors.push_back(path + ": shown as " + got.show + " for " + want.dump());
    }
}

// A whole packet: the layer's items in order, then each against the JSON.
// An enciphered body shows its fields under the cipher when the dissector
// has the codec module (`deciphered`), and nothing there otherwise.
Errors matchPacket(const Case& c, const PdmlNode& layer, bool deciphered = true, const char* expert = nullptr) {
    const ZrJson& json = c.json;
    const bool plain = json["head"]["encryptType"] == 0;
    std::vector<std::string> layout{"zrpacket.head", "zrpacket.class"};
    if (json.contains("body")) {
        layout.push_back("zrpacket.keyByte");
        layout.push_back(plain ? "zrpacket.body" : "zrpacket.cipher");
    }
    layout.push_back("zrpacket.etx");
    const std::vector<const PdmlNode*> items = shown(layer);
    std::vector<std::string> names;
    for (const PdmlNode* item : items) names.push_back(item->name);
    if (names != layout) return {"items " + join(names) + " shown for " + join(layout)};

    Errors errors;
    if (layer.size != c.bytes.size()) errors.push_back(std::to_string(layer.size) + " bytes long");
    if (items[1]->show != json["class"]) errors.push_back("class " + items[1]->show);
    matchObject(json["head"], *items[0], "head", errors);
    if (json.contains("body")) {
        matchValue(json["keyByte"], *items[2], "keyByte", errors);
        if (plain) {
            matchObject(json["body"], *items[3], "body", errors);
        } else {
            if (items[3]->size != c.bytes.size() - PKT_ENVELOPE_MIN_LEN) {
                errors.push_back("cipher of " + std::to_string(items[3]->size) + " bytes");
            }
            const std::vector<const PdmlNode*> under = shown(*items[3]);
            if (!deciphered) {
                if (!under.empty()) errors.push_back("the cipher shows " + under.front()->name + " without the module");
            } else if (under.size() != 1 || under.front()->name != "zrpacket.deciphered") {
                errors.push_back("the cipher shows no deciphered body alone");
            } else {
                matchObject(json["body"], *under.front(), "deciphered body", errors);
            }
        }
    }
    if (decimal(items.back()->show) != "3") errors.push_back("end byte " + items.back()->show);
    std::vector<std::string> raised;
    experts(layer, raised);
    if (expert != nullptr && raised == std::vector<std::string>{expert}) raised.clear();
    if (!raised.empty()) errors.push_back("expert infos " + join(raised));
    return errors;
}

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes.at(at) = value;
    return bytes;
}

std::string withSN(std::string bytes, std::uint32_t sn) {
    for (int i = 0; i < 4; ++i) bytes.at(PKT_OFFSET_SN + i) = static_cast<char>(sn >> (24 - 8 * i));
    return bytes;
}

// Bytes as the codec deciphers them under a key byte and variant.
std::string decipher(const std::string& cipher, unsigned char key, char variant) {
    std::string body(PKT_SCRATCH_HALF_LEN, '\0');
    unsigned int length = 0;
    if (ZRIEncrypt::decryptProtocolEx(cipher.data(), static_cast<unsigned int>(cipher.size()), body.data(), length,
                                      key, variant) != 0) {
        throw std::runtime_error("a cipher does not decipher");
    }
    body.resize(length);
    return body;
}

// The body of an enciphered packet as the codec deciphers it.
std::string decipheredBody(const std::string& packet) {
    return decipher(packet.substr(PKT_OFFSET_BODY, packet.size() - PKT_ENVELOPE_MIN_LEN),
                    static_cast<unsigned char>(packet[PKT_OFFSET_KEY]), packet[PKT_OFFSET_ENCRYPT_TYPE]);
}

// An enciphered portal message of two lists of 1 000 texts (about 28 KB)
// whose cipher holds a 0x03 just before a boundary of `segment`-byte
// pieces: a segment that ends in 0x03 inside a packet.
Case portalCutAfter03(std::size_t segment) {
    const ZrPacketClass& row = *ZrCatalogue::find("ZrPortalMsgPacket");
    for (unsigned int attempt = 0;; ++attempt) {
        ZrJson json = zrPacketTemplate(row);
        json["body"]["Request"] = std::vector<std::string>(1000, "a request...");
        json["body"]["Response"] = std::vector<std::string>(1000, "its response");
        json["body"]["ErrorDesc"] = std::to_string(attempt);  // another cipher each time
        std::unique_ptr<ZrAnyPacket> packet = zrPacketFromJson(json);
        std::string bytes(2 * PKT_SCRATCH_HALF_LEN, '\0');
        if (packet->enCode(bytes.data(), static_cast<unsigned int>(bytes.size())) != 0) {
            throw std::runtime_error("the portal message does not encode");
        }
        bytes.resize(packet->getPacketLength());
        for (std::size_t end = segment; end < bytes.size() - 1; end += segment) {
            if (end > PKT_OFFSET_BODY && bytes[end - 1] == '\x03') return decodedCase(row, "cutAfter03", bytes);
        }
    }
}

// An enciphered packet whose body, deciphered, is changed and enciphered again.
std::string withBody(const std::string& packet, const std::function<void(std::string&)>& change) {
    std::string body = decipheredBody(packet);
    change(body);
    std::string cipher(PKT_SCRATCH_HALF_LEN, '\0');
    unsigned int length = 0;
    unsigned char key = 0;
    if (ZRIEncrypt::encryptProtocolEx(body.data(), static_cast<unsigned int>(body.size()), cipher.data(), length, key,
                                      packet[PKT_OFFSET_ENCRYPT_TYPE]) != 0) {
        throw std::runtime_error("a changed body does not encipher");
    }
    cipher.resize(length);
    return packet.substr(0, PKT_OFFSET_KEY) + static_cast<char>(key) + cipher + packet.back();
}

class DissectorTest : public ::testing::Test {
protected:
    // One frame of a capture: what it carries and what tshark must show.
    struct Frame {
        std::vector<const Case*> packets;  // shown in full, in order
        const char* expert = nullptr;      // or this expert info, raised by a broken packet
        bool inStream = false;             // or a segment of a Stream, checked as a whole
        const char* says = nullptr;        // and the text of an expert info holds this
    };
    // A connection whose writes are cut into small segments: what tshark
    // must show over all its frames, in order (null: bytes that start no
    // packet), wherever the dissector finds each end.
    struct Stream {
        std::string name;
        std::size_t firstFrame = 0, frames = 0;
        std::vector<const Case*> shown;
    };

    static void SetUpTestSuite() {
        try {
            char dir[] = "/tmp/zrpacket_dissector_XXXXXX";
            if (mkdtemp(dir) == nullptr) throw std::runtime_error("no temporary directory");
            s_work = dir;
            s_cases = corpusCases(ZRPACKET_CORPUS_DIR);
            s_corpusCases = s_cases.size();
            const std::vector<Case> samples = sampleCases(ZrCatalogue::classes());
            s_cases.insert(s_cases.end(), samples.begin(), samples.end());
            // The longest packet the dissector reassembles, and one with a
            // text longer than a segment (put last: buildCatalogueCapture
            // takes it from there).
            const std::size_t textOverhead = longTextCase(1).bytes.size() - 1 + 2;  // its length's varint: 3 bytes
            s_cases.push_back(longTextCase(zrpkt::kMaxReassembledPacket - textOverhead));
            if (s_cases.back().bytes.size() != zrpkt::kMaxReassembledPacket) throw std::runtime_error("not 1 MiB");
            s_cases.push_back(longTextCase(kLongText));
            s_probes = probeClasses();
            s_probeCases = sampleCases(s_probes);
            // A length negative as an i32 is the empty text, with nothing after it.
            s_probeCases.push_back(decodedCase(s_probes.front(), "negativeTextLength",
                                               probeWithText(s_probes.front(), "\xFF\xFF\xFF\xFF\x0F")));
            buildCatalogueCapture();
            buildBrokenCapture();
            buildPairCapture();
        } catch (const std::exception& e) {
            s_setupError = e.what();
        }
    }
    static void TearDownTestSuite() {
        if (!s_work.empty()) std::filesystem::remove_all(s_work);
    }
    void SetUp() override { ASSERT_EQ(s_setupError, ""); }

    // Each case alone on the default port and on the other port, then
    // segments of two packets, and one packet over two segments.
    static void buildCatalogueCapture() {
        std::uint16_t client = 20000;
        const Case* longestPlain = nullptr;
        const Case* enciphered = nullptr;
        for (const Case& c : s_cases) {
            for (const std::uint16_t port : {kDefaultPort, kOtherPort}) {
                // A packet larger than a segment goes in several; the last shows it.
                for (std::size_t at = 0; at < c.bytes.size(); at += kSegmentBytes) {
                    s_catalogue.segment(client, port, c.bytes.substr(at, kSegmentBytes));
                    s_expected.push_back({});
                }
                s_expected.back().packets = {&c};
                ++client;
            }
            const bool plain = c.json["head"]["encryptType"] == 0 && c.json.contains("body");
            if (plain && c.bytes.size() <= kSegmentBytes / 2 &&
                (longestPlain == nullptr || c.bytes.size() > longestPlain->bytes.size())) {
                longestPlain = &c;
            }
            if (!plain && c.json.contains("body") && enciphered == nullptr) enciphered = &c;
        }
        s_plain = longestPlain;
        s_enciphered = enciphered;
        const Case* keepAlive =
            &*std::find_if(s_cases.begin(), s_cases.end(), [](const Case& c) { return !c.json.contains("body"); });
        const std::string& plain = s_plain->bytes;
        const std::size_t third = plain.size() / 3;
        for (const std::uint16_t port : {kDefaultPort, kOtherPort}) {
            s_catalogue.segment(client++, port, plain + plain);
            s_catalogue.segment(client++, port, plain + s_enciphered->bytes);
            s_catalogue.segment(client, port, plain.substr(0, plain.size() / 2));
            s_catalogue.segment(client++, port, plain.substr(plain.size() / 2));
            // The last of three segments also carries a keep-alive.
            s_catalogue.segment(client, port, plain.substr(0, third));
            s_catalogue.segment(client, port, plain.substr(third, third));
            s_catalogue.segment(client++, port, plain.substr(2 * third) + keepAlive->bytes);
            s_expected.push_back({{s_plain, s_plain}});
            s_expected.push_back({{s_plain, s_enciphered}});
            s_expected.push_back({});
            s_expected.push_back({{s_plain}});
            s_expected.push_back({});
            s_expected.push_back({});
            s_expected.push_back({{s_plain, keepAlive}});
        }
        // A packet with a text longer than a segment, sent as an Ethernet
        // link would; it ends inside its last segment, before a keep-alive.
        const Case& longText = s_cases.back();  // put last by SetUpTestSuite
        const std::string longWrite = longText.bytes + keepAlive->bytes;
        for (std::size_t at = 0; at < longWrite.size(); at += kEthernetSegmentBytes) {
            s_catalogue.segment(client, kDefaultPort, longWrite.substr(at, kEthernetSegmentBytes));
            s_expected.push_back({});
        }
        s_expected.back().packets = {&longText, keepAlive};
        ++client;
        // The whole corpus on one connection: in 50-byte segments, so that
        // most enciphered packets end where a plausible head follows their
        // end byte, and packet by packet in 20-byte segments, so that each
        // ends with a segment.
        std::vector<const Case*> corpus;
        std::vector<std::string> writes;
        for (std::size_t i = 0; i < s_corpusCases; ++i) {
            corpus.push_back(&s_cases[i]);
            writes.push_back(s_cases[i].bytes);
        }
        std::string whole;
        for (const std::string& bytes : writes) whole += bytes;
        addStream("the corpus written at once", client++, kDefaultPort, {whole}, 50, corpus);
        addStream("the corpus packet by packet", client++, kOtherPort, writes, 20, corpus);
        // One packet, whatever 0x03 its segments end in.
        s_portal = portalCutAfter03(kEthernetSegmentBytes);
        addStream("an enciphered packet with a segment ending in a cipher 0x03", client++, kDefaultPort,
                  {s_portal.bytes}, kEthernetSegmentBytes, {&s_portal});
        // Bytes that start no packet, one of them a false start byte, are
        // passed over up to the next plausible head; so are bytes after an
        // enciphered packet that ends with its segment.
        const Case* small = &*std::find_if(s_cases.begin(), s_cases.end(), [](const Case& c) {
            return c.json["head"]["encryptType"] == 0 && c.json.contains("body");
        });
        addStream("stray bytes", client++, kDefaultPort,
                  {"junk!", small->bytes, "more junk", s_enciphered->bytes, "tail", small->bytes, "\x02\x03junk",
                   small->bytes},
                  10, {nullptr, small, nullptr, s_enciphered, nullptr, small, nullptr, small});
        // A string that claims about 2 GB is flagged at once rather than
        // waited for: reassembly would hold the rest of the stream. (Bodies
        // hold char[N] texts only inside records, so a text first is a string.)
        for (const Case& c : s_cases) {
            const ZrJson& body = c.json.contains("body") ? c.json["body"] : ZrJson::object();
            if (c.json["head"]["encryptType"] != 0 || body.empty() || !body.begin()->is_string()) continue;
            const bool compact = ZrCatalogue::find(c.json["class"].get<std::string>())->mode == ZrBodyMode::Compact;
            std::string bytes =
                c.bytes.substr(0, PKT_OFFSET_BODY) + (compact ? "\xF0\xFF\xFF\xFF\x07" : "\x7F\xFF\xFF\xF0");
            s_catalogue.segment(client++, kDefaultPort, bytes + std::string(100, 'x'));
            s_expected.push_back({{}, "zrpacket.expert.not_a_packet"});
            break;
        }
        s_catalogue.save(s_work + "/catalogue.pcap");
        s_catalogueFrames = pdmlFrames(runTshark(ZRPACKET_LUA, s_work + "/catalogue.pcap", "", s_work));
        // In two passes, as Wireshark dissects a frame again when it is
        // shown, and without a tree on the first.
        std::istringstream info(runTshark(ZRPACKET_LUA, s_work + "/catalogue.pcap", "-2", s_work,
                                          "-T fields -e _ws.col.Protocol -e _ws.col.Info"));
        for (std::string line; std::getline(info, line);) {
            const std::vector<std::string> columns = split(line, "\t");
            s_catalogueInfo.push_back(columns.front() == "zrpacket" ? columns.back() : "");
        }
    }

    // Each of `writes` cut into segments of at most `size` bytes, on one
    // connection.
    static void addStream(const std::string& name, std::uint16_t client, std::uint16_t port,
                          const std::vector<std::string>& writes, std::size_t size, std::vector<const Case*> shown) {
        const std::size_t first = s_catalogue.frames();
        for (const std::string& bytes : writes) {
            for (std::size_t at = 0; at < bytes.size(); at += size) {
                s_catalogue.segment(client, port, bytes.substr(at, size));
                s_expected.push_back({{}, nullptr, true});
            }
        }
        s_streams.push_back({name, first, s_catalogue.frames() - first, std::move(shown)});
    }

    // Broken packets and the probe classes, read by a dissector that knows
    // the probes, with TCP reassembly off so that a cut packet stays cut.
    static void buildBrokenCapture() {
        const std::string& plain = s_plain->bytes;
        const std::string& enciphered = s_enciphered->bytes;
        const std::size_t last = plain.size() - 1;
        const std::pair<std::string, const char*> broken[] = {
            {withByte(plain, last, 0x04), "zrpacket.expert.end_byte"},
            {withByte(enciphered, enciphered.size() - 1, 0x04), "zrpacket.expert.end_byte"},
            {plain.substr(0, PKT_OFFSET_BODY + (last - PKT_OFFSET_BODY) / 2), "zrpacket.expert.truncated"},
            {plain.substr(0, last), "zrpacket.expert.truncated"},
            {plain.substr(0, PKT_HEAD_FIXED_LEN - 1), "zrpacket.expert.truncated"},
            {enciphered.substr(0, PKT_OFFSET_BODY), "zrpacket.expert.truncated"},
            {withByte(enciphered, PKT_OFFSET_ENCRYPT_TYPE, 9), "zrpacket.expert.malformed"},
            {probeWithTooManyElements(), "zrpacket.expert.malformed"},
            {probeWithText(s_probes.front(),
                           "\x06"
                           "abcdef"),
             "zrpacket.expert.malformed"},  // char[6] holds 5
            {withByte(plain, PKT_OFFSET_CMDID, 0x7F), "zrpacket.expert.unknown_command"},
            {"not a packet", "zrpacket.expert.stray"},
        };
        PcapWriter capture;
        std::uint16_t client = 30000;
        // This dissector has no codec module beside it: it reads plain
        // bodies by its own rules, ciphers show as they are, and the first
        // says once why.
        const char* once = "zrpacket.expert.no_codec";
        for (std::size_t i = 0; i < s_corpusCases; ++i) {
            const bool sentPlain = s_cases[i].json["head"]["encryptType"] == 0;
            capture.segment(client++, kDefaultPort, s_cases[i].bytes);
            s_brokenExpected.push_back({{&s_cases[i]}, sentPlain ? nullptr : std::exchange(once, nullptr)});
        }
        for (const auto& [bytes, expert] : broken) {
            capture.segment(client++, kDefaultPort, bytes);
            s_brokenExpected.push_back({{}, expert});
        }
        for (const Case& c : s_probeCases) {
            capture.segment(client++, kDefaultPort, c.bytes);
            s_brokenExpected.push_back({{&c}});
        }
        capture.save(s_work + "/broken.pcap");
        std::vector<ZrPacketClass> classes = ZrCatalogue::classes();
        classes.insert(classes.end(), s_probes.begin(), s_probes.end());
        std::ofstream(s_work + "/probes.lua") << zrpkt::dissectorLua(classes);
        const std::string noReassembly = "-o tcp.desegment_tcp_streams:FALSE";
        s_brokenFrames = pdmlFrames(runTshark(s_work + "/probes.lua", s_work + "/broken.pcap", noReassembly, s_work));
        // Bodies that decipher into bytes their fields do not read to the
        // end, or that no receiver accepts, read with the module.
        // Reassembled, one that is short would wait for bytes that may end
        // it, as a receiver does.
        // Its text is the library's, where the module reads the body.
        using Change = std::function<void(std::string&)>;
        const std::tuple<const Case*, Change, const char*, const char*> unread[] = {
            {s_enciphered, [](std::string& body) { body += 'x'; }, "zrpacket.expert.malformed", nullptr},
            {s_enciphered, [](std::string& body) { body.pop_back(); }, "zrpacket.expert.truncated", nullptr},
            {s_enciphered, [](std::string& body) { body.clear(); }, "zrpacket.expert.truncated", nullptr},
            // Its first list's count, 1000 (E8 07), made 1001.
            {&s_portal, [](std::string& body) { body.at(0) = '\xE9'; }, "zrpacket.expert.malformed",
             "Malformed: ZrPortalMsgPacket: body.Request: count 1001"},
        };
        PcapWriter unreadCapture;
        for (const auto& [packet, change, expert, says] : unread) {
            unreadCapture.segment(client++, kDefaultPort, withBody(packet->bytes, change));
            s_unreadExpected.push_back({{}, expert, false, says});
        }
        unreadCapture.save(s_work + "/unread.pcap");
        s_unreadFrames = pdmlFrames(runTshark(ZRPACKET_LUA, s_work + "/unread.pcap", noReassembly, s_work));
    }

    // Requests and replies on two connections to the default port, replies
    // out of order, two in one segment, one reply lost and one sent twice, a
    // request sent again before its reply came, a delay that seconds in
    // binary floating point do not hold exactly (1.4 - 1.1):
    // kPairs below says what each packet must show.
    static void buildPairCapture() {
        const Case& plain = *std::find_if(s_cases.begin(), s_cases.end(), [](const Case& c) {
            return c.json["head"]["encryptType"] == 0 && c.json.contains("body");
        });
        const std::string& enciphered = s_enciphered->bytes;
        PcapWriter capture;
        using D = PcapWriter::Direction;
        const std::uint16_t a = 41001, b = 41002;
        capture.segment(a, kDefaultPort, withSN(plain.bytes, 1), D::ToServer, 0);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 1), D::ToServer, 10000);
        capture.segment(a, kDefaultPort, withSN(plain.bytes, 3) + withSN(enciphered, 2), D::ToServer, 20000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 1), D::ToClient, 50000);
        capture.segment(a, kDefaultPort, withSN(enciphered, 2), D::ToClient, 300000);
        capture.segment(a, kDefaultPort, withSN(plain.bytes, 3) + withSN(plain.bytes, 1), D::ToClient, 500000);
        capture.segment(a, kDefaultPort, withSN(plain.bytes, 1), D::ToClient, 600000);
        capture.segment(b, kDefaultPort, withSN(enciphered, 4), D::ToServer, 700000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 5), D::ToServer, 720000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 5), D::ToServer, 740000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 5), D::ToClient, 750000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 6), D::ToServer, 1100000);
        capture.segment(b, kDefaultPort, withSN(plain.bytes, 6), D::ToClient, 1400000);
        capture.save(s_work + "/pairs.pcap");
        s_pairFrames = pdmlFrames(runTshark(ZRPACKET_LUA, s_work + "/pairs.pcap", "-2", s_work));
        // One pass is enough for a reply to know its request.
        std::istringstream slow(runTshark(ZRPACKET_LUA, s_work + "/pairs.pcap", "-Y 'zrpacket.time > 0.1'", s_work,
                                          "-T fields -e frame.number"));
        for (std::string line; std::getline(slow, line);) s_slowReplies.push_back(line);
    }

    static void expectFrames(const std::vector<Frame>& expected, const std::vector<PdmlFrame>& frames,
                             bool deciphered) {
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i + 1));
            const Frame& want = expected[i];
            const std::vector<PdmlNode>& layers = frames[i].layers;
            if (want.inStream) continue;
            if (want.expert != nullptr) {
                std::vector<std::string> raised, texts;
                for (const PdmlNode& layer : layers) experts(layer, raised, &texts);
                EXPECT_NE(std::find(raised.begin(), raised.end(), want.expert), raised.end())
                    << want.expert << " not among: " << join(raised);
                EXPECT_TRUE(want.says == nullptr || join(texts, "\n").find(want.says) != std::string::npos)
                    << want.says << " not among: " << join(texts, "\n");
                if (want.packets.empty()) continue;
            }
            ASSERT_EQ(layers.size(), want.packets.size());
            for (std::size_t k = 0; k < want.packets.size(); ++k) {
                EXPECT_EQ(matchPacket(*want.packets[k], layers[k], deciphered, want.expert), Errors{})
                    << want.packets[k]->name;
            }
        }
    }

    static inline std::string s_setupError, s_work;
    static inline std::vector<Case> s_cases, s_probeCases;
    static inline Case s_portal;
    static inline std::size_t s_corpusCases = 0;  // the first of s_cases
    static inline std::vector<ZrPacketClass> s_probes;
    static inline const Case *s_plain = nullptr, *s_enciphered = nullptr;
    static inline PcapWriter s_catalogue;
    static inline std::vector<Frame> s_expected, s_brokenExpected, s_unreadExpected;
    static inline std::vector<Stream> s_streams;
    static inline std::vector<PdmlFrame> s_catalogueFrames, s_brokenFrames, s_unreadFrames;
    static inline std::vector<std::string> s_catalogueInfo;  // each frame's Info column, where zrpacket set it
    static inline std::vector<PdmlFrame> s_pairFrames;
    static inline std::vector<std::string> s_slowReplies;
};

TEST_F(DissectorTest, ShowsEveryFieldOnEitherPortAcrossAndWithinSegments) {
    EXPECT_GE(s_cases.size(), 2 * ZrCatalogue::classes().size());
    expectFrames(s_expected, s_catalogueFrames, true);
}

// How the Info column names a packet, or bytes that start none.
std::string summary(const Case* c) {
    if (c == nullptr) return "bytes that start no packet";
    return c->json["class"].get<std::string>() + ", SN " + c->json["head"]["SN"].dump();
}

// Every packet of a stream, wherever its segments cut it: an enciphered
// packet ends at an end byte before a plausible head or at the end of a
// segment, and bytes that start no packet cost no packet after them. A
// second pass frames the stream the same way.
TEST_F(DissectorTest, ShowsEveryPacketOfAStreamInSmallSegments) {
    ASSERT_EQ(s_catalogueFrames.size(), s_expected.size());
    ASSERT_EQ(s_catalogueInfo.size(), s_expected.size());
    EXPECT_GT(s_corpusCases, 0u);
    for (const Stream& stream : s_streams) {
        SCOPED_TRACE(stream.name);
        std::vector<const PdmlNode*> layers;
        for (std::size_t i = stream.firstFrame; i < stream.firstFrame + stream.frames; ++i) {
            for (const PdmlNode& layer : s_catalogueFrames[i].layers) layers.push_back(&layer);
        }
        EXPECT_EQ(layers.size(), stream.shown.size());
        for (std::size_t k = 0; k < std::min(layers.size(), stream.shown.size()); ++k) {
            if (stream.shown[k] == nullptr) {
                std::vector<std::string> raised;
                experts(*layers[k], raised);
                EXPECT_EQ(raised, std::vector<std::string>{"zrpacket.expert.stray"}) << "item " << k;
            } else {
                EXPECT_EQ(matchPacket(*stream.shown[k], *layers[k]), Errors{})
                    << "item " << k << ", " << stream.shown[k]->name;
            }
        }
        std::vector<std::string> named, want;
        for (std::size_t i = stream.firstFrame; i < stream.firstFrame + stream.frames; ++i) {
            if (s_catalogueInfo[i].empty()) continue;
            for (const std::string& part : split(s_catalogueInfo[i], "; ")) named.push_back(part);
        }
        for (const Case* c : stream.shown) want.push_back(summary(c));
        EXPECT_EQ(named, want);
    }
}

// A reassembly lists each segment once, and the Info column names each
// packet of a frame, however its first one came together.
TEST_F(DissectorTest, ListsEachSegmentOnceAndEveryPacketInInfo) {
    ASSERT_EQ(s_catalogueFrames.size(), s_expected.size());
    ASSERT_EQ(s_catalogueInfo.size(), s_expected.size());
    for (std::size_t i = 0; i < s_expected.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        std::vector<std::string> segments = s_catalogueFrames[i].segments;
        std::sort(segments.begin(), segments.end());
        EXPECT_EQ(std::adjacent_find(segments.begin(), segments.end()), segments.end()) << join(segments);
        std::vector<std::string> summaries;
        for (const Case* c : s_expected[i].packets) summaries.push_back(summary(c));
        if (!summaries.empty()) {
            EXPECT_EQ(s_catalogueInfo[i], join(summaries, "; "));
        }
    }
}

TEST_F(DissectorTest, ShowsEveryWireTypeAndFlagsBrokenPackets) {
    expectFrames(s_brokenExpected, s_brokenFrames, false);
    expectFrames(s_unreadExpected, s_unreadFrames, true);
}

// With the port moved and the heuristic off, only the new port is read.
TEST_F(DissectorTest, PortPreferenceMovesTheDissector) {
    const auto frames = pdmlFrames(
        runTshark(ZRPACKET_LUA, s_work + "/catalogue.pcap",
                  "-o zrpacket.tcp_port:" + std::to_string(kOtherPort) + " --disable-heuristic zrpacket_tcp", s_work));
    ASSERT_EQ(frames.size(), s_expected.size());
    std::size_t frame = 0;
    for (const Case& c : s_cases) {
        for (const std::size_t shown : {0, 1}) {
            frame += (c.bytes.size() - 1) / kSegmentBytes + 1;
            EXPECT_EQ(frames[frame - 1].layers.size(), shown)
                << c.name << (shown ? " on the other port" : " on the default port");
        }
    }
}

// What each packet of the pair capture shows, by frame (from 1) and place in
// the frame: the request it answers with the delay in seconds as shown, or
// the frame of its reply; and the expert info it raises.
struct PairRow {
    std::size_t frame, layer;
    const char* requestIn;
    const char* time;
    const char* responseIn;
    const char* expert;
};
const PairRow kPairs[] = {
    {1, 0, nullptr, nullptr, "6", nullptr},  // answered after a later request of the same connection
    {2, 0, nullptr, nullptr, "4", nullptr},  // its SN and command, on the other connection
    {3, 0, nullptr, nullptr, "6", nullptr},
    {3, 1, nullptr, nullptr, "5", nullptr},  // enciphered
    {4, 0, "2", "0.040000000", nullptr, nullptr},
    {5, 0, "3", "0.280000000", nullptr, nullptr},
    {6, 0, "3", "0.480000000", nullptr, nullptr},
    {6, 1, "1", "0.500000000", nullptr, nullptr},
    {7, 0, "1", "0.600000000", nullptr, "zrpacket.expert.second_reply"},
    {8, 0, nullptr, nullptr, nullptr, "zrpacket.expert.no_reply"},
    {9, 0, nullptr, nullptr, "11", nullptr},  // sent again: the reply answers the oldest, as zrpkt pcap --pair
    {10, 0, nullptr, nullptr, nullptr, "zrpacket.expert.no_reply"},
    {11, 0, "9", "0.030000000", nullptr, nullptr},
    {12, 0, nullptr, nullptr, "13", nullptr},
    {13, 0, "12", "0.300000000", nullptr, nullptr},
};

TEST_F(DissectorTest, PairsEachReplyWithItsRequest) {
    ASSERT_EQ(s_pairFrames.size(), 13u);
    std::size_t layers = 0;
    for (const PdmlFrame& frame : s_pairFrames) layers += frame.layers.size();
    EXPECT_EQ(layers, std::size(kPairs));
    for (const PairRow& row : kPairs) {
        SCOPED_TRACE("frame " + std::to_string(row.frame) + ", packet " + std::to_string(row.layer));
        ASSERT_LT(row.layer, s_pairFrames[row.frame - 1].layers.size());
        const PdmlNode& layer = s_pairFrames[row.frame - 1].layers[row.layer];
        const auto shows = [&](const char* name) {
            const PdmlNode* item = child(layer, name);
            return item == nullptr ? std::string("none") : item->show;
        };
        EXPECT_EQ(shows("zrpacket.request_in"), row.requestIn ? row.requestIn : "none");
        EXPECT_EQ(shows("zrpacket.response_in"), row.responseIn ? row.responseIn : "none");
        EXPECT_EQ(shows("zrpacket.time"), row.time ? row.time : "none");
        std::vector<std::string> raised;
        experts(layer, raised);
        EXPECT_EQ(raised, row.expert ? std::vector<std::string>{row.expert} : std::vector<std::string>{});
    }
    EXPECT_EQ(s_slowReplies, (std::vector<std::string>{"5", "6", "7", "13"}));
}

// The module alone, as the dissector calls it: the body back, or nil and
// why; arguments no caller should pass raise an error; and a packet framed
// by the library.
TEST_F(DissectorTest, CodecModuleDeciphersOrSaysWhy) {
    const std::string& packet = s_enciphered->bytes;
    const std::string cipher = packet.substr(PKT_OFFSET_BODY, packet.size() - PKT_ENVELOPE_MIN_LEN);
    const std::string key = std::to_string(static_cast<unsigned char>(packet[PKT_OFFSET_KEY]));
    const std::string variant = std::to_string(packet[PKT_OFFSET_ENCRYPT_TYPE]);
    const std::pair<std::string, std::string> rows[] = {
        {key + ", " + variant + ", bytes('" + lowerHex(cipher) + "')", "[" + lowerHex(decipheredBody(packet)) + "]"},
        {"0, 1, ''", "[]"},
        {"7, 0, 'ab'", "[nil: encryptType 0 is no variant of the codec (1 to 8)]"},
        {"7, 9, 'ab'", "[nil: encryptType 9 is no variant of the codec (1 to 8)]"},
        {"7, 1, string.rep('x', 30720)",
         "[" + lowerHex(decipher(std::string(PKT_SCRATCH_HALF_LEN, 'x'), 7, 1)) + "]"},  // the longest cipher
        {"7, 1, string.rep('x', 30721)", "[nil: a cipher of 30721 bytes, more than the codec's 30720]"},
        {"255, 2, 'ab'", "[" + lowerHex(decipher("ab", 255, 2)) + "]"},
        {"256, 1, 'ab'", "a key byte is 0 to 255"},
        {"7, 1, {}", "bad argument #3"},
        // measure: the library's framing.
        {"measure, bytes('" + lowerHex(packet + packet) + "')", "[complete " + std::to_string(packet.size()) + "]"},
        {"measure, bytes('" + lowerHex(s_plain->bytes.substr(0, 40)) + "')", "[incomplete "},
        {"measure, bytes('" + lowerHex(withByte(s_plain->bytes, s_plain->bytes.size() - 1, 0x04)) + "')",
         "[not " + s_plain->json["class"].get<std::string>() + ": end byte 0x04"},
        {"measure, 'xy'", "[not byte 0x78 at offset 0 starts no packet"},
        // walk: the library's reading of a body, here a portal message's
        // (two lists of strings, two i32, a string), bytes after it left over.
        {"walk, 'ZrPortalMsgPacket', '\\1\\2ab\\0\\255\\255\\255\\255\\15\\127\\0xyz'",
         "[whole 12 at 12: count 0 1 1, string 2 2, count 4 1 0, i32 5 5 -1, i32 10 1 127, string 12 0]"},
        {"walk, 'ZrPortalMsgPacket', '\\1\\3ab'", "[need 2 at 1: count 0 1 1]"},
        {"walk, 'ZrPortalMsgPacket', '\\233\\7'",
         "[fault ZrPortalMsgPacket: body.Request: count 1001 at offset 34, more than the 1000"},
        {"walk, 'ZrNoSuchPacket', ''", "[nil: no class of the library is named ZrNoSuchPacket]"},
        {"walk, {}, ''", "bad argument #1"},
    };
    std::ofstream script(s_work + "/module.lua");
    script << "package.cpath = '" << std::filesystem::path(ZRPACKET_LUA).parent_path().string() << "/?.so'\n"
           << "local codec = require('zrpacket_codec')\n"
              "local function bytes(h) return (h:gsub('..', function(x) return string.char(tonumber(x, 16)) end)) end\n"
              "local function hex(s) return (s:gsub('.', function(c) return string.format('%02x', c:byte()) end)) end\n"
              "local measure, walk = {}, {}\n"
              "local function row(first, ...)\n"
              "    if first == measure then\n"
              "        local ok, status, value = pcall(codec.measure, ...)\n"
              "        return print('row ' .. (not ok and status or '[' .. status .. ' ' .. value .. ']'))\n"
              "    end\n"
              "    if first == walk then\n"
              "        local ok, fields, status, value, at = pcall(codec.walk, ...)\n"
              "        if not ok then return print('row ' .. fields) end\n"
              "        if fields == nil then return print('row [nil: ' .. status .. ']') end\n"
              "        local shown = {}\n"
              "        for _, f in ipairs(fields) do shown[#shown + 1] = table.concat(f, ' ') end\n"
              "        shown = table.concat(shown, ', ')\n"
              "        return print('row [' .. status .. ' ' .. value .. ' at ' .. at .. ': ' .. shown .. ']')\n"
              "    end\n"
              "    local ok, body, why = pcall(codec.decipher, first, ...)\n"
              "    print('row ' .. (not ok and body or body == nil and '[nil: ' .. why .. ']' or '[' .. hex(body) .. ']'))\n"
              "end\n";
    for (const auto& row : rows) script << "row(" << row.first << ")\n";
    script.close();
    std::istringstream out(
        runTshark(s_work + "/module.lua", s_work + "/pairs.pcap", "-c 1", s_work, "-T fields -e frame.number"));
    std::vector<std::string> results;
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("row ", 0) == 0) results.push_back(line.substr(4));
    }
    ASSERT_EQ(results.size(), std::size(rows));
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_NE(results[i].find(rows[i].second), std::string::npos) << rows[i].first << ": " << results[i];
    }
}

// Names or commands that Wireshark would refuse, or silently merge, only
// show when the file is loaded, so the generator refuses them itself.
TEST(DissectorGenerator, RefusesNamesAndCommandsWiresharkCannotTake) {
    std::vector<ZrPacketClass> classes = probeClasses();
    EXPECT_NO_THROW(zrpkt::dissectorLua(classes));
    std::vector<ZrPacketClass> twice = {classes[0], classes[0]};
    EXPECT_THROW(zrpkt::dissectorLua(twice), std::runtime_error);
    std::vector<ZrPacketClass> oneCommand = classes;
    oneCommand[1].cmdID = oneCommand[0].cmdID;
    EXPECT_THROW(zrpkt::dissectorLua(oneCommand), std::runtime_error);
    classes[1].className = "ZrProbe Packet";
    EXPECT_THROW(zrpkt::dissectorLua(classes), std::runtime_error);
}

}  // namespace

// The generated dissector in a real tshark. Every corpus packet and samples
// of every class go on the default port and on another one (found by the
// heuristic); some segments hold two packets, one packet spans two segments.
// Each field tshark reports is compared with the packet's JSON: the same
// fields in the same order with the same values, texts shown as the JSON
// shows them, and nothing more. Probe classes bring the wire types the
// catalogue may not use yet, and broken packets must raise their expert infos.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "capture.h"
#include "dissector.h"
#include "samples.h"
#include "zr_packet_head.h"

namespace {

using Errors = std::vector<std::string>;

constexpr std::uint16_t kDefaultPort = zrpkt::kDissectorPort;
constexpr std::uint16_t kOtherPort = 47633;
// The most a frame of the capture carries (an IPv4 packet holds 65535 bytes).
constexpr std::size_t kSegmentBytes = 60000;

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The items the JSON has too: not the STX, a text's echo or an expert info.
std::vector<const PdmlNode*> shown(const PdmlNode& node) {
    std::vector<const PdmlNode*> items;
    for (const PdmlNode& child : node.children) {
        if (child.name != "zrpacket.stx" && child.name != "zrpacket.echo" && child.name != "_ws.expert") {
            items.push_back(&child);
        }
    }
    return items;
}

void experts(const PdmlNode& node, std::vector<std::string>& names) {
    for (const PdmlNode& child : node.children) {
        if (child.name == "_ws.expert" && !child.children.empty()) names.push_back(child.children.front().name);
        experts(child, names);
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
Errors matchPacket(const Case& c, const PdmlNode& layer) {
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
        } else if (items[3]->size != c.bytes.size() - PKT_ENVELOPE_MIN_LEN) {
            errors.push_back("cipher of " + std::to_string(items[3]->size) + " bytes");
        }
    }
    if (decimal(items.back()->show) != "3") errors.push_back("end byte " + items.back()->show);
    std::vector<std::string> raised;
    experts(layer, raised);
    if (!raised.empty()) errors.push_back("expert infos " + join(raised));
    return errors;
}

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes.at(at) = value;
    return bytes;
}

class DissectorTest : public ::testing::Test {
protected:
    // One frame of a capture: what it carries and what tshark must show.
    struct Frame {
        std::vector<const Case*> packets;  // shown in full, in order
        const char* expert = nullptr;      // or this expert info, raised by a broken packet
    };

    static void SetUpTestSuite() {
        try {
            char dir[] = "/tmp/zrpacket_dissector_XXXXXX";
            if (mkdtemp(dir) == nullptr) throw std::runtime_error("no temporary directory");
            s_work = dir;
            s_cases = corpusCases(ZRPACKET_CORPUS_DIR);
            const std::vector<Case> samples = sampleCases(ZrCatalogue::classes());
            s_cases.insert(s_cases.end(), samples.begin(), samples.end());
            s_probes = probeClasses();
            s_probeCases = sampleCases(s_probes);
            // A length negative as an i32 is the empty text, with nothing after it.
            s_probeCases.push_back(decodedCase(s_probes.front(), "negativeTextLength",
                                               probeWithText(s_probes.front(), "\xFF\xFF\xFF\xFF\x0F")));
            buildCatalogueCapture();
            buildBrokenCapture();
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
        for (const std::uint16_t port : {kDefaultPort, kOtherPort}) {
            s_catalogue.segment(client++, port, s_plain->bytes + s_plain->bytes);
            s_catalogue.segment(client++, port, s_plain->bytes + s_enciphered->bytes);
            s_catalogue.segment(client, port, s_plain->bytes.substr(0, s_plain->bytes.size() / 2));
            s_catalogue.segment(client++, port, s_plain->bytes.substr(s_plain->bytes.size() / 2));
            s_expected.push_back({{s_plain, s_plain}});
            s_expected.push_back({{s_plain, s_enciphered}});
            s_expected.push_back({});
            s_expected.push_back({{s_plain}});
        }
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
            s_expected.push_back({{}, "zrpacket.expert.truncated"});
            break;
        }
        s_catalogue.save(s_work + "/catalogue.pcap");
        s_catalogueFrames = zrpacketLayers(runTshark(ZRPACKET_LUA, s_work + "/catalogue.pcap", "", s_work));
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
        s_brokenFrames = zrpacketLayers(
            runTshark(s_work + "/probes.lua", s_work + "/broken.pcap", "-o tcp.desegment_tcp_streams:FALSE", s_work));
    }

    static void expectFrames(const std::vector<Frame>& expected, const std::vector<std::vector<PdmlNode>>& frames) {
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i + 1));
            const Frame& want = expected[i];
            if (want.expert != nullptr) {
                std::vector<std::string> raised;
                for (const PdmlNode& layer : frames[i]) experts(layer, raised);
                EXPECT_NE(std::find(raised.begin(), raised.end(), want.expert), raised.end())
                    << want.expert << " not among: " << join(raised);
                continue;
            }
            ASSERT_EQ(frames[i].size(), want.packets.size());
            for (std::size_t k = 0; k < want.packets.size(); ++k) {
                EXPECT_EQ(matchPacket(*want.packets[k], frames[i][k]), Errors{}) << want.packets[k]->name;
            }
        }
    }

    static inline std::string s_setupError, s_work;
    static inline std::vector<Case> s_cases, s_probeCases;
    static inline std::vector<ZrPacketClass> s_probes;
    static inline const Case *s_plain = nullptr, *s_enciphered = nullptr;
    static inline PcapWriter s_catalogue;
    static inline std::vector<Frame> s_expected, s_brokenExpected;
    static inline std::vector<std::vector<PdmlNode>> s_catalogueFrames, s_brokenFrames;
};

TEST_F(DissectorTest, ShowsEveryFieldOnEitherPortAcrossAndWithinSegments) {
    EXPECT_GE(s_cases.size(), 2 * ZrCatalogue::classes().size());
    expectFrames(s_expected, s_catalogueFrames);
}

TEST_F(DissectorTest, ShowsEveryWireTypeAndFlagsBrokenPackets) { expectFrames(s_brokenExpected, s_brokenFrames); }

// With the port moved and the heuristic off, only the new port is read.
TEST_F(DissectorTest, PortPreferenceMovesTheDissector) {
    const auto frames = zrpacketLayers(
        runTshark(ZRPACKET_LUA, s_work + "/catalogue.pcap",
                  "-o zrpacket.tcp_port:" + std::to_string(kOtherPort) + " --disable-heuristic zrpacket_tcp", s_work));
    ASSERT_EQ(frames.size(), s_expected.size());
    std::size_t frame = 0;
    for (const Case& c : s_cases) {
        for (const std::size_t shown : {0, 1}) {
            frame += (c.bytes.size() - 1) / kSegmentBytes + 1;
            EXPECT_EQ(frames[frame - 1].size(), shown)
                << c.name << (shown ? " on the other port" : " on the default port");
        }
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

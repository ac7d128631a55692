// The generated dissector in a real tshark. Every corpus packet and samples
// of every class go on the default port and on another one (found by the
// heuristic); some segments hold two packets, one packet spans two or three
// segments, and the whole corpus goes as one stream cut into small segments.
// Each field tshark reports is compared with the packet's JSON: the same
// fields in the same order with the same values, texts shown as the JSON
// shows them, and nothing more. Probe classes bring the wire types the
// catalogue may not use yet, and broken packets must raise their expert infos.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
        bool inStream = false;             // or a segment of a Stream, checked as a whole
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
            s_cases.push_back(longTextCase(kLongText));
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
            s_expected.push_back({{}, "zrpacket.expert.truncated"});
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
        s_brokenFrames = pdmlFrames(
            runTshark(s_work + "/probes.lua", s_work + "/broken.pcap", "-o tcp.desegment_tcp_streams:FALSE", s_work));
    }

    static void expectFrames(const std::vector<Frame>& expected, const std::vector<PdmlFrame>& frames) {
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i + 1));
            const Frame& want = expected[i];
            const std::vector<PdmlNode>& layers = frames[i].layers;
            if (want.inStream) continue;
            if (want.expert != nullptr) {
                std::vector<std::string> raised;
                for (const PdmlNode& layer : layers) experts(layer, raised);
                EXPECT_NE(std::find(raised.begin(), raised.end(), want.expert), raised.end())
                    << want.expert << " not among: " << join(raised);
                continue;
            }
            ASSERT_EQ(layers.size(), want.packets.size());
            for (std::size_t k = 0; k < want.packets.size(); ++k) {
                EXPECT_EQ(matchPacket(*want.packets[k], layers[k]), Errors{}) << want.packets[k]->name;
            }
        }
    }

    static inline std::string s_setupError, s_work;
    static inline std::vector<Case> s_cases, s_probeCases;
    static inline std::size_t s_corpusCases = 0;  // the first of s_cases
    static inline std::vector<ZrPacketClass> s_probes;
    static inline const Case *s_plain = nullptr, *s_enciphered = nullptr;
    static inline PcapWriter s_catalogue;
    static inline std::vector<Frame> s_expected, s_brokenExpected;
    static inline std::vector<Stream> s_streams;
    static inline std::vector<PdmlFrame> s_catalogueFrames, s_brokenFrames;
    static inline std::vector<std::string> s_catalogueInfo;  // each frame's Info column, where zrpacket set it
};

TEST_F(DissectorTest, ShowsEveryFieldOnEitherPortAcrossAndWithinSegments) {
    EXPECT_GE(s_cases.size(), 2 * ZrCatalogue::classes().size());
    expectFrames(s_expected, s_catalogueFrames);
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

TEST_F(DissectorTest, ShowsEveryWireTypeAndFlagsBrokenPackets) { expectFrames(s_brokenExpected, s_brokenFrames); }

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

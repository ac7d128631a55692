// The golden corpus (tests/corpus): every stored packet decodes to exactly
// its stored JSON, and that JSON encodes back to exactly the stored bytes
// (an enciphered packet, whose variant is drawn anew, to the same JSON).
// When code and corpus disagree these fail; `cmake --build <build dir>
// --target corpus` writes the corpus anew once the change is meant.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "test_util.h"
#include "zr_json.h"

using zrtest::CorpusFile;

namespace {

std::vector<char> encode(ZrAnyPacket& p) {
    std::vector<char> wire(1 << 16);
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size()))) << p.head().getLastErrMsg();
    wire.resize(p.getPacketLength());
    return wire;
}

std::unique_ptr<ZrAnyPacket> decode(const std::vector<char>& wire, const ZrPacketClass* row) {
    std::string error;
    std::unique_ptr<ZrAnyPacket> p =
        ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, row);
    EXPECT_TRUE(p) << error;
    return p;
}

// The JSON without what the codec chooses anew on each enCode.
ZrJson withoutCipherChoice(ZrJson json) {
    json["head"].erase("encryptType");
    json.erase("keyByte");
    return json;
}

class GoldenPacket : public ::testing::TestWithParam<CorpusFile> {};

INSTANTIATE_TEST_SUITE_P(Corpus, GoldenPacket, ::testing::ValuesIn(zrtest::corpusFiles()), zrtest::fileTestName);

TEST_P(GoldenPacket, DecodesToItsJsonAndEncodesBack) {
    const CorpusFile& file = GetParam();
    ASSERT_NE(nullptr, file.row) << "no class is named " << file.className;
    std::unique_ptr<ZrAnyPacket> decoded = decode(file.bytes, file.row);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(file.json, zrPacketToJson(*decoded).dump(2) + "\n");  // as zrpkt decode --pretty prints it
    std::string line;  // as zrpkt decode prints it, written without the tree
    zrAppendPacketJson(*decoded, line);
    EXPECT_EQ(zrPacketToJson(*decoded).dump(), line);

    std::unique_ptr<ZrAnyPacket> fromJson = zrPacketFromJson(ZrJson::parse(file.json));
    EXPECT_EQ(file.row, &fromJson->packetClass());
    if (file.bytes[PKT_OFFSET_ENCRYPT_TYPE] == 0) {
        EXPECT_EQ(zrtest::hex(file.bytes), zrtest::hex(encode(*fromJson)));
    } else {
        const ZrJson stored = withoutCipherChoice(ZrJson::parse(file.json));
        for (ZrAnyPacket* source : {decoded.get(), fromJson.get()}) {
            std::unique_ptr<ZrAnyPacket> again = decode(encode(*source), file.row);
            ASSERT_TRUE(again);
            EXPECT_EQ(stored.dump(), withoutCipherChoice(zrPacketToJson(*again)).dump());
        }
    }
    if (decoded->head().getCmdID() == file.row->cmdID) {  // found by its command alone
        const std::unique_ptr<ZrAnyPacket> byCommand = decode(file.bytes, nullptr);
        EXPECT_TRUE(byCommand && &byCommand->packetClass() == file.row);
    }
}

// Fails for a class added without regenerating the corpus: every class has
// a plain, byte-exact packet and one under its own command.
TEST(Corpus, HoldsAPlainPacketAndOneUnderItsOwnCommandOfEveryClass) {
    std::set<std::string> plain, ownCommand;
    for (const CorpusFile& file : zrtest::corpusFiles()) {
        if (file.bytes.size() < PKT_HEAD_FIXED_LEN || file.row == nullptr) continue;  // the test above tells
        if (file.bytes[PKT_OFFSET_ENCRYPT_TYPE] == 0) plain.insert(file.className);
        if (ZrCPacketHead::fastGetCmdID(file.bytes.data(), PKT_HEAD_FIXED_LEN) == file.row->cmdID) {
            ownCommand.insert(file.className);
        }
    }
    for (const ZrPacketClass& row : ZrCatalogue::classes()) {
        EXPECT_TRUE(plain.count(row.className) && ownCommand.count(row.className))
            << row.className << " is missing from tests/corpus: cmake --build <build dir> --target corpus";
    }
}

}  // namespace

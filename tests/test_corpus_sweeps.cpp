// Every golden packet made hostile: cut at every shorter length, each byte
// set to 00, FF and its value plus and minus one, each head field patched
// through the raw accessors. Every decode, by the file's class and through
// the catalogue by command, comes back cleanly (exact-size buffers, so the
// sanitizer builds catch any byte touched outside them): 0 or -1; a packet
// that decodes re-encodes to the same fields; after a failure the same
// object decodes the original packet again to the same fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "field_tools.h"
#include "packet_checks.h"

using zrtest::CorpusFile;

namespace {

class Sweep {
public:
    explicit Sweep(const CorpusFile& file) : m_file(file), m_packet(file.row->create()), m_original(original()) {}

    // The result of decoding `bytes`, made from the file's as `what` says.
    int check(const std::vector<char>& bytes, const std::string& what) {
        const auto length = static_cast<unsigned int>(bytes.size());
        std::unique_ptr<char[]> exact(new char[length]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        const int result = m_packet->deCode(exact.get(), length);
        if (result == 0) {
            EXPECT_EQ("", zrfuzz::checkReencodes(*m_packet)) << what;
        } else {
            EXPECT_EQ(-1, result) << what;
            EXPECT_EQ(m_original, original()) << what << ", then the original";
        }
        std::string error;
        const bool byCommand = ZrCatalogue::decode(exact.get(), length, error) != nullptr;
        EXPECT_TRUE(byCommand || !error.empty()) << what << ", by command: a failure without a reason";
        return result;
    }
    std::string body() { return zrtest::dumpBody(*m_packet); }

private:
    std::string original() {
        std::vector<char> copy = m_file.bytes;
        const int result = m_packet->deCode(copy.data(), static_cast<unsigned int>(copy.size()));
        return result != 0 ? m_packet->head().getLastErrMsg() : zrtest::dumpHead(m_packet->head()) + body();
    }

    const CorpusFile& m_file;
    std::unique_ptr<ZrAnyPacket> m_packet;
    const std::string m_original;
};

class SweptPacket : public ::testing::TestWithParam<CorpusFile> {
protected:
    void SetUp() override { ASSERT_NE(nullptr, GetParam().row) << "no class is named " << GetParam().className; }
};

INSTANTIATE_TEST_SUITE_P(Corpus, SweptPacket, ::testing::ValuesIn(zrtest::corpusFiles()), zrtest::fileTestName);

// A plain body needs every byte up to its ETX.
TEST_P(SweptPacket, CutAtEveryLength) {
    const std::vector<char>& bytes = GetParam().bytes;
    const bool plain = bytes[PKT_OFFSET_ENCRYPT_TYPE] == 0;
    Sweep sweep(GetParam());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::string what = "cut to " + std::to_string(length);
        const int result = sweep.check({bytes.begin(), bytes.begin() + length}, what);
        if (plain) {
            EXPECT_EQ(-1, result) << what;
        }
    }
}

// A changed STX or ETX always fails.
TEST_P(SweptPacket, EveryByteChanged) {
    const std::vector<char>& bytes = GetParam().bytes;
    Sweep sweep(GetParam());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto was = static_cast<unsigned char>(bytes[i]);
        for (const unsigned char value : {0x00, 0xFF, was + 1, was - 1}) {
            if (value == was) continue;
            std::vector<char> changed = bytes;
            changed[i] = static_cast<char>(value);
            const std::string what = "byte " + std::to_string(i) + " = " + zrtest::hex(&value, 1);
            const int result = sweep.check(changed, what);
            if (i == 0 || i + 1 == bytes.size()) {
                EXPECT_EQ(-1, result) << what;
            }
        }
    }
}

struct HeadField {
    const char* name;
    unsigned int (*get)(const char*, unsigned int);
    int (*set)(char*, unsigned int, unsigned int);
    unsigned int allOnes;
};

template <class T, T (*Get)(const char*, unsigned int), int (*Set)(char*, unsigned int, T)>
HeadField headField(const char* name) {
    return {name, [](const char* b, unsigned int n) -> unsigned int { return Get(b, n); },
            [](char* b, unsigned int n, unsigned int v) { return Set(b, n, static_cast<T>(v)); },
            std::numeric_limits<T>::max()};
}

using H = ZrCPacketHead;
const HeadField kHeadFields[] = {
    headField<unsigned short, &H::fastGetVersion, &H::fastSetVersion>("version"),
    headField<unsigned int, &H::fastGetCmdID, &H::fastSetCmdID>("cmdID"),
    headField<unsigned char, &H::fastGetSubcmdID, &H::fastSetSubcmdID>("subcmdID"),
    headField<unsigned int, &H::fastGetUserID, &H::fastSetUserID>("userID"),
    headField<unsigned int, &H::fastGetSN, &H::fastSetSN>("SN"),
    headField<unsigned char, &H::fastGetEncryptType, &H::fastSetEncryptType>("encryptType"),
    headField<unsigned int, &H::fastGetContext1, &H::fastSetContext1>("context1"),
    headField<unsigned int, &H::fastGetContext2, &H::fastSetContext2>("context2"),
    headField<unsigned int, &H::fastGetContext3, &H::fastSetContext3>("context3"),
    headField<unsigned int, &H::fastGetContext4, &H::fastSetContext4>("context4"),
};

// Each head field to 0, all ones and its value plus one. Only the encrypt
// type bears on the body: with any other field patched the packet decodes
// to the same body. An encrypt type beyond the codec's fails every body.
TEST_P(SweptPacket, EveryHeadFieldPatched) {
    const std::vector<char>& bytes = GetParam().bytes;
    const auto length = static_cast<unsigned int>(bytes.size());
    Sweep sweep(GetParam());
    const std::string body = sweep.body();
    for (const HeadField& field : kHeadFields) {
        for (const unsigned int value : {0u, field.allOnes, field.get(bytes.data(), length) + 1}) {
            std::vector<char> patched = bytes;
            ASSERT_EQ(0, field.set(patched.data(), length, value));
            const std::string what = std::string(field.name) + " = " + std::to_string(value & field.allOnes);
            const int result = sweep.check(patched, what);
            if (std::string(field.name) != "encryptType") {
                EXPECT_EQ(0, result) << what;
                EXPECT_EQ(body, sweep.body()) << what;
            } else if (value == field.allOnes && GetParam().row->mode != ZrBodyMode::None) {
                EXPECT_EQ(-1, result) << what;
            }
        }
    }
}

}  // namespace

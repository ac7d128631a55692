// The golden corpus of tests/corpus as the tests read it: every packet file
// (CLASS.VARIANT.bin) with its class and the JSON beside it.
#ifndef ZRPACKET_TESTS_CORPUS_FILES_H
#define ZRPACKET_TESTS_CORPUS_FILES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "zr_catalogue.h"

namespace zrtest {

struct CorpusFile {
    std::string name;          // CLASS.VARIANT
    std::string className;     // CLASS
    const ZrPacketClass* row;  // null when no class has that name
    std::vector<char> bytes;   // of the .bin
    std::string json;          // of the .json, as zrpkt decode --pretty prints it
};

// In test names (CLASS_VARIANT) and failure texts, by its name.
inline void PrintTo(const CorpusFile& file, std::ostream* out) { *out << file.name; }
inline std::string fileTestName(const ::testing::TestParamInfo<CorpusFile>& info) {
    std::string name = info.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every .bin file of ZRPACKET_CORPUS_DIR, in name order.
inline std::vector<CorpusFile> corpusFiles() {
    std::vector<CorpusFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(ZRPACKET_CORPUS_DIR)) {
        std::filesystem::path path = entry.path();
        if (path.extension() != ".bin") continue;
        const std::string name = path.stem().string(), bytes = readFile(path);
        const std::string className = name.substr(0, name.find('.'));
        files.push_back({name,
                         className,
                         ZrCatalogue::find(className),
                         {bytes.begin(), bytes.end()},
                         readFile(path.replace_extension(".json"))});
    }
    std::sort(files.begin(), files.end(), [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
    return files;
}

}  // namespace zrtest

#endif  // ZRPACKET_TESTS_CORPUS_FILES_H

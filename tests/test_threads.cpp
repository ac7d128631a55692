// Distinct packet objects used on several threads at once, plain and
// enciphered, so that the random variant draw and the codec run
// concurrently; the "tsan" preset runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 50;

TEST(Threads, DistinctObjectsEncodeAndDecodeConcurrently) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches] {
            const std::vector<ZrPacketClass>& classes = ZrCatalogue::classes();
            std::vector<char> wire(64 * 1024);
            for (int round = 0; round < kRounds; ++round) {
                const ZrPacketClass& row = classes[(t * 7 + round) % classes.size()];
                std::unique_ptr<ZrAnyPacket> out = row.create();
                zrtest::FieldFiller filler(round % 2 ? zrtest::Fill::Large : zrtest::Fill::Extremes);
                out->visitFields(filler);
                out->head().setCmdID(round % 3 == 0 ? 9 : 5);  // plain, then enciphered twice
                if (out->enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) {
                    ++mismatches;
                    continue;
                }
                std::string error;
                std::unique_ptr<ZrAnyPacket> in = ZrCatalogue::decode(wire.data(), out->getPacketLength(), error, &row);
                if (!in || zrtest::dumpBody(*in) != zrtest::dumpBody(*out)) ++mismatches;
                ZRIEncrypt::creaseInstanece(static_cast<unsigned char>(1 + round % 8));  // the shared instance
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, mismatches.load());
    EXPECT_NE(nullptr, ZRIEncrypt::creaseInstanece(3));
}

}  // namespace

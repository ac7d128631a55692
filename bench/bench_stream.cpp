// Speed of taking packets out of a byte stream, against typed decodes of the
// same packets in the same run:
//
//   BM_StreamTypedDecode     each packet decoded by an object of its class, known in advance
//   BM_StreamMeasure         each packet measured (the field walk alone, no object)
//   BM_StreamReceiverDecode  each packet decoded through ZrPacketReceiver (class by command)
//   BM_StreamSplit           the splitter over the stream fed in 64 KB chunks
//   BM_StreamSplitDecode     the splitter, then each packet through the receiver
//   BM_StreamSplitMixed/S/N  the splitter over the stream with each class under its
//                            own command, plain and enciphered, in pieces of N
//                            bytes, enciphered ends found by way S (ZrEndSearch:
//                            0 resumed, 1 by prefixes); counters: bytes deciphered
//                            per cipher byte, fields walked per stream byte
//   BM_MeasureEnciphered     an enciphered balance reply measured (its end searched for)
//   BM_DecipherBody          one decipher of that reply's body by the codec
//   BM_SplitHostile/N        streams that make the splitter work hard, against
//                            random bytes of about the same size (N = 0);
//                            counter: bytes deciphered per stream byte
//   BM_SplitInPieces/N/P     a 15 KB plain packet (P = 0), the longest enciphered
//                            one (1) and 2 000 texts whose lengths are enciphered
//                            as 0x03 (2), fed in pieces of N bytes (0: whole)
//
// The stream holds every class of the catalogue with filled fields, plain,
// each under its own class's command; packets/s and bytes/s are reported.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "field_tools.h"
#include "hostile_streams.h"
#include "zr_billing_packets.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"
#include "zr_stream_splitter.h"

namespace {

constexpr unsigned int kPlainCmd = 9;
constexpr int kRounds = 30;  // each class this many times in the stream

struct Stream {
    std::vector<char> bytes;
    std::vector<std::size_t> offsets, lengths;
    std::vector<std::size_t> classOf;  // the row's place in the catalogue
};

// A plain packet of the class under its own command: encoded under a plain
// command, then the command patched (the body stays plain).
std::vector<char> plainPacketOf(const ZrPacketClass& row) {
    std::unique_ptr<ZrAnyPacket> packet = row.create();
    zrtest::FieldFiller filler(zrtest::Fill::Boundary,
                               3);  // short texts, numbers of every width, three elements a list
    packet->visitFields(filler);
    if (row.mode != ZrBodyMode::None) packet->head().setCmdID(kPlainCmd);
    std::vector<char> wire(64 * 1024);
    if (packet->enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) std::abort();
    wire.resize(packet->getPacketLength());
    ZrCPacketHead::fastSetCmdID(wire.data(), static_cast<unsigned int>(wire.size()), row.cmdID);
    return wire;
}

const Stream& mixedStream() {
    static const Stream stream = [] {
        Stream s;
        const std::vector<ZrPacketClass>& rows = ZrCatalogue::classes();
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const std::vector<char> wire = plainPacketOf(rows[i]);
                s.offsets.push_back(s.bytes.size());
                s.lengths.push_back(wire.size());
                s.classOf.push_back(i);
                s.bytes.insert(s.bytes.end(), wire.begin(), wire.end());
            }
        }
        // Every packet must split and decode as it was made.
        ZrStreamSplitter splitter;
        splitter.feed(s.bytes.data(), s.bytes.size());
        std::size_t n = 0;
        for (ZrSplitItem item; splitter.next(item); ++n) {
            if (!item.isPacket() || item.offset != s.offsets[n] || item.length != s.lengths[n]) std::abort();
        }
        if (n != s.offsets.size()) std::abort();
        return s;
    }();
    return stream;
}

void count(benchmark::State& state, const Stream& s) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.offsets.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.bytes.size()));
}

void BM_StreamTypedDecode(benchmark::State& state) {
    const Stream& s = mixedStream();
    std::vector<char> bytes = s.bytes;
    std::vector<std::unique_ptr<ZrAnyPacket>> objects;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) objects.push_back(row.create());
    for (auto _ : state) {
        for (std::size_t i = 0; i < s.offsets.size(); ++i) {
            benchmark::DoNotOptimize(
                objects[s.classOf[i]]->deCode(bytes.data() + s.offsets[i], static_cast<unsigned int>(s.lengths[i])));
        }
    }
    count(state, s);
}
BENCHMARK(BM_StreamTypedDecode);

void BM_StreamMeasure(benchmark::State& state) {
    const Stream& s = mixedStream();
    ZrPacketMeter meter;
    for (auto _ : state) {
        for (std::size_t i = 0; i < s.offsets.size(); ++i) {
            benchmark::DoNotOptimize(meter.measure(s.bytes.data() + s.offsets[i], s.lengths[i]).packetLength);
        }
    }
    count(state, s);
}
BENCHMARK(BM_StreamMeasure);

void BM_StreamReceiverDecode(benchmark::State& state) {
    const Stream& s = mixedStream();
    std::vector<char> bytes = s.bytes;
    ZrPacketReceiver receiver;
    std::string error;
    for (auto _ : state) {
        for (std::size_t i = 0; i < s.offsets.size(); ++i) {
            benchmark::DoNotOptimize(
                receiver.decode(bytes.data() + s.offsets[i], static_cast<unsigned int>(s.lengths[i]), error));
        }
    }
    count(state, s);
}
BENCHMARK(BM_StreamReceiverDecode);

constexpr std::size_t kChunk = 64 * 1024;

void BM_StreamSplit(benchmark::State& state) {
    const Stream& s = mixedStream();
    for (auto _ : state) {
        ZrStreamSplitter splitter;
        for (std::size_t at = 0; at < s.bytes.size(); at += kChunk) {
            splitter.feed(s.bytes.data() + at, std::min(kChunk, s.bytes.size() - at));
            for (ZrSplitItem item; splitter.next(item);) benchmark::DoNotOptimize(item.length);
        }
    }
    count(state, s);
}
BENCHMARK(BM_StreamSplit);

void BM_StreamSplitDecode(benchmark::State& state) {
    const Stream& s = mixedStream();
    ZrPacketReceiver receiver;
    std::string error;
    for (auto _ : state) {
        ZrStreamSplitter splitter;
        for (std::size_t at = 0; at < s.bytes.size(); at += kChunk) {
            splitter.feed(s.bytes.data() + at, std::min(kChunk, s.bytes.size() - at));
            for (ZrSplitItem item; splitter.next(item);) {
                benchmark::DoNotOptimize(receiver.decode(item.chars(), static_cast<unsigned int>(item.length), error));
            }
        }
    }
    count(state, s);
}
BENCHMARK(BM_StreamSplitDecode);

const zrtest::MixedStream& mixedEnciphered() {
    static const zrtest::MixedStream stream = zrtest::mixedStream(kRounds);
    return stream;
}

void BM_StreamSplitMixed(benchmark::State& state) {
    const zrtest::MixedStream& s = mixedEnciphered();
    ZrPacketMeter::Options options;
    options.endSearch = static_cast<ZrEndSearch>(state.range(0));
    const std::size_t piece = state.range(1) == 0 ? s.bytes.size() : static_cast<std::size_t>(state.range(1));
    ZrMeterWork work;
    for (auto _ : state) {
        ZrStreamSplitter splitter(options);
        for (std::size_t at = 0; at < s.bytes.size(); at += piece) {
            splitter.feed(s.bytes.data() + at, std::min(piece, s.bytes.size() - at));
            for (ZrSplitItem item; splitter.next(item);) benchmark::DoNotOptimize(item.length);
        }
        work = splitter.meter().work();
        if (splitter.meter().endSearch() != options.endSearch) state.SkipWithError("the codec cannot");
    }
    state.counters["deciphered/cipher"] = static_cast<double>(work.deciphered) / static_cast<double>(s.cipherBytes);
    state.counters["fields/byte"] = static_cast<double>(work.fields) / static_cast<double>(s.bytes.size());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.offsets.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.bytes.size()));
}
BENCHMARK(BM_StreamSplitMixed)->ArgsProduct({{0, 1}, {0, 1460, 64}});

// --- enciphered: the end searched for, against one decipher ---------------------

std::vector<char> encipheredBalance() {
    static const std::vector<char> wire = [] {
        ZrBillUserBalancePacket packet;  // command 1014, enciphered
        zrtest::FieldFiller filler(zrtest::Fill::Boundary);
        packet.visitFields(filler);
        std::vector<NETPBILLUSERBALANCEINFO> records(100);
        for (unsigned int i = 0; i < records.size(); ++i) records[i] = {i % 4 + 1, static_cast<int>(i * 37) - 1000};
        packet.setret_BALANCEINFO(records);
        std::vector<char> out(64 * 1024);
        if (packet.enCode(out.data(), static_cast<unsigned int>(out.size())) != 0) std::abort();
        out.resize(packet.getPacketLength());
        return out;
    }();
    return wire;
}

void BM_MeasureEnciphered(benchmark::State& state) {
    const std::vector<char> wire = encipheredBalance();
    ZrPacketMeter meter;
    for (auto _ : state) benchmark::DoNotOptimize(meter.measure(wire.data(), wire.size()).packetLength);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_MeasureEnciphered);

void BM_DecipherBody(benchmark::State& state) {
    const std::vector<char> wire = encipheredBalance();
    std::vector<char> plain(PKT_SCRATCH_HALF_LEN);
    for (auto _ : state) {
        unsigned int plainLen = 0;
        benchmark::DoNotOptimize(ZRIEncrypt::decryptProtocolEx(
            wire.data() + PKT_OFFSET_BODY, static_cast<unsigned int>(wire.size() - PKT_ENVELOPE_MIN_LEN), plain.data(),
            plainLen, static_cast<unsigned char>(wire[PKT_OFFSET_KEY]), wire[PKT_OFFSET_ENCRYPT_TYPE]));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_DecipherBody);

// --- hostile streams and pieces --------------------------------------------------

// Splits `stream` fed in pieces of `piece` bytes (0: whole), then ends it;
// the meter's work.
ZrMeterWork splitInPieces(const std::string& stream, std::size_t piece) {
    ZrStreamSplitter splitter;
    std::size_t items = 0;
    const std::size_t step = piece == 0 ? stream.size() : piece;
    for (std::size_t at = 0; at < stream.size(); at += step) {
        splitter.feed(stream.data() + at, std::min(step, stream.size() - at));
        for (ZrSplitItem item; splitter.next(item);) ++items;
    }
    splitter.finish();
    for (ZrSplitItem item; splitter.next(item);) ++items;
    benchmark::DoNotOptimize(items);
    return splitter.meter().work();
}

const std::vector<std::pair<std::string, std::string>>& hostileStreams() {
    static const std::vector<std::pair<std::string, std::string>> streams = {
        {"random bytes", zrtest::randomBytes(5750, 11)},
        {"50 heads before 0x03 bytes", zrtest::headsBeforeEndBytes()},
        {"every enciphered head before 0x03 bytes", zrtest::everyEncipheredHead()},
        {"enciphered heads back to back", zrtest::packedHeads()},
        {"plain heads claiming a megabyte", zrtest::plainClaims()},
        {"the stream that stalled a relay", zrtest::craftedStall()},
    };
    return streams;
}

void BM_SplitHostile(benchmark::State& state) {
    const auto& [name, stream] = hostileStreams()[static_cast<std::size_t>(state.range(0))];
    ZrMeterWork work;
    for (auto _ : state) work = splitInPieces(stream, 1460);
    state.SetLabel(name);
    state.counters["deciphered/byte"] = static_cast<double>(work.deciphered) / static_cast<double>(stream.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_SplitHostile)->DenseRange(0, 5);

void BM_SplitInPieces(benchmark::State& state) {
    static const std::string packets[] = {zrtest::longPlainPacket(), zrtest::longestEncipheredPacket(),
                                          zrtest::craftedPortal()};
    static const char* const labels[] = {"15 KB plain", "30 755-byte enciphered", "2 000 texts, lengths as 0x03"};
    const std::string& packet = packets[state.range(1)];
    ZrMeterWork work;
    for (auto _ : state) work = splitInPieces(packet, static_cast<std::size_t>(state.range(0)));
    state.SetLabel(labels[state.range(1)]);
    state.counters["deciphered"] = static_cast<double>(work.deciphered);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(packet.size()));
}
BENCHMARK(BM_SplitInPieces)->ArgsProduct({{0, 1460, 64, 1}, {0, 1, 2}});

}  // namespace

// Why a packet did not decode, in words: the explanation ZrCatalogue::decode
// gives, formatted from the envelope's verdict that deCode reached.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_envelope.h"

std::string zrExplainDecodeFailure(const ZrPacketClass& cls, const ZrEnvelopeVerdict& verdict,
                                   const char* libraryText, const char* buf, unsigned int len) {
    const auto* p = reinterpret_cast<const unsigned char*>(buf);
    const std::string text = libraryText != nullptr ? libraryText : "";
    if (verdict.step == ZrEnvelopeStep::EndByte) {  // which byte stood where the end byte should
        if (verdict.at >= len) return text;
        char found[48];
        std::snprintf(found, sizeof found, " (found 0x%02X at offset %zu)", p[verdict.at], verdict.at);
        return text + found;
    }
    const std::string failed = std::string(cls.className) + ": the body's fields cannot be read";
    if (verdict.step != ZrEnvelopeStep::Body) {
        return text.empty() ? failed + " (" + std::to_string(len) + " bytes, truncated or malformed)" : text;
    }
    // The same verdict again, with the body walked rather than stored, says
    // where it stopped.
    ZrWalkStop stop;
    std::size_t end = 0;
    std::vector<unsigned char> plain(verdict.enciphered ? PKT_SCRATCH_HALF_LEN : 0);
    const ZrEnvelopeVerdict walked =
        cls.walkBody == nullptr
            ? verdict
            : zrEnvelopeVerdict(p, len, cls.mode, plain.data(), [&](const unsigned char* body, std::size_t size) {
                  ZrBodyWalker walker(body, size, std::numeric_limits<std::size_t>::max(),
                                      cls.mode == ZrBodyMode::Compact);
                  walker.walk(cls.walkBody);
                  stop = walker.stop();
                  end = size;
                  return ZrBodyRead{walker.ok(), walker.consumed()};
              });
    if (walked.step != ZrEnvelopeStep::Body || !stop.stopped()) {
        return failed + " (" + std::to_string(len) + " bytes, truncated or malformed)";
    }
    if (walked.enciphered) return failed + ": " + stop.where("body") + ": " + stop.why(0, end) + " (offsets in the deciphered body)";
    return failed + ": " + stop.where("body") + ": " + stop.why(PKT_OFFSET_BODY, end);
}

// Why a packet did not decode, in words: the texts of a walk's stop, and
// the explanation ZrCatalogue::decode gives, formatted from the envelope's
// verdict that deCode reached.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "zr_catalogue.h"
#include "zr_envelope.h"

std::string ZrWalkStop::where(const std::string& prefix) const {
    std::string text = prefix;
    for (unsigned i = 0; i < std::min(depth, kMaxDepth); ++i) {
        if (path[i].name != nullptr) text.append(text.empty() ? "" : ".").append(path[i].name);
        if (path[i].indexed) text.append("[").append(std::to_string(path[i].index)).append("]");
    }
    if (field != nullptr) text.append(text.empty() ? "" : ".").append(field);
    return text;
}

std::string ZrWalkStop::why(std::size_t base, std::size_t end) const {
    const std::string from = " from offset " + std::to_string(base + at);
    const std::string pastEnd =
        at < end ? " runs past the body's end at offset " + std::to_string(base + end) : ": the body ends there";
    const std::string n = std::to_string(value);
    switch (fault) {
        case ZrWalkFault::None:
            return "read whole";
        case ZrWalkFault::Number:
            return "number" + from + pastEnd;
        case ZrWalkFault::Fixed:
            return n + "-byte number" + from + pastEnd;
        case ZrWalkFault::Text:
            return "text of " + n + " bytes" + from + pastEnd;
        case ZrWalkFault::TextClaim:
            return "text length " + n + " at offset " + std::to_string(base + at) + ", 2^31 or more";
        case ZrWalkFault::TextTooLong:
            return "text of " + n + " bytes at offset " + std::to_string(base + at) + ", more than the " +
                   std::to_string(limit - 1) + " a char[" + std::to_string(limit) + "] holds";
        case ZrWalkFault::Count:
            return "count " + n + " at offset " + std::to_string(base + at) + ", more than the " +
                   std::to_string(ZR_MAX_CONTAINER_COUNT) + " a list or map holds";
        case ZrWalkFault::Limit:
            return n + " bytes" + from + " run past the longest body accepted";
        case ZrWalkFault::WorkLimit:
            return "the walk may take no more fields, " + n + " walked up to offset " + std::to_string(base + at);
    }
    return "unknown fault";
}

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

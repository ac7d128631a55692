// A walk's stop in words: where in the body (the JSON form's path) and why.
#include <algorithm>
#include <string>

#include "zr_body_walk.h"

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

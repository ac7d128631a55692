// Measuring the packet at the start of some bytes: the head's checks, the
// plain body walked by its class's field list, the enciphered body's end
// searched for; and the texts that say why bytes are not a packet.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "zr_encrypt.h"
#include "zr_envelope.h"
#include "zr_packet_meter.h"

namespace {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
// How far past a candidate end the search for a byte that looks like the
// end goes: as far as the cipher before the candidate, and at least this
// far. So a start searches about as many bytes as it deciphers, however
// many starts share the bytes.
constexpr std::size_t kEndLookahead = 4096;

std::string hexByte(std::uint64_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

void incomplete(ZrFrame& frame, std::size_t needed) {
    frame.status = ZrFrameStatus::Incomplete;
    frame.needed = needed;
}

void notAPacket(ZrFrame& frame, ZrFrameFault fault, std::size_t offset, std::uint64_t value) {
    frame.status = ZrFrameStatus::NotAPacket;
    frame.fault = fault;
    frame.faultOffset = offset;
    frame.faultValue = value;
}

void complete(ZrFrame& frame, std::size_t length) {
    frame.status = ZrFrameStatus::Complete;
    frame.packetLength = length;
}

// An enciphered start with no end among the `upTo` bytes searched: not a
// packet once they are the longest it can be, otherwise it needs at least
// `needed` bytes and one more than it has.
void noEndYet(ZrFrame& frame, ZrMeasureState& state, std::size_t size, std::size_t upTo, std::size_t longest,
              std::size_t needed) {
    state.scanned = std::max(state.scanned, upTo);
    if (upTo == longest) {
        notAPacket(frame, ZrFrameFault::NoEnd, PKT_OFFSET_BODY, longest);
    } else {
        incomplete(frame, std::max(size + 1, needed));
    }
}

}  // namespace

// A 0x03 before a 0x02 is found by the 0x02 after it: a flood of 0x03
// bytes is passed over at memchr's speed.
std::size_t zrFirstLikelyEnd(const unsigned char* p, std::size_t from, std::size_t to, std::size_t atHand) {
    const std::size_t stxTo = std::min(to + 1, atHand);  // where a 0x02 after a byte before `to` may be
    for (std::size_t at = from + 1; at < stxTo;) {
        const void* stx = std::memchr(p + at, _STX_, stxTo - at);
        if (stx == nullptr) break;
        const auto next = static_cast<std::size_t>(static_cast<const unsigned char*>(stx) - p);
        if (p[next - 1] == _ETX_) return next - 1;
        at = next + 1;
    }
    return from < to && to == atHand && p[atHand - 1] == _ETX_ ? atHand - 1 : to;
}

// --- measuring -------------------------------------------------------------------

ZrPacketMeter::ZrPacketMeter(const Options& options) : m_options(options) {
    m_options.maxPacketLength = std::max<std::size_t>(m_options.maxPacketLength, PKT_ENVELOPE_MIN_LEN);
    m_first = allowance();
    m_endSearch = m_options.endSearch;
    if (m_endSearch == ZrEndSearch::Resume && !ZRIEncrypt::resumesDecipher()) m_endSearch = ZrEndSearch::Prefixes;
    if (m_endSearch == ZrEndSearch::Prefixes && !ZRIEncrypt::deciphersPrefixes()) m_endSearch = ZrEndSearch::Trial;
}

// Twice the longest packet of each kind: a start may spend that much before
// its own bytes are taken out and refill the buckets.
ZrMeterWork ZrPacketMeter::allowance() const {
    return {2 * std::uint64_t{longestEnciphered()}, 2 * std::uint64_t{m_options.maxPacketLength}};
}

ZrFrame ZrPacketMeter::measure(const void* data, std::size_t size) {
    ZrMeasureState state;
    return measure(data, size, state);
}

// The head's checks run in the order of its bytes, so that a verdict on a
// few bytes is the verdict on all of them, however the bytes arrive.
ZrFrame ZrPacketMeter::measure(const void* data, std::size_t size, ZrMeasureState& state, bool ended) {
    const auto* p = static_cast<const unsigned char*>(data);
    ZrFrame frame;
    frame.limit = m_options.maxPacketLength;
    if (size == 0) {
        incomplete(frame, 1);
    } else if (p[0] != _STX_) {
        notAPacket(frame, ZrFrameFault::StartByte, 0, p[0]);
    } else if (size < PKT_OFFSET_SUBCMDID) {
        incomplete(frame, PKT_HEAD_FIXED_LEN);
    } else {
        const unsigned int cmdID = CHostNetworkConvertorNormal::loadBigEndian32(p + PKT_OFFSET_CMDID);
        frame.packetClass = m_options.forcedClass != nullptr ? m_options.forcedClass : ZrCatalogue::find(cmdID);
        if (frame.packetClass == nullptr) {
            notAPacket(frame, ZrFrameFault::UnknownCommand, PKT_OFFSET_CMDID, cmdID);
        } else if (size <= PKT_OFFSET_ENCRYPT_TYPE) {
            incomplete(frame, PKT_HEAD_FIXED_LEN);
        } else if (frame.packetClass->mode == ZrBodyMode::None) {  // the keep-alive: head and ETX, any encryptType
            const ZrEnvelopeVerdict verdict = zrEnvelopeVerdict(p, size, ZrBodyMode::None, nullptr, zrNoFields);
            if (verdict.step == ZrEnvelopeStep::TooShort) {
                incomplete(frame, PKT_HEAD_FIXED_LEN + 1);
            } else if (verdict.step == ZrEnvelopeStep::EndByte) {
                notAPacket(frame, ZrFrameFault::EndByte, verdict.at, p[verdict.at]);
            } else {
                complete(frame, verdict.at);
            }
        } else if (p[PKT_OFFSET_ENCRYPT_TYPE] > ZR_ENCRYPT_TYPE_MAX) {
            notAPacket(frame, ZrFrameFault::EncryptType, PKT_OFFSET_ENCRYPT_TYPE, p[PKT_OFFSET_ENCRYPT_TYPE]);
        } else if (frame.packetClass->walkBody == nullptr) {
            notAPacket(frame, ZrFrameFault::NoWalker, PKT_OFFSET_BODY, 0);
        } else if (p[PKT_OFFSET_ENCRYPT_TYPE] != 0) {
            frame.enciphered = true;
            if (m_endSearch == ZrEndSearch::Trial) {
                trialSearch(p, size, frame, state);
            } else {
                measureEnciphered(p, size, frame, state, ended);
            }
        } else {
            measurePlain(p, size, frame, state);
        }
    }
    if (frame.fault == ZrFrameFault::WorkLimit) ++m_workLimits;
    return frame;
}

// A first walk of a plain start keeps no resume point, the usual case of a
// body whole at hand; one that stops for want of bytes walks again to keep
// it. An enciphered start's first prefix may end short of its body, so
// its walks keep it (`keep`). A fault's field and rule go to the frame. The
// walk spends from the fields bucket, and stops where it is spent.
ZrPacketMeter::Walked ZrPacketMeter::walk(const ZrPacketClass& cls, const unsigned char* body, std::size_t size,
                                          std::size_t limit, ZrWalkResume* resume, ZrFrame& frame, bool keep) {
    const bool compact = cls.mode == ZrBodyMode::Compact;
    const bool resumed = resume != nullptr && (resume->valid || keep);
    ZrBodyWalker walker(body, size, limit, compact, resumed ? resume : nullptr);
    walker.setFieldAllowance(m_left.fields);
    walker.walk(cls.walkBody);
    m_work.fields += walker.fieldsWalked();
    spend(m_left.fields, walker.fieldsWalked());
    if (walker.ok()) return {Walked::Whole, walker.consumed()};
    if (!walker.truncated()) {
        frame.walk = walker.stop();
        return {Walked::Fault, 0};
    }
    if (resume != nullptr && !resumed) {
        ZrBodyWalker keeping(body, size, limit, compact, resume);
        keeping.setFieldAllowance(m_left.fields);
        keeping.walk(cls.walkBody);
        m_work.fields += keeping.fieldsWalked();
        spend(m_left.fields, keeping.fieldsWalked());
        if (!keeping.truncated()) {  // the budget ran out on the way
            frame.walk = keeping.stop();
            return {Walked::Fault, 0};
        }
    }
    return {Walked::Short, walker.needed()};
}

// A body the walk refuses: for its bytes, or for the budget.
void ZrPacketMeter::walkFault(ZrFrame& frame) {
    const ZrFrameFault fault =
        frame.walk.fault == ZrWalkFault::WorkLimit ? ZrFrameFault::WorkLimit : ZrFrameFault::Body;
    notAPacket(frame, fault, PKT_OFFSET_BODY + frame.walk.at, frame.walk.value);
}

// The body from offset 34 is walked over what is at hand, going on from
// where the last walk of this start stopped; its end must be followed by
// the ETX (the envelope's verdict). A body that claims more than the limit
// leaves room for is refused at the claim, whether its bytes are at hand
// or not.
void ZrPacketMeter::measurePlain(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state) {
    const std::size_t bodyLimit = m_options.maxPacketLength - PKT_ENVELOPE_MIN_LEN;
    Walked walked{Walked::Whole, state.bodyEnd};
    const ZrEnvelopeVerdict verdict =
        zrEnvelopeVerdict(p, size, frame.packetClass->mode, nullptr, [&](const unsigned char* body, std::size_t atHand) {
            if (!state.bodyRead) walked = walk(*frame.packetClass, body, atHand, bodyLimit, &state.walk, frame);
            return ZrBodyRead{walked.kind == Walked::Whole, walked.bytes};
        });
    if (verdict.step == ZrEnvelopeStep::Body) {
        if (walked.kind == Walked::Fault) return walkFault(frame);
        state.needBody = walked.bytes;
        incomplete(frame, PKT_ENVELOPE_MIN_LEN + walked.bytes);
        return;
    }
    state.bodyRead = true;
    state.bodyEnd = verdict.fieldsLength;
    if (verdict.accepted()) {
        complete(frame, verdict.at);
    } else if (verdict.at >= size) {  // the end byte is not at hand yet
        incomplete(frame, verdict.at + 1);
    } else {
        notAPacket(frame, ZrFrameFault::EndByte, verdict.at, p[verdict.at]);
    }
}

// How far to decipher for the candidate end at `candidate` (an offset in
// the packet), as a count of cipher bytes: on to the first byte from there
// that looks like the packet's end (0x03 before 0x02, or the last byte at
// hand), or only to the candidate when none is within the search, which
// goes no further than the bucket pays for and kEndLookahead allows. So a
// packet at hand is deciphered and walked about once, and a start that
// fails early has not paid for bytes it never needed. Deciphering prefixes, at least twice as far as the
// last prefix, so that a start costs at most twice its longest prefix.
// Deciphering past the end changes nothing: a walk that reads whole over
// some bytes reads whole over more.
std::size_t ZrPacketMeter::decipherTarget(const unsigned char* p, std::size_t candidate, std::size_t upTo,
                                          ZrMeasureState& state) const {
    // The cipher bytes at hand (the last byte at hand may be the ETX), and
    // as many of them as the bucket pays for.
    const std::size_t cipherAtHand = upTo - PKT_ENVELOPE_MIN_LEN;
    const std::size_t paid = m_endSearch == ZrEndSearch::Resume ? state.deciphered : 0;
    const std::size_t affordable = static_cast<std::size_t>(std::min<std::uint64_t>(
                                       cipherAtHand - std::min(paid, cipherAtHand), m_left.deciphered)) +
                                   paid;
    const std::size_t reach = PKT_OFFSET_BODY + std::min(affordable, cipherAtHand);
    // Each byte is searched once per start: one that does not look like the
    // end does not come to, whatever follows.
    const std::size_t lookahead = std::max(candidate - PKT_OFFSET_BODY, kEndLookahead);
    const std::size_t to = std::min({reach + 1, upTo, candidate + lookahead + 1});
    const std::size_t from = std::max(candidate, state.endScanned);
    const std::size_t end = from < to ? zrFirstLikelyEnd(p, from, to, upTo) : to;
    state.endScanned = std::max(state.endScanned, end < to ? end + 1 : to);
    std::size_t target = (end < to ? end : candidate) - PKT_OFFSET_BODY;
    if (m_endSearch == ZrEndSearch::Prefixes) {
        target = std::max(target, std::min({2 * state.deciphered, cipherAtHand, affordable}));
    }
    return target;
}

// Deciphers the cipher of the packet at p into the plain area up to
// `target` bytes: on from where this start's last decipher stopped
// (Resume), or from its start (Prefixes). The bucket pays for what the codec
// is handed, before it is.
ZrPacketMeter::Deciphered ZrPacketMeter::decipherTo(const unsigned char* p, std::size_t target, ZrMeasureState& state) {
    if (target <= state.deciphered) return Deciphered::Done;
    const bool resume = m_endSearch == ZrEndSearch::Resume;
    const std::size_t from = resume ? state.deciphered : 0;
    if (!spend(m_left.deciphered, target - from)) return Deciphered::OverBudget;
    m_work.deciphered += target - from;
    if (from == 0) state.plainOwner = m_plainOwner = ++m_starts;
    bool done;
    if (resume) {
        unsigned int written = 0;
        done = (from > 0 || ZRIEncrypt::decryptBeginEx(state.cipher, p[PKT_OFFSET_KEY],
                                                       static_cast<char>(p[PKT_OFFSET_ENCRYPT_TYPE])) == 0) &&
               ZRIEncrypt::decryptOnEx(state.cipher, reinterpret_cast<const char*>(p) + PKT_OFFSET_BODY + from,
                                       static_cast<unsigned int>(target - from),
                                       reinterpret_cast<char*>(m_plain) + from, written) == 0;
    } else {
        unsigned int plainLen = 0;
        done = zrDecipherBody(p, target, m_plain, plainLen) && plainLen == target;
    }
    if (!done) return Deciphered::Refused;
    state.deciphered = target;
    return Deciphered::Done;
}

// With a codec that deciphers every prefix of a cipher into the prefix of
// its body, deCode accepts the packet ending at a 0x03 exactly when the
// body's fields read whole from the bytes before it: the packet ends at the
// first 0x03 at or after the body's end. The cipher is deciphered up to a
// 0x03 past where the walk asked for (decipherTarget says how far), and the
// walk goes on over the deciphered bytes from where it stopped. A held
// start is deciphered again only once a byte that may end it has come.
void ZrPacketMeter::measureEnciphered(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state,
                                      bool ended) {
    if (size < PKT_ENVELOPE_MIN_LEN) {
        incomplete(frame, PKT_ENVELOPE_MIN_LEN);
        return;
    }
    if (state.plainOwner != m_plainOwner) state.deciphered = 0;  // the area holds another start's bytes now
    const std::size_t longest = longestEnciphered();
    const std::size_t bodyLimit = longest - PKT_ENVELOPE_MIN_LEN;
    const std::size_t upTo = std::min(size, longest);
    // The deciphered bytes walked on from where the walk stopped; false when
    // the frame has its verdict.
    auto decipherAndWalk = [&](std::size_t target) {
        const Deciphered deciphered = decipherTo(p, target, state);
        if (deciphered != Deciphered::Done) {
            if (deciphered == Deciphered::OverBudget) {
                const std::size_t cost = target - (m_endSearch == ZrEndSearch::Resume ? state.deciphered : 0);
                notAPacket(frame, ZrFrameFault::WorkLimit, PKT_OFFSET_BODY + target, cost);
            } else {
                notAPacket(frame, ZrFrameFault::Decipher, PKT_OFFSET_BODY, target);
            }
            return false;
        }
        const Walked walked = walk(*frame.packetClass, m_plain, state.deciphered, bodyLimit, &state.walk, frame, true);
        if (walked.kind == Walked::Fault) {
            walkFault(frame);
            return false;
        }
        if (walked.kind == Walked::Whole) {
            state.bodyRead = true;
            state.bodyEnd = walked.bytes;
        } else {
            state.needBody = walked.bytes;
        }
        return true;
    };
    while (!state.bodyRead) {
        const std::size_t from = std::max(PKT_OFFSET_BODY + state.needBody, state.scanned);
        const void* found = from < upTo ? std::memchr(p + from, _ETX_, upTo - from) : nullptr;
        if (found == nullptr) {  // no byte at hand can end the packet yet
            // No more bytes can end it (the stream has ended, or the longest
            // it may be is at hand): a fault in those bytes is the verdict,
            // however far earlier prefixes reached.
            const bool last = ended || upTo == longest;
            const std::size_t all = std::min(upTo - PKT_OFFSET_BODY, bodyLimit);  // no cipher is longer
            if (last && state.deciphered < all && !decipherAndWalk(all)) return;
            noEndYet(frame, state, size, upTo, longest, PKT_ENVELOPE_MIN_LEN + state.needBody);
            return;
        }
        const std::size_t candidate = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - p);
        state.scanned = candidate + 1;
        if (!decipherAndWalk(decipherTarget(p, candidate, upTo, state))) return;
    }
    const std::size_t from = std::max(PKT_OFFSET_BODY + state.bodyEnd, state.scanned > 0 ? state.scanned - 1 : 0);
    const void* end = from < upTo ? std::memchr(p + from, _ETX_, upTo - from) : nullptr;
    if (end != nullptr) {
        complete(frame, static_cast<std::size_t>(static_cast<const unsigned char*>(end) - p) + 1);
        return;
    }
    noEndYet(frame, state, size, upTo, longest, 0);
}

// For a codec that does not decipher prefixes: each 0x03 from offset 34 on
// is a candidate end, tried by deCode's own rule, each paid for from the
// bucket before it is tried.
void ZrPacketMeter::trialSearch(const unsigned char* p, std::size_t size, ZrFrame& frame, ZrMeasureState& state) {
    if (size < PKT_ENVELOPE_MIN_LEN) {
        incomplete(frame, PKT_ENVELOPE_MIN_LEN);
        return;
    }
    const std::size_t longest = longestEnciphered();
    const std::size_t upTo = std::min(size, longest);
    for (std::size_t at = std::max(state.scanned, std::size_t{PKT_OFFSET_BODY}); at < upTo; ++at) {
        const void* found = std::memchr(p + at, _ETX_, upTo - at);
        if (found == nullptr) break;
        at = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - p);
        const std::size_t cipherLen = at - PKT_OFFSET_BODY;
        if (!spend(m_left.deciphered, cipherLen)) {
            state.scanned = at;
            notAPacket(frame, ZrFrameFault::WorkLimit, at, cipherLen);
            return;
        }
        m_work.deciphered += cipherLen;
        m_plainOwner = 0;  // the area holds no start's prefix now
        bool overBudget = false;
        const ZrEnvelopeVerdict verdict = zrEnvelopeVerdict(
            p, at + 1, frame.packetClass->mode, m_plain, [&](const unsigned char* plain, std::size_t plainLen) {
                ZrFrame walked;
                const Walked whole = walk(*frame.packetClass, plain, plainLen, kNoLimit, nullptr, walked);
                overBudget = whole.kind == Walked::Fault && walked.walk.fault == ZrWalkFault::WorkLimit;
                if (overBudget) frame.walk = walked.walk;
                return ZrBodyRead{whole.kind == Walked::Whole, whole.bytes};
            });
        if (overBudget) return walkFault(frame);
        if (verdict.accepted()) {
            state.scanned = at;
            complete(frame, at + 1);
            return;
        }
    }
    noEndYet(frame, state, size, upTo, longest, 0);
}

// --- the texts ----------------------------------------------------------------------

std::string ZrFrame::why(std::uint64_t base) const {
    const std::string cls = packetClass != nullptr ? std::string(packetClass->className) + ": " : std::string();
    const std::string offset = std::to_string(base + faultOffset);
    const std::string value = std::to_string(faultValue);
    switch (fault) {
        case ZrFrameFault::None:
            return status == ZrFrameStatus::Complete ? "a whole packet" : "more bytes are needed";
        case ZrFrameFault::StartByte:
            return "byte " + hexByte(faultValue) + " at offset " + offset + " starts no packet (STX is 0x02)";
        case ZrFrameFault::UnknownCommand:
            return "no packet class has the command " + value;
        case ZrFrameFault::EncryptType:
            return "encryptType " + value + " at offset " + offset + " names no cipher variant (0 to " +
                   std::to_string(ZR_ENCRYPT_TYPE_MAX) + ")";
        case ZrFrameFault::Body:
            return cls + walk.where("body") + ": " + walk.why(static_cast<std::size_t>(base) + PKT_OFFSET_BODY, 0) +
                   (walk.fault == ZrWalkFault::Limit ? " (packets of at most " + std::to_string(limit) + " bytes)"
                                                     : std::string());
        case ZrFrameFault::EndByte:
            return cls + "end byte " + hexByte(faultValue) + " at offset " + offset + ", not 0x03";
        case ZrFrameFault::NoEnd:
            return cls + "no end byte in the " + value +
                   " bytes an enciphered packet may take at which its body deciphers and reads to its end";
        case ZrFrameFault::Decipher:
            return cls + "the codec refuses the " + value + " cipher bytes from offset " + offset;
        case ZrFrameFault::NoWalker:
            return cls + "the class has no field list to measure its body by";
        case ZrFrameFault::WorkLimit:
            if (walk.fault == ZrWalkFault::WorkLimit) {
                return cls + "the stream's work budget is spent: " + walk.where("body") + ": " +
                       walk.why(static_cast<std::size_t>(base) + PKT_OFFSET_BODY, 0);
            }
            return cls + "the stream's work budget is spent: deciphering the cipher up to offset " + offset +
                   " would take " + value + (faultValue == 1 ? " byte" : " bytes") + ", more than it has left";
        case ZrFrameFault::StreamEnd:
            return cls + "the stream ends " + value + (faultValue == 1 ? " byte" : " bytes") + " into a packet";
    }
    return "unknown fault";
}

// Splitting a byte stream into packets. The bytes not yet taken out are the
// held ones (a partial packet, copied) followed by the rest of the chunk the
// caller fed (read in place). At each start the meter decides: a whole
// packet is handed out; a packet that may still come waits for the bytes its
// measure asked for; bytes that are not a packet join a skipped run, and the
// next start is the next 0x02.
#include <algorithm>
#include <cstring>

#include "zr_stream_splitter.h"

ZrStreamSplitter::ZrStreamSplitter(const ZrPacketMeter::Options& options, std::uint64_t baseOffset)
    : m_meter(options), m_offset(baseOffset), m_credited(baseOffset) {
    m_meter.startBudget();
}

void ZrStreamSplitter::feedChunk(const void* data, std::size_t size) {
    if (m_chunkLeft > 0) holdChunk(m_chunkLeft);  // what the last feed left untaken
    m_chunk = static_cast<const unsigned char*>(data);
    m_chunkLeft = size;
}

bool ZrStreamSplitter::nextItem(ZrSplitItem& item) {
    switch (m_state) {
        case State::ReportingRun:
            m_state = State::PacketReady;
            if (emitRun(item)) return true;
            [[fallthrough]];
        case State::PacketReady:
            handOut(item);
            m_state = State::Measuring;
            return true;
        case State::Ended:
            return emitRun(item);
        case State::Measuring:
            break;
    }
    return measureStart(item);
}

// Measures starts until one gives something to hand out, or the bytes at
// hand run out. A held start is measured again only once the bytes its last
// measure asked for are held. The first start refused in a run hands the
// run's first piece out at once, so that a caller that stops at it has paid
// for that one start (once the stream has ended, the run comes out whole).
bool ZrStreamSplitter::measureStart(ZrSplitItem& item) {
    for (;;) {
        const bool inHeld = pendingHeld() > 0;
        if (inHeld && pendingHeld() < m_waitFor) {
            if (m_chunkLeft > 0) {
                extendHeld();
                continue;
            }
            if (!m_finished) return emitRun(item);
        }
        const unsigned char* start = inHeld ? m_held.data() + m_heldAt : m_chunk;
        const std::size_t atHand = inHeld ? pendingHeld() : m_chunkLeft;
        if (atHand == 0) {
            if (m_finished) m_state = State::Ended;
            return emitRun(item);
        }
        credit();
        // The stream's last bytes are at hand: it has ended, and no chunk
        // follows the held bytes.
        const bool last = m_finished && !(inHeld && m_chunkLeft > 0);
        ZrFrame frame = m_meter.measure(start, atHand, m_measure, last);
        if (frame.incomplete() && !last) {
            m_waitEnciphered = frame.enciphered && atHand >= PKT_ENVELOPE_MIN_LEN;
            m_waitFor = m_waitEnciphered ? std::max(frame.needed, std::min(2 * atHand, m_meter.longestEnciphered()))
                                         : frame.needed;
            m_endFrom = frame.needed - 1;
            if (inHeld) continue;
            holdChunk(m_chunkLeft);
            return emitRun(item);
        }
        if (frame.incomplete()) {  // the stream has ended inside the packet: it is not one
            frame.status = ZrFrameStatus::NotAPacket;
            frame.fault = ZrFrameFault::StreamEnd;
            frame.faultOffset = atHand;
            frame.faultValue = atHand;
        }
        if (frame.complete()) {
            m_readyLength = frame.packetLength;
            m_readyClass = frame.packetClass;
            m_state = State::ReportingRun;
            return nextItem(item);
        }
        // Not a packet: a run of skipped bytes starts here or goes on.
        const bool opens = !m_run.open;
        if (opens) {
            m_run.open = true;
            m_run.pieceStart = m_run.start = m_offset;
            m_run.reason = frame;
        }
        skipToNextStart();
        if (opens && !m_finished) return emitRun(item);
    }
}

// The packet measured at m_offset.
void ZrStreamSplitter::handOut(ZrSplitItem& item) {
    item.kind = ZrSplitItem::Kind::Packet;
    item.offset = m_offset;
    item.length = m_readyLength;
    item.data = pendingHeld() > 0 ? m_held.data() + m_heldAt : m_chunk;
    item.packetClass = m_readyClass;
    item.reason = nullptr;
    item.reasonAt = 0;
    m_run.open = false;
    take(m_readyLength);
}

// Reports the skipped bytes not yet reported, if any.
bool ZrStreamSplitter::emitRun(ZrSplitItem& item) {
    if (!m_run.open || m_offset == m_run.pieceStart) return false;
    item.kind = ZrSplitItem::Kind::Skipped;
    item.offset = m_run.pieceStart;
    item.length = static_cast<std::size_t>(m_offset - m_run.pieceStart);
    item.data = nullptr;
    item.packetClass = m_run.reason.packetClass;
    item.reason = &m_run.reason;
    item.reasonAt = m_run.start;
    m_run.pieceStart = m_offset;
    return true;
}

// Past the byte that starts no packet, to the next 0x02.
void ZrStreamSplitter::skipToNextStart() {
    take(1);
    if (pendingHeld() > 0) {
        const unsigned char* from = m_held.data() + m_heldAt;
        const void* stx = std::memchr(from, _STX_, pendingHeld());
        if (stx != nullptr) {
            take(static_cast<std::size_t>(static_cast<const unsigned char*>(stx) - from));
            return;
        }
        take(pendingHeld());
    }
    const void* stx = std::memchr(m_chunk, _STX_, m_chunkLeft);
    take(stx != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(stx) - m_chunk) : m_chunkLeft);
}

// Takes n bytes out: held ones first, then the chunk's. A new start is
// measured afresh.
void ZrStreamSplitter::take(std::size_t n) {
    if (n == 0) return;
    const std::size_t fromHeld = std::min(n, pendingHeld());
    m_heldAt += fromHeld;
    m_chunk += n - fromHeld;
    m_chunkLeft -= n - fromHeld;
    m_offset += n;
    m_measure.restart();
    m_waitFor = 0;
    credit();
}

// Moves the first n bytes of the chunk behind the held ones. Held bytes
// already taken out are dropped first; an item handed out from them is no
// longer needed once next() or feed() is called again.
void ZrStreamSplitter::holdChunk(std::size_t n) {
    if (m_heldAt > 0) {
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(m_heldAt));
        m_heldAt = 0;
    }
    if (n == 1) {
        m_held.push_back(*m_chunk);  // a stream fed a byte at a time
    } else {
        m_held.insert(m_held.end(), m_chunk, m_chunk + n);
    }
    m_chunk += n;
    m_chunkLeft -= n;
}

// Moves bytes the held start asked for from the chunk. A plain start takes
// at least as many again as are held, so that a packet that comes in many
// pieces is measured a number of times that grows with the log of its
// length, not with its fields (the walk resumes each time, so nothing is
// walked twice). An enciphered one asked for twice what it held; it takes
// bytes only up to one that looks like its end, if one comes sooner, and is
// measured there.
void ZrStreamSplitter::extendHeld() {
    const std::size_t asked = m_waitFor - pendingHeld();
    std::size_t n = std::min(m_waitEnciphered ? asked : std::max(asked, pendingHeld()), m_chunkLeft);
    if (m_waitEnciphered) {
        const std::size_t from = m_endFrom > pendingHeld() ? std::min(m_endFrom - pendingHeld(), n) : 0;
        const std::size_t end = zrFirstLikelyEnd(m_chunk, from, n, m_chunkLeft);
        if (end < n) {
            n = end + 1;
            m_waitFor = pendingHeld() + n;
        }
    }
    holdChunk(n);
}

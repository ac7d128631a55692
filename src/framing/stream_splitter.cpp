// Splitting a byte stream into packets. The bytes not yet taken out are the
// held ones (a partial packet, copied) followed by the rest of the chunk the
// caller fed (read in place). At each start the meter decides: a whole
// packet is handed out; a packet that may still come waits for more bytes;
// bytes that are not a packet join a skipped run, and the next start is the
// next 0x02.
#include <algorithm>
#include <cstring>

#include "zr_stream_splitter.h"

ZrStreamSplitter::ZrStreamSplitter(const ZrPacketMeter::Options& options) : m_meter(options) {}

void ZrStreamSplitter::feed(const void* data, std::size_t size) {
    if (m_chunkLeft > 0) holdChunk(m_chunkLeft);  // what the last feed left untaken
    m_chunk = static_cast<const unsigned char*>(data);
    m_chunkLeft = size;
}

void ZrStreamSplitter::finish() { m_finished = true; }

bool ZrStreamSplitter::next(ZrSplitItem& item) {
    for (;;) {
        const bool inHeld = pendingHeld() > 0;
        const unsigned char* start = inHeld ? m_held.data() + m_heldAt : m_chunk;
        const std::size_t atHand = inHeld ? pendingHeld() : m_chunkLeft;
        if (atHand == 0) return emitRun(item);

        ZrFrame frame = m_ready ? m_readyFrame : m_meter.measure(start, atHand, m_search);
        m_ready = false;
        if (frame.incomplete()) {
            if (inHeld && m_chunkLeft > 0) {
                extendHeld(frame);
                continue;
            }
            if (!m_finished) {
                if (!inHeld) holdChunk(m_chunkLeft);
                return emitRun(item);
            }
            // The stream has ended inside the packet: it is not one.
            frame.status = ZrFrameStatus::NotAPacket;
            frame.fault = ZrFrameFault::StreamEnd;
            frame.faultOffset = atHand;
            frame.faultValue = atHand;
        }
        if (frame.complete()) {
            if (emitRun(item)) {  // the skipped bytes before it come first
                m_ready = true;
                m_readyFrame = frame;
                return true;
            }
            item.kind = ZrSplitItem::Kind::Packet;
            item.offset = m_offset;
            item.length = frame.length;
            item.data = start;
            item.packetClass = frame.packetClass;
            item.reason = nullptr;
            item.reasonAt = 0;
            m_runOpen = false;
            take(frame.length);
            return true;
        }
        // Not a packet: a run of skipped bytes starts here or goes on.
        if (!m_runOpen) {
            m_runOpen = true;
            m_pieceStart = m_runStart = m_offset;
            m_runReason = frame;
        }
        skipToNextStart();
    }
}

// Reports the skipped bytes not yet reported, if any.
bool ZrStreamSplitter::emitRun(ZrSplitItem& item) {
    if (!m_runOpen || m_offset == m_pieceStart) return false;
    item.kind = ZrSplitItem::Kind::Skipped;
    item.offset = m_pieceStart;
    item.length = static_cast<std::size_t>(m_offset - m_pieceStart);
    item.data = nullptr;
    item.packetClass = m_runReason.packetClass;
    item.reason = &m_runReason;
    item.reasonAt = m_runStart;
    m_pieceStart = m_offset;
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

// Takes n bytes out: held ones first, then the chunk's.
void ZrStreamSplitter::take(std::size_t n) {
    if (n == 0) return;
    const std::size_t fromHeld = std::min(n, pendingHeld());
    m_heldAt += fromHeld;
    m_chunk += n - fromHeld;
    m_chunkLeft -= n - fromHeld;
    m_offset += n;
    m_search = ZrEndSearch();
}

// Moves the first n bytes of the chunk behind the held ones. Held bytes
// already taken out are dropped first; an item handed out from them is no
// longer needed once next() or feed() is called again.
void ZrStreamSplitter::holdChunk(std::size_t n) {
    if (m_heldAt > 0) {
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(m_heldAt));
        m_heldAt = 0;
    }
    m_held.insert(m_held.end(), m_chunk, m_chunk + n);
    m_chunk += n;
    m_chunkLeft -= n;
}

// The held start needs more: as many bytes as a plain packet or a head
// still claims, or for an enciphered body up to its next candidate end.
void ZrStreamSplitter::extendHeld(const ZrFrame& frame) {
    std::size_t n = frame.length - pendingHeld();
    if (frame.enciphered && pendingHeld() >= PKT_ENVELOPE_MIN_LEN) {
        const void* etx = std::memchr(m_chunk, _ETX_, m_chunkLeft);
        n = etx != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(etx) - m_chunk) + 1
                           : m_chunkLeft;
    }
    holdChunk(std::min(n, m_chunkLeft));
}

// The requests a client holds: a slot each (where its handler is kept), an
// index by SN, and their deadlines. Every structure is sized by the
// requests held at the most, and reused: holding a request allocates
// nothing once the client has held as many before.
#ifndef ZRPACKET_NET_SRC_REQUEST_TABLE_H
#define ZRPACKET_NET_SRC_REQUEST_TABLE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "zr_net_request.h"

namespace zrnet::detail {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kNoSlot = UINT32_MAX;

struct RequestSlot {
    enum class State : unsigned char {
        Free,
        Queued,   // its bytes wait in the write queue
        Written,  // handed to the socket: awaiting its reply
    };
    State state = State::Free;
    std::uint32_t sn = 0;
    std::uint32_t cmdID = 0;
    // Where its deadline is kept: in the list (in deadline order, as
    // requests with one timeout come) or, one earlier than the list's last,
    // in the heap.
    enum class Timing : unsigned char { List, Heap };
    Timing timing = Timing::List;
    std::uint32_t prev = 0, next = 0;  // List: its neighbours (kNoSlot at the ends)
    std::size_t heapAt = 0;            // Heap: its place
    std::size_t offset = 0;  // Queued: where its bytes start in the queue
    std::size_t length = 0;
    Clock::time_point deadline;
    RequestOp* op = nullptr;
    alignas(std::max_align_t) unsigned char storage[kInlineOpSize];
};

// SN -> slot, by open addressing with linear probing; at most half full.
class SnIndex {
public:
    std::uint32_t find(std::uint32_t sn) const {
        if (m_entries.empty()) return kNoSlot;
        for (std::size_t i = home(sn);; i = (i + 1) & mask()) {
            if (m_entries[i].slot == kNoSlot || m_entries[i].sn == sn) return m_entries[i].slot;
        }
    }
    // `sn` must not be in the index.
    void insert(std::uint32_t sn, std::uint32_t slot) {
        if (2 * (m_count + 1) > m_entries.size()) grow();
        std::size_t i = home(sn);
        while (m_entries[i].slot != kNoSlot) i = (i + 1) & mask();
        m_entries[i] = {sn, slot};
        ++m_count;
    }
    // `sn` must be in the index. Later entries of its probe run move back
    // into the gap, so that no tombstones are left.
    void erase(std::uint32_t sn) {
        std::size_t gap = home(sn);
        while (m_entries[gap].sn != sn || m_entries[gap].slot == kNoSlot) gap = (gap + 1) & mask();
        for (std::size_t j = (gap + 1) & mask(); m_entries[j].slot != kNoSlot; j = (j + 1) & mask()) {
            if (((j - home(m_entries[j].sn)) & mask()) >= ((j - gap) & mask())) {
                m_entries[gap] = m_entries[j];
                gap = j;
            }
        }
        m_entries[gap].slot = kNoSlot;
        --m_count;
    }
    void clear() {
        for (Entry& e : m_entries) e.slot = kNoSlot;
        m_count = 0;
    }

private:
    struct Entry {
        std::uint32_t sn = 0;
        std::uint32_t slot = kNoSlot;
    };
    std::size_t mask() const { return m_entries.size() - 1; }
    // Fibonacci hashing: the top bits of sn times 2^32 / phi.
    std::size_t home(std::uint32_t sn) const { return (sn * 0x9E3779B9u) >> m_shift; }
    void grow() {
        std::vector<Entry> old(m_entries.empty() ? 16 : 2 * m_entries.size());
        old.swap(m_entries);
        m_shift = 32;
        for (std::size_t size = m_entries.size(); size > 1; size >>= 1) --m_shift;
        m_count = 0;
        for (const Entry& e : old) {
            if (e.slot != kNoSlot) insert(e.sn, e.slot);
        }
    }

    std::vector<Entry> m_entries;
    std::size_t m_count = 0;
    unsigned m_shift = 32;
};

// Deadlines: a request whose deadline is not before the last one in the
// list (every request, when they share a timeout) joins the list's end, and
// leaves it from anywhere, at no cost; the others go to a binary heap. The
// first deadline is the earlier of the list's head and the heap's top.
class RequestTable {
public:
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    RequestSlot& operator[](std::uint32_t slot) { return m_chunks[slot / kChunk][slot % kChunk]; }
    const RequestSlot& operator[](std::uint32_t slot) const { return m_chunks[slot / kChunk][slot % kChunk]; }
    // The slot of the request with this SN, or kNoSlot.
    std::uint32_t find(std::uint32_t sn) const { return m_index.find(sn); }

    // A slot for a new request, Queued; `sn` must be free.
    std::uint32_t add(std::uint32_t sn, std::uint32_t cmdID, Clock::time_point deadline) {
        if (m_free.empty()) {  // a chunk more
            const auto first = static_cast<std::uint32_t>(m_chunks.size() * kChunk);
            m_chunks.push_back(std::make_unique<RequestSlot[]>(kChunk));
            for (std::uint32_t i = kChunk; i > 0; --i) m_free.push_back(first + i - 1);
        }
        const std::uint32_t slot = m_free.back();
        m_free.pop_back();
        RequestSlot& s = (*this)[slot];
        s.state = RequestSlot::State::Queued;
        s.sn = sn;
        s.cmdID = cmdID;
        s.deadline = deadline;
        s.op = nullptr;
        m_index.insert(sn, slot);
        ++m_count;
        if (m_tail == kNoSlot || !(deadline < (*this)[m_tail].deadline)) {
            s.timing = RequestSlot::Timing::List;
            s.prev = m_tail;
            s.next = kNoSlot;
            (m_tail == kNoSlot ? m_head : (*this)[m_tail].next) = slot;
            m_tail = slot;
        } else {
            s.timing = RequestSlot::Timing::Heap;
            m_heap.push_back({deadline, slot});
            siftUp(m_heap.size() - 1);
        }
        return slot;
    }
    // Frees the slot (its op, if any, is the caller's to complete or destroy).
    void remove(std::uint32_t slot) {
        RequestSlot& s = (*this)[slot];
        m_index.erase(s.sn);
        --m_count;
        if (s.timing == RequestSlot::Timing::List) {
            (s.prev == kNoSlot ? m_head : (*this)[s.prev].next) = s.next;
            (s.next == kNoSlot ? m_tail : (*this)[s.next].prev) = s.prev;
        } else {
            const std::size_t at = s.heapAt;
            place(at, m_heap.back());
            m_heap.pop_back();
            if (at < m_heap.size()) {
                siftUp(at);
                siftDown(at);
            }
        }
        s.state = RequestSlot::State::Free;
        m_free.push_back(slot);
    }

    // The request whose deadline comes first (the table must not be empty).
    std::uint32_t earliest() const {
        if (m_head == kNoSlot) return m_heap.front().slot;
        if (m_heap.empty() || !(m_heap.front().deadline < (*this)[m_head].deadline)) return m_head;
        return m_heap.front().slot;
    }
    Clock::time_point nextDeadline() const { return (*this)[earliest()].deadline; }

    // Every request held, in no order.
    template <class F>
    void forEach(F&& f) {
        for (std::uint32_t slot = m_head; slot != kNoSlot; slot = (*this)[slot].next) f(slot);
        for (const Timed& t : m_heap) f(t.slot);
    }

private:
    // A request in the heap, with its deadline at hand for the comparisons.
    struct Timed {
        Clock::time_point deadline;
        std::uint32_t slot;
    };
    void place(std::size_t at, const Timed& t) {
        m_heap[at] = t;
        (*this)[t.slot].heapAt = at;
    }
    void siftUp(std::size_t at) {
        const Timed t = m_heap[at];
        while (at > 0 && t.deadline < m_heap[(at - 1) / 2].deadline) {
            place(at, m_heap[(at - 1) / 2]);
            at = (at - 1) / 2;
        }
        place(at, t);
    }
    void siftDown(std::size_t at) {
        const Timed t = m_heap[at];
        for (;;) {
            std::size_t child = 2 * at + 1;
            if (child >= m_heap.size()) break;
            if (child + 1 < m_heap.size() && m_heap[child + 1].deadline < m_heap[child].deadline) ++child;
            if (!(m_heap[child].deadline < t.deadline)) break;
            place(at, m_heap[child]);
            at = child;
        }
        place(at, t);
    }

    // In chunks that never move: a handler stays where it was made.
    static constexpr std::uint32_t kChunk = 64;
    std::vector<std::unique_ptr<RequestSlot[]>> m_chunks;
    std::vector<std::uint32_t> m_free;
    SnIndex m_index;
    std::size_t m_count = 0;
    std::uint32_t m_head = kNoSlot, m_tail = kNoSlot;  // the list
    std::vector<Timed> m_heap;                         // a binary heap: the earliest deadline first
};

}  // namespace zrnet::detail

#endif  // ZRPACKET_NET_SRC_REQUEST_TABLE_H

// The walk: a body's field list over wire bytes, with nothing stored and no
// object needed. It says how many bytes the body takes, or where and why it
// cannot be read: how a packet is measured in a byte stream
// (zr_stream_splitter.h) and how a failed decode is explained. Each field is
// read by the wire rules (zr_wire_rules.h) that deCode's reader uses too,
// so the meter and deCode read a body by one grammar.
//
// Two ends bound a walk: the end of the bytes at hand, past which a field
// is truncated (more bytes may make it whole), and the longest body the
// caller accepts, past which it is refused whatever follows. The walk
// reads only bytes before both.
#ifndef ZRPACKET_ZR_BODY_WALK_H
#define ZRPACKET_ZR_BODY_WALK_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "zr_wire_rules.h"

// Why a walk stopped before the end of its field list: a wire rule's
// fault (ZrWireFault, the same values), or one of the walk's own.
enum class ZrWalkFault : unsigned char {
    None,
    // The bytes at hand end inside the field; more may make it whole.
    Number,  // a varint whose last byte still has its top bit set
    Fixed,   // a fixed-width number
    Text,    // the bytes of a text
    // No bytes that follow can make the field whole.
    TextClaim,    // a text length of 2^31 or more
    TextTooLong,  // a char[N] text of N or more bytes
    Count,        // a list or map of more than ZR_MAX_CONTAINER_COUNT elements
    Limit,        // the field runs past the longest body the caller accepts
    // The walk may step into no more fields (setFieldAllowance): the
    // caller's work budget is spent.
    WorkLimit,
};

// Where a walk stopped: the fault, the offset in the body, the field's path.
struct ZrWalkStop {
    // One level of the path: a list or map (with the element's index), or a
    // record field.
    struct Step {
        const char* name;
        std::uint32_t index;
        bool indexed;
    };
    static constexpr unsigned kMaxDepth = 6;  // deeper levels are not kept

    ZrWalkFault fault = ZrWalkFault::None;
    std::size_t at = 0;           // body offset of what could not be read
    std::uint64_t value = 0;      // the text length or count read; a fixed number's width
    std::uint32_t limit = 0;      // the N of a char[N] text
    std::size_t needed = 0;       // Number, Fixed, Text, Limit: the fewest body bytes that field needs
    const char* field = nullptr;  // the field's own name; null for a list element
    Step path[kMaxDepth] = {};
    unsigned depth = 0;

    bool stopped() const { return fault != ZrWalkFault::None; }
    // The bytes at hand end inside the field: more bytes may make it whole.
    bool truncated() const {
        return fault == ZrWalkFault::Number || fault == ZrWalkFault::Fixed || fault == ZrWalkFault::Text;
    }
    // The field's path as the JSON form spells it: "body.ACCONTINFO[3].szField2"
    // for the prefix "body".
    std::string where(const std::string& prefix) const;
    // What went wrong, offsets counted from `base` (the body's own first
    // byte is base): "text of 40 bytes from offset 78 runs past the body's
    // end at offset 118". `end` is the body offset where the bytes ended.
    std::string why(std::size_t base, std::size_t end) const;
};

// Where a walk stopped for want of bytes, kept so that a later walk over
// more bytes of the same body resumes there instead of walking the body
// again: a body that arrives in pieces is walked once, whatever the pieces.
// The later walk must see the same bytes before `at`.
struct ZrWalkResume {
    static constexpr unsigned kMaxDepth = 8;  // a walk stopped deeper starts over

    bool valid = false;
    unsigned depth = 0;  // the level of the field the walk stopped in (0: the body's own list)
    std::size_t at = 0;  // body offset where that field starts; it is read again from there
    // At each level down to `depth`: the place of the field on the path in
    // its list or element, and for a list or map the element and the count.
    std::uint32_t place[kMaxDepth + 1];
    std::uint32_t index[kMaxDepth + 1];
    std::uint32_t count[kMaxDepth + 1];
};

constexpr bool zrSameFault(ZrWalkFault walk, ZrWireFault wire) {
    return static_cast<int>(walk) == static_cast<int>(wire);
}
static_assert(zrSameFault(ZrWalkFault::Number, ZrWireFault::Number) &&
                  zrSameFault(ZrWalkFault::Fixed, ZrWireFault::Fixed) &&
                  zrSameFault(ZrWalkFault::Text, ZrWireFault::Text) &&
                  zrSameFault(ZrWalkFault::TextClaim, ZrWireFault::TextClaim) &&
                  zrSameFault(ZrWalkFault::TextTooLong, ZrWireFault::TextTooLong) &&
                  zrSameFault(ZrWalkFault::Count, ZrWireFault::Count),
              "a wire fault is the walk fault of the same value");

class ZrBodyWalker {
public:
    // A walk over the `size` bytes at `body`. A body longer than `limit`
    // bytes is refused (fault Limit) as soon as a field claims bytes past it,
    // whether they are at hand or not. With `resume`, the walk starts where
    // the last walk given it stopped for want of bytes (if it did), and
    // leaves there where this one stops so.
    ZrBodyWalker(const unsigned char* body, std::size_t size, std::size_t limit, bool compact,
                 ZrWalkResume* resume = nullptr)
        : m_at(body), m_end(body + (size < limit ? size : limit)) {
        m_w.body = body;
        m_w.limit = limit;
        m_w.compact = compact;
        m_w.resume = resume;
        m_w.resuming = resume != nullptr && resume->valid;
        m_w.place[0] = m_w.index[0] = m_w.count[0] = 0;
    }

    // A packet's list names members; a record's list hands over the fields
    // of a prototype, which are never read or written.
    template <class Owner, class T>
    ZrBodyWalker& operator()(const char* name, T Owner::*) {
        visit(name, Tag<T>{});
        return *this;
    }
    template <class T>
    ZrBodyWalker& operator()(const char* name, T&& field) {
        if constexpr (std::is_same<std::decay_t<T>, ZrTextEcho>::value) {
            visit(name, Echo{field.size});
        } else {
            visit(name, Tag<std::remove_cv_t<std::remove_reference_t<T>>>{});
        }
        return *this;
    }

    // Runs a class's list over the body (its walkBody), then records where
    // a walk that wants bytes stopped.
    template <class List>
    ZrBodyWalker& walk(List&& list) {
        list(*this);
        if (m_w.resume != nullptr) {
            m_w.resume->valid = truncated() && m_w.stopDepth <= ZrWalkResume::kMaxDepth;
            if (m_w.resume->valid) {
                m_w.resume->depth = m_w.stopDepth;
                m_w.resume->at = m_w.stopAt;
                for (unsigned d = 0; d <= m_w.stopDepth; ++d) {
                    m_w.resume->place[d] = m_w.stopPlace[d];
                    m_w.resume->index[d] = m_w.stopIndex[d];
                    m_w.resume->count[d] = m_w.stopCount[d];
                }
            }
        }
        return *this;
    }
    // Fields stepped into by this walk (those passed over on resuming are not).
    std::uint64_t fieldsWalked() const { return m_w.allowance - m_w.fieldsLeft; }
    // The most fields this walk may step into; it stops at the next with
    // fault WorkLimit (unlimited unless set).
    void setFieldAllowance(std::uint64_t fields) { m_w.allowance = m_w.fieldsLeft = fields; }
    bool ok() const { return m_w.fault == ZrWalkFault::None; }
    // Bytes taken so far: the whole body once its list has been walked.
    std::size_t consumed() const { return offset(m_at); }
    // Where and why the walk stopped (built on demand: a walk that reads
    // whole never pays for the path).
    ZrWalkStop stop() const {
        ZrWalkStop s;
        if (ok()) return s;
        s.fault = m_w.fault;
        s.at = m_w.faultAt;
        s.value = m_w.value;
        s.limit = m_w.textSize;
        s.needed = m_w.needed;
        s.field = m_w.field;
        s.depth = m_w.faultDepth;
        for (unsigned i = 0; i < m_w.faultDepth && i < ZrWalkStop::kMaxDepth; ++i) s.path[i] = m_w.path[i];
        return s;
    }
    bool truncated() const {
        return m_w.fault == ZrWalkFault::Number || m_w.fault == ZrWalkFault::Fixed || m_w.fault == ZrWalkFault::Text;
    }
    // Truncated: the body bytes the field that stopped the walk needs. A
    // reader waits for no more before walking on: a field after it may show
    // the body is no packet with fewer bytes than the whole body takes.
    std::size_t needed() const { return m_w.needed; }

private:
    template <class T>
    struct Tag {};
    struct Echo {
        std::uint32_t size;
    };
    static constexpr unsigned kLevels = ZrWalkResume::kMaxDepth + 1;

    std::size_t offset(const unsigned char* p) const { return static_cast<std::size_t>(p - m_w.body); }

    // A rule's verdict on the form that starts at `start`: true when read;
    // otherwise the walk stops there, for the rule's reason, or Limit when
    // the form needs bytes past the longest body. `size` is a char[N]'s N.
    [[gnu::always_inline]] bool check(const char* name, const unsigned char* start, ZrWireVerdict verdict,
                                      std::uint32_t size = 0) {
        if (verdict.ok()) return true;
        refuse(name, start, verdict, size);
        return false;
    }
    // Out of line, and called last where it can be: the fast path of a
    // field then needs no register saved.
    [[gnu::noinline]] void refuse(const char* name, const unsigned char* start, ZrWireVerdict verdict,
                                  std::uint32_t size) {
        const std::size_t at = offset(start);
        auto fault = static_cast<ZrWalkFault>(verdict.fault);
        std::size_t needed = 0;
        if (verdict.truncated()) {
            needed = at + static_cast<std::size_t>(verdict.need());
            if (needed > m_w.limit) fault = ZrWalkFault::Limit;
        }
        // A text's bytes are what is missing, after its length.
        fail(fault, name, verdict.fault == ZrWireFault::Text ? at + verdict.prefix : at, verdict.value);
        m_w.needed = needed;
        if (verdict.fault == ZrWireFault::TextTooLong) m_w.textSize = size;
    }

    // --- each field's place counted, its bytes passed over -----------------

    // Every field, list element and map key or value comes through here.
    // In a walk given a resume point, its place at its level is counted, so
    // that a resumed walk passes over
    // what came before the stop without reading it, and goes down the path
    // to the field it stopped in, which it reads from its start.
    template <class T>
    void visit(const char* name, T tag) {
        if (!ok()) return;
        if (m_w.resume != nullptr) {  // a walk that keeps where it stops counts places
            const unsigned d = m_w.depth;
            const std::uint32_t place = d < kLevels ? m_w.place[d]++ : 0;
            if (m_w.resuming) {
                if (place < m_w.resume->place[d]) return;
                if (d == m_w.resume->depth) {
                    m_w.resuming = false;
                    m_at = m_w.body + m_w.resume->at;
                }
            }
            m_w.fieldAt = offset(m_at);
        }
        if (m_w.fieldsLeft == 0) return outOfFields(name);
        --m_w.fieldsLeft;
        step(name, tag);
    }

    void fixed(const char* name, std::uint64_t width) {
        const unsigned char* start = m_at;
        const ZrWireVerdict verdict = zrTake(m_at, m_end, width);
        if (!verdict.ok()) refuse(name, start, verdict, 0);
    }
    void step(const char* name, Tag<unsigned char>) { fixed(name, 1); }
    void step(const char* name, Tag<unsigned short>) { fixed(name, 2); }
    void step(const char* name, Tag<unsigned int>) {
        const unsigned char* start = m_at;
        std::uint32_t ignored;
        const ZrWireVerdict verdict = zrReadNumber(m_at, m_end, m_w.compact, ignored);
        if (!verdict.ok()) refuse(name, start, verdict, 0);
    }
    void step(const char* name, Tag<int>) { step(name, Tag<unsigned int>{}); }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void step(const char* name, Tag<T>) {
        fixed(name, 8);
    }
    void step(const char* name, Tag<std::string>) {
        const unsigned char* start = m_at;
        const unsigned char* bytes;
        std::uint32_t length;
        const ZrWireVerdict verdict = zrReadString(m_at, m_end, m_w.compact, bytes, length);
        if (!verdict.ok()) refuse(name, start, verdict, 0);
    }
    void text(const char* name, std::uint32_t size) {
        const unsigned char* start = m_at;
        const unsigned char* bytes;
        std::uint32_t length;
        const ZrWireVerdict verdict = zrReadText(m_at, m_end, m_w.compact, size, bytes, length);
        if (!verdict.ok()) refuse(name, start, verdict, size);
    }
    template <std::size_t N>
    void step(const char* name, Tag<char[N]>) {
        text(name, static_cast<std::uint32_t>(N));
    }
    void step(const char* name, Echo echo) { text(name, echo.size); }
    template <class T>
    void step(const char* name, Tag<std::vector<T>>) {
        std::uint32_t count = 0, first = 0;
        if (!enterContainer(name, count, first)) return;
        Level level(*this, name, true, count);
        for (std::uint32_t i = first; i < count && ok(); ++i) {
            level.setIndex(i);
            visit(nullptr, Tag<T>{});
        }
    }
    template <class K, class V, class Less, class Alloc>
    void step(const char* name, Tag<std::map<K, V, Less, Alloc>>) {
        std::uint32_t count = 0, first = 0;
        if (!enterContainer(name, count, first)) return;
        Level level(*this, name, true, count);
        for (std::uint32_t i = first; i < count && ok(); ++i) {
            level.setIndex(i);
            visit("key", Tag<K>{});
            visit("value", Tag<V>{});
        }
    }
    // A record: its own list, run over a prototype that is never read or
    // written (the list needs a record to name its fields).
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    void step(const char* name, Tag<Record>) {
        static Record prototype{};
        Level level(*this, name, false, 0);
        zrRecordFields(prototype, *this);
    }
    // A list's or map's count: read, or on the path of a resumed walk the
    // count read before, with the element the walk stopped in.
    bool enterContainer(const char* name, std::uint32_t& count, std::uint32_t& first) {
        if (m_w.resuming) {
            count = m_w.resume->count[m_w.depth + 1];
            first = m_w.resume->index[m_w.depth + 1];
            return true;
        }
        first = 0;
        const unsigned char* start = m_at;
        return check(name, start, zrReadCount(m_at, m_end, m_w.compact, count));
    }

    [[gnu::noinline]] void outOfFields(const char* name) {
        fail(ZrWalkFault::WorkLimit, name, offset(m_at), fieldsWalked());
    }
    void fail(ZrWalkFault fault, const char* name, std::size_t at, std::uint64_t value) {
        m_w.fault = fault;
        m_w.textSize = 0;
        m_w.needed = 0;
        m_w.field = name;
        m_w.faultAt = at;
        m_w.value = value;
        m_w.faultDepth = m_w.depth;  // the levels stay as they are: nothing is opened after a fault
        // Where a resumed walk starts: the field this one stopped in, down
        // the path that leads to it.
        m_w.stopDepth = m_w.depth;
        m_w.stopAt = m_w.fieldAt;
        for (unsigned d = 0; d <= m_w.depth && d < kLevels; ++d) {
            m_w.stopPlace[d] = m_w.place[d] - 1;
            m_w.stopIndex[d] = m_w.index[d];
            m_w.stopCount[d] = m_w.count[d];
        }
    }

    // A list, a map or a record being walked: one level of the path. Every
    // one opens a level (a nameless record, a list element, too: its fields
    // are counted apart from the list's).
    class Level {
    public:
        Level(ZrBodyWalker& walker, const char* name, bool indexed, std::uint32_t count) : m_walker(walker) {
            if (walker.m_w.depth < ZrWalkStop::kMaxDepth) walker.m_w.path[walker.m_w.depth] = {name, 0, indexed};
            const unsigned d = ++walker.m_w.depth;
            if (d < kLevels) {
                walker.m_w.place[d] = 0;
                walker.m_w.index[d] = 0;
                walker.m_w.count[d] = count;
            }
        }
        ~Level() { --m_walker.m_w.depth; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        void setIndex(std::uint32_t i) {
            const unsigned d = m_walker.m_w.depth;
            if (d <= ZrWalkStop::kMaxDepth) m_walker.m_w.path[d - 1].index = i;
            if (d < kLevels) {
                m_walker.m_w.index[d] = i;
                m_walker.m_w.place[d] = 0;  // each element's fields are counted from its start
            }
        }

    private:
        ZrBodyWalker& m_walker;
    };

    const unsigned char* m_at;
    const unsigned char* m_end;

    // Where the bytes start (offsets count from there), the longest body
    // accepted, the mode, the levels open now and where the walk stopped.
    struct WalkState {
        const unsigned char* body = nullptr;
        std::size_t limit = 0;
        bool compact = false;
        unsigned depth = 0;
        ZrWalkStop::Step path[ZrWalkStop::kMaxDepth];  // levels open now; only the first `depth` are set
        ZrWalkFault fault = ZrWalkFault::None;
        std::size_t faultAt;  // these five: set by fail()
        std::uint64_t value;
        std::uint32_t textSize;
        std::size_t needed;
        const char* field;
        unsigned faultDepth;
        // Resuming: the point given, and whether the walk is still on its way there.
        ZrWalkResume* resume = nullptr;
        bool resuming = false;
        std::size_t fieldAt = 0;               // where the field being read started
        std::uint64_t allowance = UINT64_MAX;  // fields it may step into
        std::uint64_t fieldsLeft = UINT64_MAX;
        // Per level open now: fields and elements counted, the element, the count.
        std::uint32_t place[kLevels];  // level 0 set by the walk's constructor, the others as they open
        std::uint32_t index[kLevels];
        std::uint32_t count[kLevels];
        // The same at the stop.
        unsigned stopDepth;
        std::size_t stopAt;
        std::uint32_t stopPlace[kLevels];
        std::uint32_t stopIndex[kLevels];
        std::uint32_t stopCount[kLevels];
    };
    WalkState m_w;
};

#endif  // ZRPACKET_ZR_BODY_WALK_H

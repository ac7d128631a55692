// Walking a body's wire bytes by its field list, storing nothing: how many
// bytes the body takes, or where and why it cannot be read. This is how a
// packet is measured in a byte stream without a packet object
// (zr_stream_splitter.h), and how a failed decode is explained.
//
// The walk applies the stream's reading rules (zr_byte_stream.h) exactly, so
// a body it reads whole is one that deCode reads, and the bytes it counts are
// the bytes deCode takes:
//   u8, u16, u64   1, 2 and 8 bytes
//   u32, i32       4 bytes, or in compact mode a varint of any length
//   string         length (u32), then that many bytes; 2^31 or more never fits
//   char[N]        length (u32): 0 or negative as a signed number is the empty
//                  text and nothing follows; N or more fails; then the bytes
//   vector, map    count (u32), at most ZR_MAX_CONTAINER_COUNT, then elements
//   record         its own field list
//
// Two ends bound the walk: the end of the bytes at hand, past which a field
// is truncated (more bytes may make it whole), and the longest body the
// caller accepts, past which it is refused whatever follows. The walk reads
// only bytes before both.
#ifndef ZRPACKET_ZR_BODY_WALK_H
#define ZRPACKET_ZR_BODY_WALK_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "zr_byte_stream.h"

// Why a walk stopped before the end of its field list.
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
    std::uint32_t place[kMaxDepth + 1] = {};
    std::uint32_t index[kMaxDepth + 1] = {};
    std::uint32_t count[kMaxDepth + 1] = {};
};

// The walking visitor. A packet's field list hands it member pointers, a
// record's list the record's fields; either way only the types are used,
// never a value.
class ZrBodyWalker {
public:
    // Walks the `size` bytes at `body`. A body longer than `limit` bytes is
    // refused (fault Limit) as soon as a field claims bytes past it, whether
    // they are at hand or not. With `resume`, the walk starts where the last
    // walk given it stopped for want of bytes (if it did), and leaves there
    // where this one stops so.
    ZrBodyWalker(const unsigned char* body, std::size_t size, std::size_t limit, bool compact,
                 ZrWalkResume* resume = nullptr)
        : m_body(body),
          m_end(size < limit ? size : limit),
          m_limit(limit),
          m_compact(compact),
          m_resume(resume),
          m_resuming(resume != nullptr && resume->valid) {}

    template <class Owner, class T>
    ZrBodyWalker& operator()(const char* name, T Owner::*) {
        visit(name, Tag<T>{});
        return *this;
    }
    template <class T>
    ZrBodyWalker& operator()(const char* name, T&) {
        visit(name, Tag<T>{});
        return *this;
    }
    ZrBodyWalker& operator()(const char* name, const ZrTextEcho& echo) {
        visit(name, Echo{echo.size});
        return *this;
    }
    // Runs a class's list over the body (its walkBody), then records where
    // a walk that wants bytes stopped.
    template <class List>
    ZrBodyWalker& walk(List&& list) {
        list(*this);
        if (m_resume != nullptr) {
            m_resume->valid = truncated() && m_stopDepth <= ZrWalkResume::kMaxDepth;
            if (m_resume->valid) {
                m_resume->depth = m_stopDepth;
                m_resume->at = m_stopAt;
                for (unsigned d = 0; d <= m_stopDepth; ++d) {
                    m_resume->place[d] = m_stopPlace[d];
                    m_resume->index[d] = m_stopIndex[d];
                    m_resume->count[d] = m_stopCount[d];
                }
            }
        }
        return *this;
    }
    // Fields stepped into by this walk (those passed over on resuming are not).
    std::uint64_t fieldsWalked() const { return m_fields; }

    bool ok() const { return m_fault == ZrWalkFault::None; }
    // Bytes taken so far: the whole body once its list has been walked.
    std::size_t consumed() const { return m_at; }
    // Where and why the walk stopped (built on demand: a walk that reads
    // whole never pays for the path).
    ZrWalkStop stop() const {
        ZrWalkStop s;
        s.fault = m_fault;
        s.at = m_faultAt;
        s.value = m_value;
        s.limit = m_textSize;
        s.needed = m_needed;
        s.field = m_field;
        s.depth = m_faultDepth;
        for (unsigned i = 0; i < m_faultDepth && i < ZrWalkStop::kMaxDepth; ++i) s.path[i] = m_path[i];
        return s;
    }
    bool truncated() const {
        return m_fault == ZrWalkFault::Number || m_fault == ZrWalkFault::Fixed || m_fault == ZrWalkFault::Text;
    }
    // Truncated: the fewest body bytes the body needs: those the field that
    // stopped the walk needs, then every field and element after it at its
    // shortest (a number in one byte, an empty text or list).
    std::size_t needed() const { return m_needed + m_rest; }

private:
    template <class T>
    struct Tag {};
    struct Echo {
        std::uint32_t size;
    };
    static constexpr unsigned kLevels = ZrWalkResume::kMaxDepth + 1;

    // Every field, list element and map key or value comes through here:
    // its place at its level is counted, so that a resumed walk passes over
    // what came before the stop without reading it, and goes down the path
    // to the field it stopped in, which it reads from its start.
    template <class T>
    void visit(const char* name, T tag) {
        if (!ok()) {
            if (truncated()) m_rest += least(tag);
            return;
        }
        const unsigned d = m_depth;
        const std::uint32_t place = d < kLevels ? m_place[d]++ : 0;
        if (m_resuming) {
            if (place < m_resume->place[d]) return;
            if (d == m_resume->depth) {
                m_resuming = false;
                m_at = m_resume->at;
            }
        }
        m_fieldAt = m_at;
        ++m_fields;
        step(name, tag);
    }
    void step(const char* name, Echo echo) { text(name, echo.size); }

    // The shortest wire form of a type.
    std::size_t least(Tag<unsigned char>) const { return 1; }
    std::size_t least(Tag<unsigned short>) const { return 2; }
    std::size_t least(Tag<unsigned int>) const { return m_compact ? 1 : 4; }
    std::size_t least(Tag<int>) const { return m_compact ? 1 : 4; }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    std::size_t least(Tag<T>) const {
        return 8;
    }
    std::size_t least(Tag<std::string>) const { return m_compact ? 1 : 4; }
    template <std::size_t N>
    std::size_t least(Tag<char[N]>) const {
        return m_compact ? 1 : 4;
    }
    std::size_t least(Echo) const { return m_compact ? 1 : 4; }
    template <class T>
    std::size_t least(Tag<std::vector<T>>) const {
        return m_compact ? 1 : 4;
    }
    template <class K, class V, class Less, class Alloc>
    std::size_t least(Tag<std::map<K, V, Less, Alloc>>) const {
        return m_compact ? 1 : 4;
    }
    // A record: its fields at their shortest, added up once per mode.
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    std::size_t least(Tag<Record>) const {
        static const std::size_t bytes[2] = {[] {
                                                 ZrBodyWalker fixed(nullptr, 0, 0, false);
                                                 return fixed.recordLeast<Record>();
                                             }(),
                                             [] {
                                                 ZrBodyWalker compact(nullptr, 0, 0, true);
                                                 return compact.recordLeast<Record>();
                                             }()};
        return bytes[m_compact ? 1 : 0];
    }
    template <class Record>
    std::size_t recordLeast() const {
        static Record prototype{};
        LeastSum sum{*this, 0};
        zrRecordFields(prototype, sum);
        return sum.bytes;
    }
    struct LeastSum {
        const ZrBodyWalker& walker;
        std::size_t bytes;
        template <class T>
        LeastSum& operator()(const char*, T&) {
            bytes += walker.least(Tag<T>{});
            return *this;
        }
        LeastSum& operator()(const char*, const ZrTextEcho&) {
            bytes += walker.least(Echo{});
            return *this;
        }
    };

    // --- the wire types ----------------------------------------------------
    void step(const char* name, Tag<unsigned char>) { take(name, ZrWalkFault::Fixed, 1); }
    void step(const char* name, Tag<unsigned short>) { take(name, ZrWalkFault::Fixed, 2); }
    void step(const char* name, Tag<unsigned int>) {
        std::uint32_t ignored;
        number(name, ignored);
    }
    void step(const char* name, Tag<int>) { step(name, Tag<unsigned int>{}); }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void step(const char* name, Tag<T>) {
        take(name, ZrWalkFault::Fixed, 8);
    }
    void step(const char* name, Tag<std::string>) {
        const std::size_t lengthAt = m_at;
        std::uint32_t length = 0;
        if (!number(name, length) || length == 0) return;
        if (static_cast<std::int32_t>(length) < 0) {
            fail(ZrWalkFault::TextClaim, name, lengthAt, length);
            return;
        }
        take(name, ZrWalkFault::Text, length);
    }
    template <std::size_t N>
    void step(const char* name, Tag<char[N]>) {
        text(name, static_cast<std::uint32_t>(N));
    }
    template <class T>
    void step(const char* name, Tag<std::vector<T>>) {
        std::uint32_t count = 0, first = 0;
        if (!enterContainer(name, count, first)) return;
        Level level(*this, name, true, count);
        std::uint32_t i = first;
        for (; i < count && ok(); ++i) {
            level.setIndex(i);
            visit(nullptr, Tag<T>{});
        }
        if (truncated() && i < count) m_rest += (count - i) * least(Tag<T>{});  // the elements after the one cut
    }
    template <class K, class V, class Less, class Alloc>
    void step(const char* name, Tag<std::map<K, V, Less, Alloc>>) {
        std::uint32_t count = 0, first = 0;
        if (!enterContainer(name, count, first)) return;
        Level level(*this, name, true, count);
        std::uint32_t i = first;
        for (; i < count && ok(); ++i) {
            level.setIndex(i);
            visit("key", Tag<K>{});
            visit("value", Tag<V>{});
        }
        if (truncated() && i < count) m_rest += (count - i) * (least(Tag<K>{}) + least(Tag<V>{}));
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
        if (m_resuming) {
            count = m_resume->count[m_depth + 1];
            first = m_resume->index[m_depth + 1];
            return true;
        }
        first = 0;
        return containerCount(name, count);
    }

    // --- reading rules -------------------------------------------------------
    // n bytes at the cursor; a fault of kind `truncated` when they are not
    // all at hand, Limit when they run past the longest body.
    bool take(const char* name, ZrWalkFault truncated, std::uint64_t n) {
        if (!ok()) return false;
        if (n <= m_end - m_at) {
            m_at += static_cast<std::size_t>(n);
            return true;
        }
        fail(n > m_limit - m_at ? ZrWalkFault::Limit : truncated, name, m_at, n);
        m_needed = m_at + static_cast<std::size_t>(n);
        return false;
    }

    // A u32 by mode. A varint is taken whole, however long, as the stream
    // takes it; groups past the 32 bits are dropped.
    bool number(const char* name, std::uint32_t& value) {
        if (!ok()) return false;
        if (!m_compact) {
            const std::size_t at = m_at;
            if (!take(name, ZrWalkFault::Fixed, 4)) return false;
            value = CHostNetworkConvertorNormal::loadBigEndian32(m_body + at);
            return true;
        }
        value = 0;
        for (std::size_t p = m_at;; ++p) {
            if (p == m_end) {
                fail(p == m_limit ? ZrWalkFault::Limit : ZrWalkFault::Number, name, m_at, p - m_at);
                m_needed = p + 1;
                return false;
            }
            const std::size_t shift = (p - m_at) * 7;
            if (shift < 32) value |= std::uint32_t{m_body[p] & 0x7Fu} << shift;
            if (m_body[p] < 0x80) {
                m_at = p + 1;
                return true;
            }
        }
    }
    // char[size]: a length of 0 or less as a signed number is the empty text.
    void text(const char* name, std::uint32_t size) {
        const std::size_t lengthAt = m_at;
        std::uint32_t length = 0;
        if (!number(name, length) || static_cast<std::int32_t>(length) <= 0) return;
        if (length >= size) {
            fail(ZrWalkFault::TextTooLong, name, lengthAt, length);
            m_textSize = size;
            return;
        }
        take(name, ZrWalkFault::Text, length);
    }
    bool containerCount(const char* name, std::uint32_t& count) {
        const std::size_t countAt = m_at;
        if (!number(name, count)) return false;
        if (count <= ZR_MAX_CONTAINER_COUNT) return true;
        fail(ZrWalkFault::Count, name, countAt, count);
        return false;
    }

    void fail(ZrWalkFault fault, const char* name, std::size_t at, std::uint64_t value) {
        m_fault = fault;
        m_field = name;
        m_faultAt = at;
        m_value = value;
        m_faultDepth = m_depth;  // the levels stay as they are: nothing is opened after a fault
        // Where a resumed walk starts: the field this one stopped in, down
        // the path that leads to it.
        m_stopDepth = m_depth;
        m_stopAt = m_fieldAt;
        for (unsigned d = 0; d <= m_depth && d < kLevels; ++d) {
            m_stopPlace[d] = m_place[d] - 1;
            m_stopIndex[d] = m_index[d];
            m_stopCount[d] = m_count[d];
        }
    }

    // A list, a map or a named record being walked: one level of the path.
    class Level {
    public:
        // Every list, map and record opens a level (a nameless record, a
        // list element, too: its fields are counted apart from the list's).
        Level(ZrBodyWalker& walker, const char* name, bool indexed, std::uint32_t count) : m_walker(walker) {
            if (walker.m_depth < ZrWalkStop::kMaxDepth) walker.m_path[walker.m_depth] = {name, 0, indexed};
            const unsigned d = ++walker.m_depth;
            if (d < kLevels) {
                walker.m_place[d] = 0;
                walker.m_index[d] = 0;
                walker.m_count[d] = count;
            }
        }
        ~Level() { --m_walker.m_depth; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        void setIndex(std::uint32_t i) {
            const unsigned d = m_walker.m_depth;
            if (d <= ZrWalkStop::kMaxDepth) m_walker.m_path[d - 1].index = i;
            if (d < kLevels) {
                m_walker.m_index[d] = i;
                m_walker.m_place[d] = 0;  // each element's fields are counted from its start
            }
        }

    private:
        ZrBodyWalker& m_walker;
    };

    const unsigned char* m_body;
    std::size_t m_at = 0;
    std::size_t m_end;    // the bytes at hand, cut at the limit
    std::size_t m_limit;  // the longest body accepted
    bool m_compact;
    unsigned m_depth = 0;
    ZrWalkStop::Step m_path[ZrWalkStop::kMaxDepth];  // levels open now; only the first m_depth are set
    // Where the walk stopped.
    ZrWalkFault m_fault = ZrWalkFault::None;
    std::size_t m_faultAt = 0;
    std::uint64_t m_value = 0;
    std::uint32_t m_textSize = 0;
    std::size_t m_needed = 0;
    std::size_t m_rest = 0;  // truncated: the shortest form of what comes after the field cut
    const char* m_field = nullptr;
    unsigned m_faultDepth = 0;

    // Resuming: the point given, and whether the walk is still on its way there.
    ZrWalkResume* m_resume;
    bool m_resuming;
    std::size_t m_fieldAt = 0;  // where the field being read started
    std::uint64_t m_fields = 0;
    // Per level open now: fields and elements counted, the element, the count.
    std::uint32_t m_place[kLevels] = {};
    std::uint32_t m_index[kLevels] = {};
    std::uint32_t m_count[kLevels] = {};
    // The same at the stop.
    unsigned m_stopDepth = 0;
    std::size_t m_stopAt = 0;
    std::uint32_t m_stopPlace[kLevels] = {};
    std::uint32_t m_stopIndex[kLevels] = {};
    std::uint32_t m_stopCount[kLevels] = {};
};

#endif  // ZRPACKET_ZR_BODY_WALK_H

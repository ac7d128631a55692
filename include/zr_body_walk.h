// One cursor over a body's field list, reading each field by the stream's
// rules (zr_byte_stream.h), in one of two ways:
//   - storing (deCode's fast path, ZrFieldReader in zr_field_runs.h): each
//     field read is stored in the packet; a field the cursor cannot read is
//     handed to the stream at that point, which fails on it by the same
//     rules and leaves it, and every field after it, as the stream alone
//     would;
//   - walking (ZrBodyWalker): nothing is stored and no object is needed;
//     the walk says how many bytes the body takes, or where and why it
//     cannot be read. This is how a packet is measured in a byte stream
//     (zr_stream_splitter.h) and how a failed decode is explained.
// So the meter and deCode read a body by one grammar:
//   u8, u16, u64   1, 2 and 8 bytes
//   u32, i32       4 bytes, or in compact mode a varint of any length (the
//                  groups past the 32 bits dropped)
//   string         length (u32), then that many bytes; 2^31 or more never fits
//   char[N]        length (u32): 0 or negative as a signed number is the empty
//                  text and nothing follows; N or more fails; then the bytes
//   vector, map    count (u32), at most ZR_MAX_CONTAINER_COUNT, then elements
//   record         its own field list
//
// Two ends bound a walk: the end of the bytes at hand, past which a field
// is truncated (more bytes may make it whole), and the longest body the
// caller accepts, past which it is refused whatever follows. The cursor
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

// How the cursor knows the body's integer mode: fixed by its type (the
// storing reads, one instance a mode), or given to a walk.
enum class ZrCursorMode : unsigned char { Fixed, Compact, Given };

template <bool Store, ZrCursorMode Mode>
class ZrFieldCursor {
public:
    // A walk over the `size` bytes at `body`. A body longer than `limit`
    // bytes is refused (fault Limit) as soon as a field claims bytes past it,
    // whether they are at hand or not. With `resume`, the walk starts where
    // the last walk given it stopped for want of bytes (if it did), and
    // leaves there where this one stops so.
    template <bool S = Store, std::enable_if_t<!S, int> = 0>
    ZrFieldCursor(const unsigned char* body, std::size_t size, std::size_t limit, bool compact,
                  ZrWalkResume* resume = nullptr)
        : m_at(body), m_end(body + (size < limit ? size : limit)) {
        m_w.body = body;
        m_w.limit = limit;
        m_w.compact = compact;
        m_w.resume = resume;
        m_w.resuming = resume != nullptr && resume->valid;
        m_w.place[0] = m_w.index[0] = m_w.count[0] = 0;
    }
    // Reads into the fields over the unread bytes of a reading stream.
    template <bool S = Store, std::enable_if_t<S, int> = 0>
    explicit ZrFieldCursor(ZrLCByteStream& stream) : m_stream(&stream) {
        resumeFromStream();
    }

    // A packet's list names members (walks only); a record's list, and
    // zrFieldsOf for a packet, hand over the fields.
    template <class Owner, class T>
    ZrFieldCursor& operator()(const char* name, T Owner::*) {
        static_assert(!Store, "a storing read needs the fields themselves");
        visit(name, Tag<T>{});
        return *this;
    }
    template <class T>
    ZrFieldCursor& operator()(const char* name, T&& field) {
        if constexpr (Store) {
            read(name, field);
        } else if constexpr (std::is_same<std::decay_t<T>, ZrTextEcho>::value) {
            visit(name, Echo{field.size});
        } else {
            visit(name, Tag<std::remove_cv_t<std::remove_reference_t<T>>>{});
        }
        return *this;
    }

    // --- storing ---------------------------------------------------------
    // Commits the cursor to the stream; call once the list has been read.
    void finish() {
        static_assert(Store, "walks have no stream");
        if (m_at != nullptr) m_stream->endReads(m_at);
    }
    // Whether every field so far was read.
    bool good() const { return m_at != nullptr || m_stream->good(); }

    // --- walking ----------------------------------------------------------
    // Runs a class's list over the body (its walkBody), then records where
    // a walk that wants bytes stopped.
    template <class List>
    ZrFieldCursor& walk(List&& list) {
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

    bool compact() const {
        if constexpr (Mode == ZrCursorMode::Given) {
            return m_w.compact;
        } else {
            return Mode == ZrCursorMode::Compact;
        }
    }
    std::size_t offset(const unsigned char* p) const { return static_cast<std::size_t>(p - m_w.body); }
    // n bytes at the cursor (both ends null while a storing read is the stream's).
    bool have(std::size_t n) const { return static_cast<std::size_t>(m_end - m_at) >= n; }

    // --- the rules: each reads one wire form at the cursor and moves past it,
    // or leaves the cursor where it was and, walking, records why ------------

    // n bytes; truncated of kind `truncatedAs` when they are not all at
    // hand, Limit when they run past the longest body.
    bool take(const char* name, ZrWalkFault truncatedAs, std::uint64_t n) {
        if (n <= static_cast<std::uint64_t>(m_end - m_at)) {
            m_at += n;
            return true;
        }
        if constexpr (!Store) {
            const std::size_t at = offset(m_at);
            fail(n > m_w.limit - at ? ZrWalkFault::Limit : truncatedAs, name, at, n);
            m_w.needed = at + static_cast<std::size_t>(n);
        }
        return false;
    }
    // A u32 by mode. A varint is taken whole, however long, as the stream
    // takes it; the groups past the 32 bits are dropped. The usual forms
    // (one byte; up to five with five at hand) decode without a check a byte.
    [[gnu::always_inline]] bool number(const char* name, std::uint32_t& value) {
        if (!compact()) {
            if (!have(4)) return take(name, ZrWalkFault::Fixed, 4);
            value = CHostNetworkConvertorNormal::loadBigEndian32(m_at);
            m_at += 4;
            return true;
        }
        if (have(1) && m_at[0] < 0x80) {
            value = m_at[0];
            ++m_at;
            return true;
        }
        if (have(ZR_VARINT32_MAX_LEN)) {
            std::uint32_t v = m_at[0] & 0x7Fu;  // gathered in a local: a store through `value` may alias the bytes
            for (std::size_t i = 1; i < ZR_VARINT32_MAX_LEN; ++i) {
                v |= std::uint32_t{m_at[i] & 0x7Fu} << (7 * i);  // the fifth group's top bits fall off
                if (m_at[i] < 0x80) {
                    value = v;
                    m_at += i + 1;
                    return true;
                }
            }
        }
        return longNumber(name, value);
    }
    // A varint near the end of the bytes at hand, or longer than five bytes.
    bool longNumber(const char* name, std::uint32_t& value) {
        std::uint32_t v = 0;
        for (const unsigned char* p = m_at;; ++p) {
            if (p == m_end) {
                if constexpr (!Store) {
                    const std::size_t end = offset(p);
                    fail(end == m_w.limit ? ZrWalkFault::Limit : ZrWalkFault::Number, name, offset(m_at),
                         end - offset(m_at));
                    m_w.needed = end + 1;
                }
                return false;
            }
            const std::size_t shift = static_cast<std::size_t>(p - m_at) * 7;
            if (shift < 32) v |= std::uint32_t{*p & 0x7Fu} << shift;
            if (*p < 0x80) {
                value = v;
                m_at = p + 1;
                return true;
            }
        }
    }
    // A string's length and bytes; `length` is set once the length is read.
    bool string(const char* name, std::uint32_t& length) {
        const unsigned char* start = m_at;
        if (!number(name, length)) return false;
        if (length == 0) return true;
        if (static_cast<std::int32_t>(length) < 0) {
            if constexpr (!Store) fail(ZrWalkFault::TextClaim, name, offset(start), length);
            m_at = start;
            return false;
        }
        if (take(name, ZrWalkFault::Text, length)) return true;
        m_at = start;
        return false;
    }
    // char[size]: a length of 0 or less as a signed number is the empty text.
    bool text(const char* name, std::uint32_t size, std::uint32_t& length) {
        const unsigned char* start = m_at;
        if (!number(name, length)) return false;
        if (static_cast<std::int32_t>(length) <= 0) {
            length = 0;
            return true;
        }
        if (length >= size) {
            if constexpr (!Store) {
                fail(ZrWalkFault::TextTooLong, name, offset(start), length);
                m_w.textSize = size;
            }
            m_at = start;
            return false;
        }
        if (take(name, ZrWalkFault::Text, length)) return true;
        m_at = start;
        return false;
    }
    bool containerCount(const char* name, std::uint32_t& count) {
        const unsigned char* start = m_at;
        if (!number(name, count)) return false;
        if (count <= ZR_MAX_CONTAINER_COUNT) return true;
        if constexpr (!Store) fail(ZrWalkFault::Count, name, offset(start), count);
        m_at = start;
        return false;
    }

    // --- storing: each wire type into its field; a field the rules refuse
    // goes to the stream ----------------------------------------------------

    void read(const char*, unsigned char& v) {
        if (!have(1)) return byStream(v);
        v = *m_at++;
    }
    void read(const char*, unsigned short& v) {
        if (!have(2)) return byStream(v);
        v = CHostNetworkConvertorNormal::loadBigEndian16(m_at);
        m_at += 2;
    }
    void read(const char* name, unsigned int& v) {
        std::uint32_t value = 0;
        if (!number(name, value)) return byStream(v);
        v = value;
    }
    void read(const char* name, int& v) {
        std::uint32_t bits = 0;
        if (!number(name, bits)) return byStream(v);
        v = static_cast<int>(bits);
    }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void read(const char*, T& v) {
        if (!have(8)) return byStream(v);
        v = static_cast<T>(CHostNetworkConvertorNormal::loadBigEndian64(m_at));
        m_at += 8;
    }
    void read(const char* name, std::string& s) {
        std::uint32_t length = 0;
        if (!string(name, length)) return byStream(s);
        s.assign(reinterpret_cast<const char*>(m_at - length), length);
    }
    template <std::size_t N>
    void read(const char* name, char (&t)[N]) {
        std::uint32_t length = 0;
        if (!text(name, static_cast<std::uint32_t>(N), length)) return byStream(t);
        std::memcpy(t, m_at - length, length);
        t[length] = '\0';
    }
    void read(const char* name, ZrTextEcho echo) {  // checked and dropped
        std::uint32_t length = 0;
        if (echo.size == 0 || !text(name, echo.size, length)) byStream(echo);
    }
    template <class T>
    void read(const char* name, std::vector<T>& items) {
        std::uint32_t count = 0;
        if (!containerCount(name, count)) return byStream(items);
        items.resize(count);
        for (T& item : items) {
            ZrLCByteStream::resetElement(item);
            read(nullptr, item);
        }
    }
    template <class K, class V, class Less, class Alloc>
    void read(const char* name, std::map<K, V, Less, Alloc>& table) {
        std::uint32_t count = 0;
        if (!containerCount(name, count)) return byStream(table);
        table.clear();
        for (std::uint32_t i = 0; i < count && m_stream->readGood(); ++i) {
            K key{};
            V value{};
            read(nullptr, key);
            read(nullptr, value);
            if (m_stream->readGood()) table[key] = std::move(value);
        }
    }
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    void read(const char*, Record& record) {
        zrRecordFields(record, *this);
    }

    // Where the unread bytes are: the cursor and the end, or both null while
    // the stream reads (it has failed).
    struct Run {
        const unsigned char* at;
        const unsigned char* end;
    };
    static Run runOf(const ZrLCByteStream& stream) {
        const unsigned char* at = stream.beginReads();
        return {at, at != nullptr ? at + stream.readRoom() : nullptr};
    }
    void resumeFromStream() {
        const Run run = runOf(*m_stream);
        m_at = run.at;
        m_end = run.end;
    }
    // The stream reads this field from where the cursor got to, by its
    // rules, and the cursor goes on from where the stream is. Out of line,
    // the rare path, and given the cursor rather than the reader, so that
    // the reader stays in registers.
    template <class T>
    [[gnu::noinline]] static Run byStream(ZrLCByteStream& stream, const unsigned char* at, T& field) {
        if (at != nullptr) stream.endReads(at);
        stream.transfer(field);
        return runOf(stream);
    }
    template <class T>
    void byStream(T& field) {
        const Run run = byStream(*m_stream, m_at, field);
        m_at = run.at;
        m_end = run.end;
    }

    // --- walking: each field's place counted, its bytes passed over --------

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
        std::uint32_t length = 0;
        string(name, length);
    }
    template <std::size_t N>
    void step(const char* name, Tag<char[N]>) {
        std::uint32_t length = 0;
        text(name, static_cast<std::uint32_t>(N), length);
    }
    void step(const char* name, Echo echo) {
        std::uint32_t length = 0;
        text(name, echo.size, length);
    }
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
        return containerCount(name, count);
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
        Level(ZrFieldCursor& walker, const char* name, bool indexed, std::uint32_t count) : m_walker(walker) {
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
        ZrFieldCursor& m_walker;
    };

    const unsigned char* m_at = nullptr;
    const unsigned char* m_end = nullptr;
    ZrLCByteStream* m_stream = nullptr;  // storing: the stream read, and the one that reads what the rules refuse

    // What only a walk keeps: where the bytes start (offsets count from
    // there), the longest body accepted, the mode, the levels open now and
    // where the walk stopped. A storing read keeps none of it.
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
    struct NoWalkState {};
    std::conditional_t<Store, NoWalkState, WalkState> m_w;
};

// The walk: a class's list over wire bytes, in the mode it is given.
using ZrBodyWalker = ZrFieldCursor<false, ZrCursorMode::Given>;

#endif  // ZRPACKET_ZR_BODY_WALK_H

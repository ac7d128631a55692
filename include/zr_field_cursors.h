// A field list run at a cursor held in a local, the way a hand-written
// coder would, for each wire form by the rules of zr_wire_rules.h:
//   ZrLongestForm        what a list takes at its longest, so that one room
//                        check can cover a whole run of writes;
//   ZrUncheckedWriter    writes a list into room checked for its longest form;
//   ZrUncheckedReader    reads fixed numbers whose bytes are known to be there;
//   ZrCheckedReader      reads and stores a list, each form checked against
//                        the end, with the one definition of what a failed
//                        read leaves behind.
// The byte stream and deCode's runs (zr_field_runs.h) are built on these.
#ifndef ZRPACKET_ZR_FIELD_CURSORS_H
#define ZRPACKET_ZR_FIELD_CURSORS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zr_wire_rules.h"

// The longest wire form of a field list, in bytes.
class ZrLongestForm {
public:
    explicit ZrLongestForm(bool compact) : m_number(compact ? ZR_VARINT32_MAX_LEN : 4) {}
    template <class T>
    ZrLongestForm& operator()(const char* /*name*/, const T& field) {
        m_bytes += of(field);
        return *this;
    }
    std::uint64_t bytes() const { return m_bytes; }

private:
    std::uint64_t of(unsigned char) const { return 1; }
    std::uint64_t of(unsigned short) const { return 2; }
    std::uint64_t of(unsigned int) const { return m_number; }
    std::uint64_t of(int) const { return m_number; }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    std::uint64_t of(T) const {
        return 8;
    }
    std::uint64_t of(const std::string& s) const { return m_number + s.size(); }
    // A char[N] text at its longest, N - 1 characters, whatever it holds.
    template <std::size_t N>
    std::uint64_t of(const char (&)[N]) const {
        return m_number + N - 1;
    }
    std::uint64_t of(const ZrTextEcho& echo) const { return m_number + (echo.size > 0 ? echo.size - 1 : 0); }
    template <class T>
    std::uint64_t of(const std::vector<T>& items) const {
        std::uint64_t bytes = m_number;
        if constexpr (std::is_trivially_copyable<T>::value) {  // numbers, records of numbers and texts
            bytes += items.size() * of(T{});
        } else {
            for (const T& item : items) bytes += of(item);
        }
        return bytes;
    }
    template <class K, class V, class Less, class Alloc>
    std::uint64_t of(const std::map<K, V, Less, Alloc>& table) const {
        std::uint64_t bytes = m_number;
        for (const auto& entry : table) bytes += of(entry.first) + of(entry.second);
        return bytes;
    }
    // A record of numbers and char[N] texts has one longest form whatever
    // it holds, reckoned once.
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    std::uint64_t of(const Record& record) const {
        if constexpr (std::is_trivially_copyable<Record>::value) {
            static const std::uint64_t compact = recordLongest(Record{}, true);
            static const std::uint64_t fixed = recordLongest(Record{}, false);
            return m_number == ZR_VARINT32_MAX_LEN ? compact : fixed;
        } else {
            return recordLongest(record, m_number == ZR_VARINT32_MAX_LEN);
        }
    }
    template <class Record>
    static std::uint64_t recordLongest(const Record& record, bool compact) {
        ZrLongestForm inner(compact);
        zrRecordFields(const_cast<Record&>(record), inner);  // the list only reads, here
        return inner.bytes();
    }

    std::uint64_t m_number;  // the widest integer or length
    std::uint64_t m_bytes = 0;
};

// Fields written at a cursor held in a local, whose room the caller has
// checked for the list's longest form (ZrLongestForm), so no field needs a
// check of its own. Each wire type as the stream writes it.
template <bool Compact>
class ZrUncheckedWriter {
public:
    explicit ZrUncheckedWriter(unsigned char* at) : m_at(at) {}
    template <class T>
    ZrUncheckedWriter& operator()(const char* /*name*/, const T& field) {
        put(field);
        return *this;
    }
    unsigned char* end() const { return m_at; }

private:
    void put(unsigned char v) { *m_at++ = v; }
    void put(unsigned short v) {
        CHostNetworkConvertorNormal::storeBigEndian16(m_at, v);
        m_at += 2;
    }
    void put(unsigned int v) {
        if constexpr (Compact) {
            m_at = zrPutVarint32(m_at, v);
        } else {
            CHostNetworkConvertorNormal::storeBigEndian32(m_at, v);
            m_at += 4;
        }
    }
    void put(int v) { put(static_cast<unsigned int>(v)); }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void put(T v) {
        CHostNetworkConvertorNormal::storeBigEndian64(m_at, static_cast<std::uint64_t>(v));
        m_at += 8;
    }
    void put(const std::string& s) { bytes(s.data(), s.size()); }
    // char[size]: the text before its NUL, cut to size - 1 characters.
    template <std::size_t N>
    void put(const char (&text)[N]) {
        bytes(text, strnlen(text, N - 1));
    }
    void put(const ZrTextEcho& echo) { bytes(echo.text, echo.size > 0 ? strnlen(echo.text, echo.size - 1) : 0); }
    template <class T>
    void put(const std::vector<T>& items) {
        put(static_cast<unsigned int>(items.size()));
        for (const T& item : items) put(item);
    }
    template <class K, class V, class Less, class Alloc>
    void put(const std::map<K, V, Less, Alloc>& table) {
        put(static_cast<unsigned int>(table.size()));
        for (const auto& entry : table) {
            put(entry.first);
            put(entry.second);
        }
    }
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    void put(const Record& record) {
        zrRecordFields(const_cast<Record&>(record), *this);  // the list only reads, here
    }

    void bytes(const char* data, std::size_t n) {
        put(static_cast<unsigned int>(n));
        if (n > 0) std::memcpy(m_at, data, n);
        m_at += n;
    }
    static std::size_t strnlen(const char* text, std::size_t max) {
        const void* nul = std::memchr(text, '\0', max);
        return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : max;
    }

    unsigned char* m_at;
};

// Fixed-mode numbers read at a cursor whose bytes the caller knows are
// there (the head's 33).
class ZrUncheckedReader {
public:
    explicit ZrUncheckedReader(const unsigned char* at) : m_at(at) {}
    ZrUncheckedReader& operator()(const char*, unsigned char& v) {
        v = *m_at++;
        return *this;
    }
    ZrUncheckedReader& operator()(const char*, unsigned short& v) {
        v = CHostNetworkConvertorNormal::loadBigEndian16(m_at);
        m_at += 2;
        return *this;
    }
    ZrUncheckedReader& operator()(const char*, unsigned int& v) {
        v = CHostNetworkConvertorNormal::loadBigEndian32(m_at);
        m_at += 4;
        return *this;
    }

private:
    const unsigned char* m_at;
};

// Fields read and stored through a local cursor over [at, end). The first
// form a rule refuses stops the reader there; from then on it reads nothing
// and every field takes its failed value:
//   numbers        0, or for a short varint the groups at hand
//   string         empty
//   char[N]        empty
//   list           unchanged when its count is over the limit (or is a short
//                  varint whose groups are); otherwise that many elements,
//                  those not read made anew
//   map            unchanged likewise; otherwise the entries read whole
// A refused text or count stops after its length or count, anything else
// where it starts.
//
// Read field by field (fieldByField), each field is read on its own from
// where the last one ended: the same rules with no cursor carried across
// fields, which is how the runs are tested against the stream alone.
// A char[size] text held at `text`, for a size known only at run time
// (0 < size < 2^31).
struct ZrTextArea {
    char* text;
    std::uint32_t size;
};

template <bool Compact>
class ZrCheckedReader {
public:
    ZrCheckedReader(const unsigned char* at, const unsigned char* end) : m_at(at), m_end(end), m_stop(at) {}
    // A reader that has already failed at `stop`.
    static ZrCheckedReader failedAt(const unsigned char* stop) {
        ZrCheckedReader reader(nullptr, nullptr);
        reader.m_stop = stop;
        return reader;
    }
    static ZrCheckedReader fieldByField(const unsigned char* at, const unsigned char* end) {
        ZrCheckedReader reader = failedAt(at);
        reader.m_lentEnd = end;
        return reader;
    }

    template <class T>
    ZrCheckedReader& operator()(const char* /*name*/, T&& field) {
        read(field);
        return *this;
    }
    // Reads n raw bytes; refused, the first byte of the target becomes 0.
    void bytes(void* target, std::uint32_t n) {
        RawBytes raw{target, n};
        read(raw);
    }

    // Whether every field so far was read.
    bool good() const { return m_at != nullptr || m_lentEnd != nullptr; }
    // Where the next field starts, or where the reader stopped.
    const unsigned char* position() const { return m_at != nullptr ? m_at : m_stop; }

    // A list element before it is read: a text is emptied (keeping its
    // capacity), anything else made anew.
    static void resetElement(std::string& s) { s.clear(); }
    template <class T>
    static void resetElement(T& item) {
        item = T{};
    }

private:
    bool have(std::size_t n) const { return static_cast<std::size_t>(m_end - m_at) >= n; }

    // A rule refused the field at the cursor. Read field by field, the
    // field is read on its own, and true; otherwise the reader stops (at
    // the first refusal, `prefix` bytes on) and the caller gives the field
    // its failed value.
    template <class T>
    bool refused(T& field, std::uint32_t prefix) {
        if (m_at != nullptr) {
            m_stop = m_at + prefix;
            m_at = m_end = nullptr;
            return false;
        }
        if (m_lentEnd == nullptr) return false;
        const Alone alone = readAlone(m_stop, m_lentEnd, field);
        m_stop = alone.at;
        if (!alone.good) m_lentEnd = nullptr;
        return true;
    }
    // Out of line and given the cursor rather than the reader, so that the
    // reader of a run stays in registers.
    struct Alone {
        const unsigned char* at;
        bool good;
    };
    template <class T>
    [[gnu::noinline]] static Alone readAlone(const unsigned char* at, const unsigned char* end, T& field) {
        ZrCheckedReader reader(at, end);
        reader.read(field);
        return {reader.position(), reader.good()};
    }
    struct RawBytes {
        void* target;
        std::uint32_t n;
    };
    void read(RawBytes& raw) {
        const unsigned char* p = m_at;
        if (zrTake(m_at, m_end, raw.n).ok()) {
            std::memcpy(raw.target, p, raw.n);
        } else if (!refused(raw, 0) && raw.n > 0) {
            *static_cast<unsigned char*>(raw.target) = 0;
        }
    }
    void read(unsigned char& v) {
        if (have(1)) {
            v = *m_at++;
        } else if (!refused(v, 0)) {
            v = 0;
        }
    }
    void read(unsigned short& v) {
        if (have(2)) {
            v = CHostNetworkConvertorNormal::loadBigEndian16(m_at);
            m_at += 2;
        } else if (!refused(v, 0)) {
            v = 0;
        }
    }
    void read(unsigned int& v) {
        std::uint32_t value = 0;
        if (zrReadNumber(m_at, m_end, Compact, value).ok() || !refused(v, 0)) v = value;
    }
    void read(int& v) {
        std::uint32_t bits = 0;
        if (zrReadNumber(m_at, m_end, Compact, bits).ok() || !refused(v, 0)) v = static_cast<int>(bits);
    }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void read(T& v) {
        if (have(8)) {
            v = static_cast<T>(CHostNetworkConvertorNormal::loadBigEndian64(m_at));
            m_at += 8;
        } else if (!refused(v, 0)) {
            v = T{0};
        }
    }
    void read(std::string& s) {
        const unsigned char* bytes = nullptr;
        std::uint32_t length = 0;
        const ZrWireVerdict verdict = zrReadString(m_at, m_end, Compact, bytes, length);
        if (verdict.ok()) {
            s.assign(reinterpret_cast<const char*>(bytes), length);
        } else if (!refused(s, verdict.prefix)) {
            s.clear();
        }
    }
    template <std::size_t N>
    void read(char (&t)[N]) {
        ZrTextArea area{t, static_cast<std::uint32_t>(N)};
        read(area);
    }
    void read(ZrTextArea& area) {
        const unsigned char* bytes = nullptr;
        std::uint32_t length = 0;
        const ZrWireVerdict verdict = zrReadText(m_at, m_end, Compact, area.size, bytes, length);
        if (verdict.ok()) {
            std::memcpy(area.text, bytes, length);
            area.text[length] = '\0';
        } else if (!refused(area, verdict.prefix)) {
            area.text[0] = '\0';
        }
    }
    void read(ZrTextEcho& echo) {  // checked and dropped
        const unsigned char* bytes = nullptr;
        std::uint32_t length = 0;
        const ZrWireVerdict verdict = zrReadText(m_at, m_end, Compact, echo.size, bytes, length);
        if (!verdict.ok()) refused(echo, verdict.prefix);
    }
    // A container's count, and whether the container takes that many
    // elements (read or made anew); false leaves it unchanged.
    template <class Container>
    bool count(Container& container, std::uint32_t& count) {
        const ZrWireVerdict verdict = zrReadCount(m_at, m_end, Compact, count);
        if (verdict.ok()) return true;
        return !refused(container, verdict.prefix) && count <= ZR_MAX_CONTAINER_COUNT;
    }
    template <class T>
    void read(std::vector<T>& items) {
        std::uint32_t n = 0;
        if (!count(items, n)) return;
        items.resize(n);
        for (T& item : items) {
            resetElement(item);
            read(item);
        }
    }
    template <class K, class V, class Less, class Alloc>
    void read(std::map<K, V, Less, Alloc>& table) {
        std::uint32_t n = 0;
        if (!count(table, n)) return;
        table.clear();
        for (std::uint32_t i = 0; i < n && good(); ++i) {
            K key{};
            V value{};
            read(key);
            read(value);
            if (good()) table[key] = std::move(value);
        }
    }
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    void read(Record& record) {
        zrRecordFields(record, *this);
    }

    const unsigned char* m_at;  // null once stopped (both null: no room)
    const unsigned char* m_end;
    const unsigned char* m_stop;               // stopped, or field by field: where the next field starts
    const unsigned char* m_lentEnd = nullptr;  // field by field: where the bytes end
};

#endif  // ZRPACKET_ZR_FIELD_CURSORS_H

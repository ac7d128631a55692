// A body's field list run over the byte stream at the speed of a
// hand-written coder, with the stream's bytes, results and failure points.
//
// Writing: the list's longest form (each integer at its widest, each text
// at its length and widest length prefix, each container at its widest
// count and its elements) is added up first. When the stream has that much
// room, the usual case of a caller's ample buffer, every field is written
// through a local cursor with no check of its own and the cursor is
// committed once: a run that fits at its longest passes every check the
// stream would have made, so its bytes are the stream's. Otherwise the
// stream writes field by field as ever, and fails where it always failed.
//
// Reading: the fields are read through a local cursor and end (the cursor
// that also walks bodies without storing them, zr_body_walk.h), each read
// checked against the end but nothing stored to the stream per field. A
// field whose bytes are not all there (or that is malformed) is handed to
// the stream at the point reached, and the stream reads it, and anything
// after it that follows a failure, by its own rules: whatever the bytes,
// the fields, the failure flags and the cursor end as the stream alone
// would leave them.
//
// zrTransferFields is what a packet's serializeOrUnSerialize calls.
#ifndef ZRPACKET_ZR_FIELD_RUNS_H
#define ZRPACKET_ZR_FIELD_RUNS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zr_body_walk.h"
#include "zr_byte_stream.h"
#include "zr_named_fields.h"

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

// Fields read through a local cursor, by the one grammar the walk uses
// too (zr_body_walk.h); a field it cannot read goes to the stream (see the
// top of this file).
template <bool Compact>
using ZrFieldReader = ZrFieldCursor<true, Compact ? ZrCursorMode::Compact : ZrCursorMode::Fixed>;

// The two runs, each with its visitor a local of its own function and every
// call in it inlined, so that the cursor lives in registers: no byte stored
// can then make the compiler reload it.
template <bool Compact, class Owner, class List>
[[gnu::flatten]] unsigned char* zrWriteRun(unsigned char* at, Owner& owner, List& list) {
    ZrUncheckedWriter<Compact> writer(at);
    list(zrFieldsOf(owner, writer));
    return writer.end();
}
template <bool Compact, class Owner, class List>
[[gnu::flatten]] void zrReadRun(ZrLCByteStream& stream, Owner& owner, List& list) {
    ZrFieldReader<Compact> reader(stream);
    list(zrFieldsOf(owner, reader));
    reader.finish();
}
template <bool Compact, class Owner, class List>
[[gnu::flatten]] std::uint64_t zrLongestRun(Owner& owner, List& list) {
    ZrLongestForm longest(Compact);
    list(zrFieldsOf(owner, longest));
    return longest.bytes();
}

// A field list over the stream, in its direction: `list(visitor)` runs the
// list with member pointers into `owner`, a packet whose body mode is
// Owner::ENVELOPE.mode.
template <class Owner, class List>
void zrTransferFields(ZrLCByteStream& stream, Owner& owner, List&& list) {
    constexpr bool compact = Owner::ENVELOPE.mode == ZrBodyMode::Compact;
    if (stream.isCompact() != compact) {  // not the class's own mode: every field by the stream
        list(zrFieldsOf(owner, ZrWireFields(stream)));
    } else if (!stream.isSerializing()) {
        zrReadRun<compact>(stream, owner, list);
    } else {
        const std::uint64_t longest = zrLongestRun<compact>(owner, list);
        unsigned char* at = longest <= std::numeric_limits<std::uint32_t>::max()
                                ? stream.beginWrites(static_cast<std::uint32_t>(longest))
                                : nullptr;
        if (at != nullptr) {
            stream.endWrites(zrWriteRun<compact>(at, owner, list));
        } else {
            list(zrFieldsOf(owner, ZrWireFields(stream)));  // field by field, each checked
        }
    }
}

template <class Writer, class Record>
void zrWriteRecordRun(Writer&& writer, ZrLCByteStream& stream, Record& record) {
    zrRecordFields(record, writer);
    stream.endWrites(writer.end());
}

// A record on the wire outside a run (the checked path): written with one
// room check when its longest form fits, otherwise field by field; read
// field by field.
template <class Record>
void zrTransferRecord(ZrLCByteStream& stream, Record& record) {
    if (stream.isSerializing()) {
        ZrLongestForm longest(stream.isCompact());
        zrRecordFields(record, longest);
        if (unsigned char* at = longest.bytes() <= std::numeric_limits<std::uint32_t>::max()
                                    ? stream.beginWrites(static_cast<std::uint32_t>(longest.bytes()))
                                    : nullptr) {
            if (stream.isCompact()) {
                zrWriteRecordRun(ZrUncheckedWriter<true>(at), stream, record);
            } else {
                zrWriteRecordRun(ZrUncheckedWriter<false>(at), stream, record);
            }
            return;
        }
    }
    zrRecordFields(record, ZrWireFields(stream));
}

#endif  // ZRPACKET_ZR_FIELD_RUNS_H

// The byte stream: the one cursor through which every field of every packet
// is written to or read from a byte buffer.
//
// One object serves both directions. While `serializing` is true a field
// operation (`transfer`) writes the field; while it is false the same call
// overwrites the field with the value read. A packet therefore lists its body
// once, in wire order, and runs that list for encoding and for decoding.
//
// Wire types and their bytes (multi-byte integers most significant byte first):
//
//   type     fixed mode                     compact mode
//   u8       1 byte                         same
//   u16      2 bytes                        same (never compacted)
//   u32/i32  4 bytes                        varint, 1 to 5 bytes
//   u64      8 bytes                        same (never compacted)
//   string   u32 length, then the bytes     varint length, then the bytes
//   vector   u32 count, then the elements   varint count, then the elements
//   map      u32 count, then key/value pairs in ascending key order
//   char[N]  a string of at most N - 1 characters (the text before its NUL)
//
// varint: 7 bits a byte, least significant group first, top bit set on every
// byte but the last: 300 -> AC 02, 127 -> 7F, 128 -> 80 01. An i32 travels as
// the u32 of the same bits, so -1 -> FF FF FF FF 0F (no sign folding).
// Strings carry no NUL and may hold any byte, NUL included.
//
// Failure is sticky and never thrown: a read past the attached length clears
// readGood, a write past it clears writeGood, and from then on operations in
// that direction do nothing (reads yield 0 or empty) until the next attach.
// Callers run a whole field list and probe good() once.
//
// Nothing is ever read or written outside [buffer, buffer + length) of the
// last attach. A stream attached with writable == false only counts writes:
// usedLength() then tells how many bytes a write run would take.
#ifndef ZRPACKET_ZR_BYTE_STREAM_H
#define ZRPACKET_ZR_BYTE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "zr_field_cursors.h"
#include "zr_wire_rules.h"

// How a class's body integers go: varints (most bodies) or fixed four bytes;
// None for the keep-alive, which has no body.
enum class ZrBodyMode : unsigned char { Compact, Fixed, None };

template <class Convertor>
class ZrLCByteStreamT {
public:
    using Self = ZrLCByteStreamT;

    // Good in both directions, serializing, fixed mode.
    explicit ZrLCByteStreamT(void* buffer = nullptr, std::uint32_t length = 0, bool writable = true)
        : m_cursor(static_cast<unsigned char*>(buffer)),
          m_capacity(length),
          m_readRoom(length),
          m_writeRoom(length),
          m_writable(writable) {}

    // Re-binds the stream to [buffer, buffer + length) and clears both failure
    // flags; direction and mode are kept. Returns the previous cursor.
    void* attach(void* buffer, std::uint32_t length, bool writable) {
        void* previous = m_cursor;
        m_readGood = m_writeGood = true;
        m_cursor = static_cast<unsigned char*>(buffer);
        m_capacity = m_readRoom = m_writeRoom = length;
        m_writable = writable;
        return previous;
    }
    // Attaches a buffer that is only read: writes on it are counted, never stored.
    void attachForReading(const void* buffer, std::uint32_t length) {
        attach(const_cast<void*>(buffer), length, false);
    }

    void setSerializing(bool serializing) { m_serializing = serializing; }
    void setCompact(bool compact) { m_compact = compact; }
    bool isSerializing() const { return m_serializing; }
    bool isCompact() const { return m_compact; }

    bool good() const { return m_readGood && m_writeGood; }
    bool readGood() const { return m_readGood; }
    bool writeGood() const { return m_writeGood; }
    std::uint32_t capacity() const { return m_capacity; }
    std::uint32_t readRoom() const { return m_readRoom; }
    std::uint32_t writeRoom() const { return m_writeRoom; }
    // Bytes written (or counted) since the last attach; 0 after a read run.
    std::uint32_t usedLength() const { return m_capacity - m_writeRoom; }

    // --- raw bytes, whatever the direction ---------------------------------

    void putByte(unsigned char byte) { writeBytes(&byte, 1); }

    // Writes n bytes, or none of them when fewer than n fit.
    void writeBytes(const void* source, std::uint32_t n) {
        if (unsigned char* p = claimWrite(n)) std::memcpy(p, source, n);
    }
    // Reads n bytes. On failure nothing is consumed and, for n > 0, the first
    // byte of the target becomes 0.
    void readBytes(void* target, std::uint32_t n) {
        ZrCheckedReader<false> reader = readerHere<false>();
        reader.bytes(target, n);
        endReads(reader);
    }

    // --- runs: many fields through a cursor held by the caller ----------------
    // A run of writes whose longest form is maxLength bytes, made with one
    // room check: where the run may start when the stream is writing, has
    // not failed and has that much room; otherwise null, and the caller
    // writes field by field with the usual checks. endWrites takes where the
    // run ended, at most maxLength bytes on.
    unsigned char* beginWrites(std::uint32_t maxLength) const {
        return m_runs && m_serializing && m_writable && m_writeGood && m_writeRoom >= maxLength ? m_cursor : nullptr;
    }
    void endWrites(unsigned char* end) {
        m_writeRoom -= static_cast<std::uint32_t>(end - m_cursor);
        m_cursor = end;
    }
    // A run of reads: a reader over the unread bytes (read field by field
    // when runs are off; stopped where the stream failed, if it has).
    // endReads takes where the reader got to and whether it failed.
    template <bool Compact>
    ZrCheckedReader<Compact> beginReads() const {
        if (!m_readGood) return ZrCheckedReader<Compact>::failedAt(m_cursor);
        return m_runs ? ZrCheckedReader<Compact>(m_cursor, m_cursor + m_readRoom)
                      : ZrCheckedReader<Compact>::fieldByField(m_cursor, m_cursor + m_readRoom);
    }
    template <bool Compact>
    void endReads(const ZrCheckedReader<Compact>& reader) {
        const unsigned char* at = reader.position();
        m_readRoom -= static_cast<std::uint32_t>(at - m_cursor);
        m_cursor += at - m_cursor;
        if (!reader.good()) m_readGood = false;
    }
    // Runs on (the default) or off. Off, every field is checked on its own;
    // the bytes, the results and where a short buffer fails are the same
    // either way, which is how the runs are tested. Kept across attach.
    void setRuns(bool on) { m_runs = on; }

    // --- field operations: write or read by direction, chainable ------------
    // Reading, each field is read by ZrCheckedReader (zr_field_cursors.h),
    // which says what a failed read leaves in it.

    Self& transfer(unsigned char& v) {
        if (!m_serializing) return read(v);
        if (unsigned char* p = claimWrite(1)) *p = v;
        return *this;
    }

    Self& transfer(unsigned short& v) {
        if (!m_serializing) return read(v);
        if (unsigned char* p = claimWrite(2)) Convertor::storeBigEndian16(p, v);
        return *this;
    }

    // u32: fixed four bytes or a varint, by mode.
    Self& transfer(unsigned int& v) {
        if (!m_serializing) return read(v);
        m_compact ? writeVarint32(v) : writeFixed32(v);
        return *this;
    }

    // i32: the bytes of the u32 of the same bits.
    Self& transfer(int& v) {
        if (!m_serializing) return read(v);
        unsigned int bits = static_cast<unsigned int>(v);
        return transfer(bits);
    }

    // u64: eight bytes in either mode, for every 64-bit integer type; a
    // signed field travels as the u64 of the same bits.
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    Self& transfer(T& v) {
        if (!m_serializing) return read(v);
        if (unsigned char* p = claimWrite(8)) Convertor::storeBigEndian64(p, static_cast<std::uint64_t>(v));
        return *this;
    }

    // string: length as u32 in the current mode, then the bytes. Short
    // compact strings inline; everything else out of line.
    Self& transfer(std::string& s) {
        if (!m_serializing) return read(s);
        const std::size_t n = s.size();
        if (m_compact && n < 0x80) {  // one length byte
            // Room for the varint rule and the text: the checks of the two
            // writes below, made once.
            const auto longest = static_cast<std::uint32_t>(n + 1 > ZR_VARINT32_MAX_LEN ? n + 1 : ZR_VARINT32_MAX_LEN);
            if (unsigned char* p = beginWrites(longest)) {
                *p = static_cast<unsigned char>(n);
                std::memcpy(p + 1, s.data(), n);
                endWrites(p + 1 + n);
                return *this;
            }
            writeVarint32(static_cast<std::uint32_t>(n));
            if (n > 0) writeBytes(s.data(), static_cast<std::uint32_t>(n));
            return *this;
        }
        return writeString(s);
    }

    // char[N]: the text before the first NUL, cut to N - 1 characters, as a
    // string; read back NUL-terminated. A received length of N or more fails
    // the stream and leaves the text empty; a length that is 0 or negative as
    // a signed number gives the empty text and consumes nothing more.
    template <std::size_t N>
    Self& transfer(char (&text)[N]) {
        static_assert(N > 0 && N <= std::numeric_limits<std::int32_t>::max(), "char[N] needs 0 < N < 2^31");
        return transferText(text, static_cast<std::uint32_t>(N));
    }
    Self& transferText(char* text, std::uint32_t size);
    Self& transfer(ZrTextEcho echo);

    // vector<T>: count, then each element. A received count above
    // ZR_MAX_CONTAINER_COUNT fails the stream and leaves the vector as it
    // was; otherwise the vector ends up holding exactly the received elements.
    template <class T>
    Self& transfer(std::vector<T>& items) {
        if (!m_serializing) return read(items);
        unsigned int count = countToWrite(items.size());
        transfer(count);
        for (T& item : items) transfer(item);
        return *this;
    }

    // map<K,V>: count, then key and value of each entry in ascending key
    // order. A received map is emptied first, so it holds exactly the
    // received entries; a key that comes twice keeps its later value.
    template <class K, class V, class Less, class Alloc>
    Self& transfer(std::map<K, V, Less, Alloc>& table) {
        if (!m_serializing) return read(table);
        unsigned int count = countToWrite(table.size());
        transfer(count);
        for (auto& entry : table) {
            K key = entry.first;
            transfer(key).transfer(entry.second);
        }
        return *this;
    }

    // A record: its field list, `zrRecordFields(Record&, Fields&&)` beside
    // the record. Written with one room check when its longest form fits,
    // otherwise field by field.
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    Self& transfer(Record& record) {
        if (!m_serializing) return read(record);
        ZrLongestForm longest(m_compact);
        zrRecordFields(record, longest);
        unsigned char* at =
            longest.bytes() <= m_writeRoom ? beginWrites(static_cast<std::uint32_t>(longest.bytes())) : nullptr;
        if (at == nullptr) {
            zrRecordFields(record, Each{*this});
        } else if (m_compact) {
            endWrites(writeRecord(ZrUncheckedWriter<true>(at), record));
        } else {
            endWrites(writeRecord(ZrUncheckedWriter<false>(at), record));
        }
        return *this;
    }

    // A list element before it is read: a text is emptied (keeping its
    // capacity), anything else made anew.
    template <class T>
    static void resetElement(T& item) {
        ZrCheckedReader<false>::resetElement(item);
    }

private:
    // Each field of a record to the stream.
    struct Each {
        Self& stream;
        template <class T>
        Each& operator()(const char* /*name*/, T&& field) {
            stream.transfer(field);
            return *this;
        }
    };
    template <class Writer, class Record>
    static unsigned char* writeRecord(Writer&& writer, Record& record) {
        zrRecordFields(record, writer);
        return writer.end();
    }

    // One field read from the unread bytes, whatever the runs.
    template <bool Compact>
    ZrCheckedReader<Compact> readerHere() const {
        return m_readGood ? ZrCheckedReader<Compact>(m_cursor, m_cursor + m_readRoom)
                          : ZrCheckedReader<Compact>::failedAt(m_cursor);
    }
    template <bool Compact, class T>
    void readIn(T& field) {
        ZrCheckedReader<Compact> reader = readerHere<Compact>();
        reader(nullptr, field);
        endReads(reader);
    }
    template <class T>
    Self& read(T& field) {
        m_compact ? readIn<true>(field) : readIn<false>(field);
        return *this;
    }

    // Where the next n bytes go, or null when they are not to be stored:
    // counting-only stream, earlier write failure, or not enough room.
    unsigned char* claimWrite(std::uint32_t n) {
        if (!m_writable) {
            m_writeRoom -= n;  // counting only; wraps like the count it is
            return nullptr;
        }
        if (!m_writeGood || n > m_writeRoom) {
            m_writeGood = false;
            return nullptr;
        }
        unsigned char* p = m_cursor;
        m_cursor += n;
        m_writeRoom -= n;
        return p;
    }

    void writeFixed32(std::uint32_t v) {
        if (unsigned char* p = claimWrite(4)) Convertor::storeBigEndian32(p, v);
    }

    // Inline whenever the room for the longest varint is there, the usual
    // case: amounts and counts often need two to five bytes, and a call per
    // field cost more than the bytes themselves. Counting-only streams,
    // failures and the last bytes of a buffer go out of line.
    void writeVarint32(std::uint32_t v) {
        if (m_writable && m_writeGood && m_writeRoom >= ZR_VARINT32_MAX_LEN) {
            unsigned char* const start = m_cursor;
            unsigned char* const end = zrPutVarint32(start, v);
            m_writeRoom -= static_cast<std::uint32_t>(end - start);
            m_cursor = end;
            return;
        }
        writeVarint32Slow();
    }
    void writeVarint32Slow();
    Self& writeString(const std::string& s);

    // A container count to send; a container too large to count in 32 bits
    // fails the stream instead of sending a wrapped count.
    unsigned int countToWrite(std::size_t size) {
        if (size > std::numeric_limits<std::uint32_t>::max()) m_writeGood = false;
        return static_cast<unsigned int>(size);
    }

    bool m_readGood = true;
    bool m_writeGood = true;
    unsigned char* m_cursor;
    std::uint32_t m_capacity;
    std::uint32_t m_readRoom;
    std::uint32_t m_writeRoom;
    bool m_serializing = true;
    bool m_compact = false;
    bool m_writable;
    bool m_runs = true;
};

// The library uses this one instantiation; its out-of-line members live in
// the library.
extern template class ZrLCByteStreamT<CHostNetworkConvertorNormal>;
using ZrLCByteStream = ZrLCByteStreamT<CHostNetworkConvertorNormal>;

#endif  // ZRPACKET_ZR_BYTE_STREAM_H

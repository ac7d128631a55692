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

// A container read from the wire holds at most this many elements: the
// bound on what a hostile count can make a receiver allocate.
constexpr std::uint32_t ZR_MAX_CONTAINER_COUNT = 1000;

// How a class's body integers go: varints (most bodies) or fixed four bytes;
// None for the keep-alive, which has no body.
enum class ZrBodyMode : unsigned char { Compact, Fixed, None };

// The longest varint of a 32-bit value. The compact writer demands this much
// room before every integer or length, whatever the value needs.
constexpr std::uint32_t ZR_VARINT32_MAX_LEN = 5;

// Stores v as a varint at p, which has room for ZR_VARINT32_MAX_LEN bytes;
// returns the end of what it stored.
inline unsigned char* zrPutVarint32(unsigned char* p, std::uint32_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}

// Byte-order policy: host values to and from network order (most significant
// byte first), stored at or loaded from unaligned byte pointers.
struct CHostNetworkConvertorNormal {
    static void storeBigEndian16(unsigned char* p, std::uint16_t v) {
        p[0] = static_cast<unsigned char>(v >> 8);
        p[1] = static_cast<unsigned char>(v);
    }
    static std::uint16_t loadBigEndian16(const unsigned char* p) {
        return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }
    static void storeBigEndian32(unsigned char* p, std::uint32_t v) {
        p[0] = static_cast<unsigned char>(v >> 24);
        p[1] = static_cast<unsigned char>(v >> 16);
        p[2] = static_cast<unsigned char>(v >> 8);
        p[3] = static_cast<unsigned char>(v);
    }
    static std::uint32_t loadBigEndian32(const unsigned char* p) {
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
               std::uint32_t{p[3]};
    }
    static void storeBigEndian64(unsigned char* p, std::uint64_t v) {
        storeBigEndian32(p, static_cast<std::uint32_t>(v >> 32));
        storeBigEndian32(p + 4, static_cast<std::uint32_t>(v));
    }
    static std::uint64_t loadBigEndian64(const unsigned char* p) {
        return (std::uint64_t{loadBigEndian32(p)} << 32) | loadBigEndian32(p + 4);
    }
};

// A text that the wire carries again, in the char[size] form, after its own
// field: written as the text cut to size - 1 characters; on reading, checked
// by the char[size] rules (a length of size or more fails the stream) and
// dropped, so the field keeps the value its own transfer gave it.
struct ZrTextEcho {
    char* text;
    std::uint32_t size;
};

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
    // A run of reads: where the unread bytes start when the stream is
    // reading and has not failed (they end readRoom() bytes on); otherwise
    // null. The caller reads what it is sure of and hands everything else to
    // the field operations below; endReads takes where the run got to.
    const unsigned char* beginReads() const { return m_runs && !m_serializing && m_readGood ? m_cursor : nullptr; }
    void endReads(const unsigned char* at) {
        m_readRoom -= static_cast<std::uint32_t>(at - m_cursor);
        m_cursor += at - m_cursor;
    }
    // Runs on (the default) or off. Off, every field is checked on its own;
    // the bytes, the results and where a short buffer fails are the same
    // either way, which is how the runs are tested. Kept across attach.
    void setRuns(bool on) { m_runs = on; }

    // Reads n bytes. On failure nothing is consumed and, for n > 0, the first
    // byte of the target becomes 0.
    void readBytes(void* target, std::uint32_t n) {
        if (const unsigned char* p = claimRead(n)) {
            std::memcpy(target, p, n);
        } else if (n > 0) {
            *static_cast<unsigned char*>(target) = 0;
        }
    }

    // --- field operations: write or read by direction, chainable ------------

    Self& transfer(unsigned char& v) {
        if (m_serializing) {
            if (unsigned char* p = claimWrite(1)) *p = v;
        } else {
            const unsigned char* p = claimRead(1);
            v = p ? *p : 0;
        }
        return *this;
    }

    Self& transfer(unsigned short& v) {
        if (m_serializing) {
            if (unsigned char* p = claimWrite(2)) Convertor::storeBigEndian16(p, v);
        } else {
            const unsigned char* p = claimRead(2);
            v = p ? Convertor::loadBigEndian16(p) : 0;
        }
        return *this;
    }

    // u32: fixed four bytes or a varint, by mode.
    Self& transfer(unsigned int& v) {
        if (m_serializing) {
            m_compact ? writeVarint32(v) : writeFixed32(v);
        } else {
            v = m_compact ? readVarint32() : readFixed32();
        }
        return *this;
    }

    // i32: the bytes of the u32 of the same bits.
    Self& transfer(int& v) {
        unsigned int bits = static_cast<unsigned int>(v);
        transfer(bits);
        if (!m_serializing) v = static_cast<int>(bits);
        return *this;
    }

    // u64: eight bytes in either mode, for every 64-bit integer type; a
    // signed field travels as the u64 of the same bits.
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    Self& transfer(T& v) {
        if (m_serializing) {
            if (unsigned char* p = claimWrite(8)) Convertor::storeBigEndian64(p, static_cast<std::uint64_t>(v));
        } else {
            const unsigned char* p = claimRead(8);
            v = p ? static_cast<T>(Convertor::loadBigEndian64(p)) : T{0};
        }
        return *this;
    }

    // string: length as u32 in the current mode, then the bytes. Short
    // compact strings inline; everything else out of line.
    Self& transfer(std::string& s) {
        if (!m_compact) return transferString(s);
        if (m_serializing) {
            const std::size_t n = s.size();
            if (n < 0x80) {  // one length byte
                // Room for the varint rule and the text: the checks of the two
                // writes below, made once.
                const auto longest =
                    static_cast<std::uint32_t>(n + 1 > ZR_VARINT32_MAX_LEN ? n + 1 : ZR_VARINT32_MAX_LEN);
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
        } else if (m_readGood && m_readRoom > 0 && *m_cursor < 0x80 && *m_cursor < m_readRoom) {
            const std::uint32_t n = *m_cursor;
            s.assign(reinterpret_cast<const char*>(m_cursor + 1), n);
            m_cursor += n + 1;
            m_readRoom -= n + 1;
            return *this;
        }
        return transferString(s);
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
        if (m_serializing) {
            unsigned int count = countToWrite(items.size());
            transfer(count);
            for (T& item : items) transfer(item);
            return *this;
        }
        unsigned int count = 0;
        transfer(count);
        if (!acceptCount(count)) return *this;
        items.resize(count);
        for (T& item : items) {
            resetElement(item);
            transfer(item);
        }
        return *this;
    }

    // map<K,V>: count, then key and value of each entry in ascending key
    // order. A received map is emptied first, so it holds exactly the
    // received entries; a key that comes twice keeps its later value.
    template <class K, class V, class Less, class Alloc>
    Self& transfer(std::map<K, V, Less, Alloc>& table) {
        if (m_serializing) {
            unsigned int count = countToWrite(table.size());
            transfer(count);
            for (auto& entry : table) {
                K key = entry.first;
                transfer(key).transfer(entry.second);
            }
            return *this;
        }
        unsigned int count = 0;
        transfer(count);
        if (!acceptCount(count)) return *this;
        table.clear();
        for (unsigned int i = 0; i < count && m_readGood; ++i) {
            K key{};
            V value{};
            transfer(key).transfer(value);
            if (m_readGood) table[key] = std::move(value);
        }
        return *this;
    }

    // A record: its field list, `zrRecordFields(Record&, Fields&&)` beside
    // the record, run by zrTransferRecord (zr_field_runs.h).
    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    Self& transfer(Record& record) {
        zrTransferRecord(*this, record);
        return *this;
    }

    // A list element before it is read: a text is emptied (keeping its
    // capacity), anything else made anew.
    static void resetElement(std::string& s) { s.clear(); }
    template <class T>
    static void resetElement(T& item) {
        item = T{};
    }

private:
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

    // Where the next n bytes come from, or null on failure (nothing consumed).
    const unsigned char* claimRead(std::uint32_t n) {
        if (!m_readGood || n > m_readRoom) {
            m_readGood = false;
            return nullptr;
        }
        const unsigned char* p = m_cursor;
        m_cursor += n;
        m_readRoom -= n;
        return p;
    }

    void writeFixed32(std::uint32_t v) {
        if (unsigned char* p = claimWrite(4)) Convertor::storeBigEndian32(p, v);
    }
    std::uint32_t readFixed32() {
        const unsigned char* p = claimRead(4);
        return p ? Convertor::loadBigEndian32(p) : 0;
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
    // One byte whenever it is there; up to five inline when five are left
    // to read. A varint still going after five bytes, or one that may run
    // past the data, goes out of line.
    std::uint32_t readVarint32() {
        if (!m_readGood || m_readRoom == 0) return readVarint32Slow();
        const unsigned char* const p = m_cursor;
        if (p[0] < 0x80) {
            ++m_cursor;
            --m_readRoom;
            return p[0];
        }
        if (m_readRoom >= ZR_VARINT32_MAX_LEN) {
            std::uint32_t v = p[0] & 0x7Fu;
            for (std::uint32_t i = 1; i < ZR_VARINT32_MAX_LEN; ++i) {
                v |= std::uint32_t{p[i] & 0x7Fu} << (7 * i);  // the fifth group's top bits fall off, as out of line
                if (p[i] < 0x80) {
                    m_cursor += i + 1;
                    m_readRoom -= i + 1;
                    return v;
                }
            }
        }
        return readVarint32Slow();
    }
    void writeVarint32Slow();
    std::uint32_t readVarint32Slow();
    Self& transferString(std::string& s);
    const unsigned char* readBoundedText(std::uint32_t size, unsigned int& length);

    // A container count to send; a container too large to count in 32 bits
    // fails the stream instead of sending a wrapped count.
    unsigned int countToWrite(std::size_t size) {
        if (size > std::numeric_limits<std::uint32_t>::max()) m_writeGood = false;
        return static_cast<unsigned int>(size);
    }
    bool acceptCount(std::uint32_t count) {
        if (count <= ZR_MAX_CONTAINER_COUNT) return true;
        m_readGood = false;
        return false;
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

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
// Reading: the fields are read through a local cursor and end, each read
// checked against the end by the wire rules (zr_wire_rules.h) but nothing
// stored to the stream per field; the cursor and any failure are committed
// once. The stream reads a single field the same way, so the fields, the
// failure flags and the cursor end as reading field by field would leave
// them.
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

#include "zr_byte_stream.h"
#include "zr_field_cursors.h"
#include "zr_named_fields.h"

// A run of reads over a stream's unread bytes through a local cursor
// (ZrCheckedReader): fields are read and stored by the wire rules, and
// finish() commits where the run got to, and whether it failed, to the
// stream.
template <bool Compact>
class ZrFieldReader {
public:
    explicit ZrFieldReader(ZrLCByteStream& stream) : m_stream(stream), m_reader(stream.beginReads<Compact>()) {}
    template <class T>
    ZrFieldReader& operator()(const char* name, T&& field) {
        m_reader(name, field);
        return *this;
    }
    // Whether every field so far was read.
    bool good() const { return m_reader.good(); }
    // Commits the cursor to the stream; call once the list has been read.
    void finish() { m_stream.endReads(m_reader); }

private:
    ZrLCByteStream& m_stream;
    ZrCheckedReader<Compact> m_reader;
};

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

#endif  // ZRPACKET_ZR_FIELD_RUNS_H

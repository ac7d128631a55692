// Named field lists: every packet class and record lists its body fields
// once, in wire order, each with the name its accessors spell after get/set
// ("key", "ResultFlag", "ret_recharge_status"). A packet class's list is a
// static member template that hands each field, by member pointer, to a
// visitor:
//
//   field("key", &ZrAuthSockMsgPacket::m_key);
//   field("ResultFlag", &ZrAuthSockMsgPacket::m_resultFlag);
//
// a record's list is a function beside the record that hands over the
// record's own fields (zrRecordFields). Three visitors read those lists:
//   ZrWireFields   the wire: each field to the byte stream, names ignored, all
//                  inline, so the list costs the wire nothing;
//   ZrNamedFields  tools: each field, with its name, to a ZrFieldVisitor
//                  (JSON, the inspector, the dissector, tests), which does
//                  not need to know the packet's class;
//   ZrBodyWalker   framing (zr_body_walk.h): the wire bytes of a body walked
//                  by the field types alone, with no object at all.
// The wire order, the JSON names, the dissector's tree and the measure of a
// packet in a stream therefore cannot drift apart.
#ifndef ZRPACKET_ZR_NAMED_FIELDS_H
#define ZRPACKET_ZR_NAMED_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zr_byte_stream.h"

// Receives the named fields of a packet or record, one call per field in
// wire order. A visitor that shows fields leaves them as they are; one that
// fills them (from JSON, say) assigns.
class ZrFieldVisitor {
public:
    virtual void field(const char* name, unsigned char& value) = 0;   // u8
    virtual void field(const char* name, unsigned short& value) = 0;  // u16
    virtual void field(const char* name, unsigned int& value) = 0;    // u32
    virtual void field(const char* name, int& value) = 0;             // i32
    virtual void field(const char* name, std::uint64_t& value) = 0;   // u64
    virtual void field(const char* name, std::int64_t& value) = 0;    // u64 carrying a signed value
    virtual void field(const char* name, std::string& value) = 0;     // string: any bytes, NUL included
    // char[size]: a NUL-terminated text of at most size - 1 characters.
    virtual void text(const char* name, char* text, std::size_t size) = 0;

    // A list or a map: begin returns how many elements the container is to
    // hold (a showing visitor returns `count`, a filling one its own count);
    // the container takes that size and each element is visited between
    // beginElement and endElement. A list element is visited under a null
    // name; a map entry as its key ("key", i32) and its value ("value").
    virtual std::size_t beginList(const char* name, std::size_t count) = 0;
    virtual void endList() = 0;
    virtual std::size_t beginMap(const char* name, std::size_t count) = 0;
    virtual void endMap() = 0;
    virtual void beginElement(std::size_t index) = 0;
    virtual void endElement() = 0;
    // A record's fields are visited between these two.
    virtual void beginRecord(const char* name) = 0;
    virtual void endRecord() = 0;

    // A text the wire carries again in the char[size] form after its own
    // field; its value is the field's, so only a visitor that draws the wire
    // (the dissector) wants it.
    virtual void echo(const char* /*name*/, const char* /*text*/, std::size_t /*size*/) {}

protected:
    ~ZrFieldVisitor() = default;
};

// Each record type lists its fields beside its declaration, in wire order:
//   template <class Fields>
//   void zrRecordFields(RECORD& r, Fields&& field) { field("unit1", r.unit1); ... }
// The stream runs it through zrTransferRecord below, tools through
// ZrNamedFields.

// A packet class lists its body by member pointer,
//   field("key", &ZrAuthSockMsgPacket::m_key);
// so that the list needs no object: a walk over wire bytes reads the types
// alone (ZrBodyWalker), and zrFieldsOf hands the fields of one object to the
// visitors below, which take each field by reference as a record's list
// hands them over.
template <class Owner, class Visitor>
class ZrFieldsOf {
public:
    ZrFieldsOf(Owner& owner, Visitor visitor) : m_owner(owner), m_visitor(std::move(visitor)) {}
    template <class T>
    ZrFieldsOf& operator()(const char* name, T Owner::*member) {
        m_visitor(name, m_owner.*member);
        return *this;
    }

private:
    Owner& m_owner;
    Visitor m_visitor;
};
template <class Owner, class Visitor>
ZrFieldsOf<Owner, Visitor> zrFieldsOf(Owner& owner, Visitor visitor) {
    return ZrFieldsOf<Owner, Visitor>(owner, std::move(visitor));
}

// The wire visitor: each field goes to the stream's transfer for its type.
class ZrWireFields {
public:
    explicit ZrWireFields(ZrLCByteStream& stream) : m_stream(stream) {}
    template <class T>
    ZrWireFields& operator()(const char* /*name*/, T&& field) {
        m_stream.transfer(std::forward<T>(field));
        return *this;
    }

private:
    ZrLCByteStream& m_stream;
};

// The longest wire form of a field list in the stream's mode; unbounded
// once a text, container or record comes.
class ZrMaxWireLength {
public:
    explicit ZrMaxWireLength(bool compact) : m_compact(compact) {}
    template <class T>
    ZrMaxWireLength& operator()(const char* /*name*/, const T& /*field*/) {
        if constexpr (std::is_same<T, unsigned int>::value || std::is_same<T, int>::value) {
            m_bytes += m_compact ? ZR_VARINT32_MAX_LEN : 4;
        } else if constexpr (std::is_integral<T>::value) {
            m_bytes += sizeof(T);  // u8, u16, and every 64-bit type
        } else {
            m_bounded = false;
        }
        return *this;
    }
    bool bounded() const { return m_bounded; }
    std::uint32_t bytes() const { return m_bytes; }

private:
    bool m_compact;
    bool m_bounded = true;
    std::uint32_t m_bytes = 0;
};

// Numbers written at a cursor held in a local, whose room the caller has
// checked for the list's longest form (ZrMaxWireLength), so no field needs
// a check of its own.
class ZrUncheckedWriter {
public:
    ZrUncheckedWriter(unsigned char* at, bool compact) : m_at(at), m_compact(compact) {}
    ZrUncheckedWriter& operator()(const char*, unsigned char v) {
        *m_at++ = v;
        return *this;
    }
    ZrUncheckedWriter& operator()(const char*, unsigned short v) {
        CHostNetworkConvertorNormal::storeBigEndian16(m_at, v);
        m_at += 2;
        return *this;
    }
    ZrUncheckedWriter& operator()(const char*, unsigned int v) {
        if (m_compact) {
            m_at = zrPutVarint32(m_at, v);
        } else {
            CHostNetworkConvertorNormal::storeBigEndian32(m_at, v);
            m_at += 4;
        }
        return *this;
    }
    ZrUncheckedWriter& operator()(const char* name, int v) { return (*this)(name, static_cast<unsigned int>(v)); }
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    ZrUncheckedWriter& operator()(const char*, T v) {
        CHostNetworkConvertorNormal::storeBigEndian64(m_at, static_cast<std::uint64_t>(v));
        m_at += 8;
        return *this;
    }
    // Texts and containers: never reached, since a list holding one is not
    // bounded and goes field by field through the stream.
    template <class T, std::enable_if_t<!std::is_integral<std::decay_t<T>>::value, int> = 0>
    ZrUncheckedWriter& operator()(const char*, T&&) {
        return *this;
    }
    unsigned char* end() const { return m_at; }

private:
    unsigned char* m_at;
    bool m_compact;
};

// A record on the wire. One of numbers only, whose longest form fits the
// room left, is written with one room check and a local cursor (the bytes,
// and where a short buffer fails, are those of field-by-field writing: a
// run that fits at its longest passes every per-field check); anything else
// goes field by field through the stream.
template <class Record>
void zrTransferRecord(ZrLCByteStream& stream, Record& record) {
    if (stream.isSerializing()) {
        ZrMaxWireLength longest(stream.isCompact());
        zrRecordFields(record, longest);
        if (unsigned char* at = longest.bounded() ? stream.beginWrites(longest.bytes()) : nullptr) {
            ZrUncheckedWriter writer(at, stream.isCompact());
            zrRecordFields(record, writer);
            stream.endWrites(writer.end());
            return;
        }
    }
    zrRecordFields(record, ZrWireFields(stream));
}

// The tools' visitor: each field, with its name, to a ZrFieldVisitor.
class ZrNamedFields {
public:
    explicit ZrNamedFields(ZrFieldVisitor& visitor) : m_visitor(visitor) {}
    template <class T>
    ZrNamedFields& operator()(const char* name, T&& field) {
        visit(name, field);
        return *this;
    }

private:
    void visit(const char* name, unsigned char& v) { m_visitor.field(name, v); }
    void visit(const char* name, unsigned short& v) { m_visitor.field(name, v); }
    void visit(const char* name, unsigned int& v) { m_visitor.field(name, v); }
    void visit(const char* name, int& v) { m_visitor.field(name, v); }
    void visit(const char* name, std::string& v) { m_visitor.field(name, v); }
    void visit(const char* name, ZrTextEcho& echo) { m_visitor.echo(name, echo.text, echo.size); }

    // Every 64-bit integer type, whatever the platform spells it.
    template <class T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 8, int> = 0>
    void visit(const char* name, T& v) {
        std::conditional_t<std::is_signed<T>::value, std::int64_t, std::uint64_t> wide = v;
        m_visitor.field(name, wide);
        v = static_cast<T>(wide);
    }

    template <std::size_t N>
    void visit(const char* name, char (&text)[N]) {
        m_visitor.text(name, text, N);
    }

    template <class T>
    void visit(const char* name, std::vector<T>& items) {
        items.resize(m_visitor.beginList(name, items.size()));
        for (std::size_t i = 0; i < items.size(); ++i) {
            m_visitor.beginElement(i);
            visit(nullptr, items[i]);
            m_visitor.endElement();
        }
        m_visitor.endList();
    }

    // Entries are visited as copies and stored back, so that a filling
    // visitor can make new ones; a key given twice keeps its later value.
    template <class K, class V, class Less, class Alloc>
    void visit(const char* name, std::map<K, V, Less, Alloc>& table) {
        std::vector<std::pair<K, V>> entries(table.begin(), table.end());
        entries.resize(m_visitor.beginMap(name, entries.size()));
        table.clear();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            m_visitor.beginElement(i);
            visit("key", entries[i].first);
            visit("value", entries[i].second);
            m_visitor.endElement();
            table[entries[i].first] = entries[i].second;
        }
        m_visitor.endMap();
    }

    template <class Record, std::enable_if_t<std::is_class<Record>::value, int> = 0>
    void visit(const char* name, Record& record) {
        m_visitor.beginRecord(name);
        zrRecordFields(record, *this);
        m_visitor.endRecord();
    }

    ZrFieldVisitor& m_visitor;
};

#endif  // ZRPACKET_ZR_NAMED_FIELDS_H

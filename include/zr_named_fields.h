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
// fills them (from JSON, say) assigns. Every member does nothing by default,
// so a visitor overrides only what it wants to see (bring the other
// overloads of field() into scope with `using ZrFieldVisitor::field;`).
class ZrFieldVisitor {
public:
    virtual void field(const char* /*name*/, unsigned char& /*value*/) {}   // u8
    virtual void field(const char* /*name*/, unsigned short& /*value*/) {}  // u16
    virtual void field(const char* /*name*/, unsigned int& /*value*/) {}    // u32
    virtual void field(const char* /*name*/, int& /*value*/) {}             // i32
    virtual void field(const char* /*name*/, std::uint64_t& /*value*/) {}   // u64
    virtual void field(const char* /*name*/, std::int64_t& /*value*/) {}    // u64 carrying a signed value
    virtual void field(const char* /*name*/, std::string& /*value*/) {}     // string: any bytes, NUL included
    // char[size]: a NUL-terminated text of at most size - 1 characters.
    virtual void text(const char* /*name*/, char* /*text*/, std::size_t /*size*/) {}

    // A list or a map: begin returns how many elements the container is to
    // hold (a showing visitor returns `count`, as the defaults do; a filling
    // one its own count); the container takes that size and each element is
    // visited between beginElement and endElement. A list element is visited
    // under a null name; a map entry as its key ("key", i32) and its value
    // ("value").
    virtual std::size_t beginList(const char* /*name*/, std::size_t count) { return count; }
    virtual void endList() {}
    virtual std::size_t beginMap(const char* /*name*/, std::size_t count) { return count; }
    virtual void endMap() {}
    virtual void beginElement(std::size_t /*index*/) {}
    virtual void endElement() {}
    // A record's fields are visited between these two.
    virtual void beginRecord(const char* /*name*/) {}
    virtual void endRecord() {}

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
// The stream runs it (zr_byte_stream.h), tools through ZrNamedFields.

// A packet class lists its body by member pointer,
//   field("key", &ZrAuthSockMsgPacket::m_key);
// so that the list needs no object: a walk over wire bytes reads the types
// alone (ZrBodyWalker), and zrFieldsOf hands the fields of one object to the
// visitors below, which take each field by reference as a record's list
// hands them over.
template <class Owner, class Visitor>
class ZrFieldsOf {
public:
    ZrFieldsOf(Owner& owner, Visitor&& visitor) : m_owner(owner), m_visitor(std::forward<Visitor>(visitor)) {}
    template <class T>
    ZrFieldsOf& operator()(const char* name, T Owner::*member) {
        m_visitor(name, m_owner.*member);
        return *this;
    }

private:
    Owner& m_owner;
    Visitor m_visitor;
};
// A visitor given as an lvalue is held by reference, a temporary by value.
template <class Owner, class Visitor>
ZrFieldsOf<Owner, Visitor> zrFieldsOf(Owner& owner, Visitor&& visitor) {
    return ZrFieldsOf<Owner, Visitor>(owner, std::forward<Visitor>(visitor));
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

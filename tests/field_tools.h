// Field visitors for tests over every class: one fills every named field
// with a distinctive value of a chosen set, one writes every field out as
// text, so that any two packets of any class can be compared field by field.
#ifndef ZRPACKET_TESTS_FIELD_TOOLS_H
#define ZRPACKET_TESTS_FIELD_TOOLS_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_catalogue.h"
#include "zr_named_fields.h"

namespace zrtest {

// The value sets. Every field also mixes in its position in the visit, so
// that two fields swapped on the wire show.
enum class Fill { Extremes, Zero, Boundary, Large };
constexpr Fill kAllFills[] = {Fill::Extremes, Fill::Zero, Fill::Boundary, Fill::Large};
inline const char* fillName(Fill f) {
    switch (f) {
        case Fill::Extremes:
            return "extremes";
        case Fill::Zero:
            return "zero";
        case Fill::Boundary:
            return "boundary";
        case Fill::Large:
            return "large";
    }
    return "?";
}

class FieldFiller final : public ZrFieldVisitor {
public:
    explicit FieldFiller(Fill fill, std::size_t listLength = 0) : m_fill(fill), m_listLength(listLength) {}

    void field(const char*, unsigned char& v) override {
        v = static_cast<unsigned char>(pick(0xFFu, 0u, 127u, 128u) ^ tag());
    }
    void field(const char*, unsigned short& v) override {
        v = static_cast<unsigned short>(pick(0xFFFFu, 0u, 128u, 0x1234u) ^ tag());
    }
    void field(const char*, unsigned int& v) override { v = pick(0xFFFFFFFFu, 0u, 128u, 0x80000000u) ^ tag(); }
    void field(const char*, int& v) override {
        v = static_cast<int>(pick(static_cast<unsigned int>(-1), 0u, 127u, 0x80000000u) ^ tag());
    }
    void field(const char*, std::uint64_t& v) override {
        v = pick64(std::numeric_limits<std::uint64_t>::max(), 0, 1, 0x0102030405060708u) ^ tag();
    }
    void field(const char*, std::int64_t& v) override {
        v = static_cast<std::int64_t>(
            pick64(0x8000000000000000u, 0, static_cast<std::uint64_t>(-1), 0x7FFFFFFFFFFFFFFFu) ^ tag());
    }
    void field(const char*, std::string& v) override { v = text(std::string::npos); }
    void text(const char*, char* out, std::size_t size) override {
        const std::string t = text(size - 1);
        std::memset(out, 0, size);
        std::memcpy(out, t.data(), std::min(t.size(), size - 1));
    }
    std::size_t beginList(const char*, std::size_t) override { return listLength(); }
    void endList() override {}
    std::size_t beginMap(const char*, std::size_t) override { return listLength(); }
    void endMap() override {}
    void beginElement(std::size_t) override {}
    void endElement() override {}
    void beginRecord(const char*) override {}
    void endRecord() override {}

private:
    unsigned int tag() { return m_fill == Fill::Zero ? 0u : ++m_position; }
    unsigned int pick(unsigned int extremes, unsigned int zero, unsigned int boundary, unsigned int large) const {
        switch (m_fill) {
            case Fill::Extremes:
                return extremes;
            case Fill::Zero:
                return zero;
            case Fill::Boundary:
                return boundary;
            case Fill::Large:
                return large;
        }
        return 0;
    }
    std::uint64_t pick64(std::uint64_t extremes, std::uint64_t zero, std::uint64_t boundary,
                         std::uint64_t large) const {
        return m_fill == Fill::Extremes   ? extremes
               : m_fill == Fill::Zero     ? zero
               : m_fill == Fill::Boundary ? boundary
                                          : large;
    }
    // At most `limit` characters; texts in char arrays hold no NUL.
    std::string text(std::size_t limit) {
        const char letter = static_cast<char>('a' + tag() % 26);
        std::string t;
        switch (m_fill) {
            case Fill::Extremes:
                t = limit == std::string::npos ? std::string("\0\xFF|", 3) + letter : std::string(limit, letter);
                break;
            case Fill::Zero:
                break;
            case Fill::Boundary:
                t = std::string("t") + letter;
                break;
            case Fill::Large:
                t = std::string(limit == std::string::npos ? 300 : limit, letter);
                break;
        }
        return t.substr(0, limit);
    }
    std::size_t listLength() const {
        if (m_listLength != 0) return m_listLength;
        return m_fill == Fill::Extremes ? 3 : m_fill == Fill::Zero ? 0 : m_fill == Fill::Boundary ? 1 : 2;
    }

    Fill m_fill;
    std::size_t m_listLength;
    unsigned int m_position = 0;
};

// Values for a golden packet: every field a distinctive value, none at its
// default. Boundary: each wire type cycles through its own boundary values
// field by field (the first i32 of a packet is -1, the next 128, then
// INT_MIN, INT_MAX, -1 ...); texts carry a NUL, bytes that are not UTF-8,
// non-ASCII UTF-8 or a 128-byte length; char[N] texts hold their full N - 1
// characters; lists and maps three elements. Small: every number the next
// of 1, 2, 3 ..., short texts, one element. Map keys are distinct either
// way; Boundary keys are -1, 128 and the type's minimum (for an unsigned
// key its maximum, 128, 127), so that ascending key order shows the sign.
class CyclingFiller final : public ZrFieldVisitor {
public:
    enum class Values { Boundary, Small };
    explicit CyclingFiller(Values values) : m_values(values) {}

    void field(const char* n, unsigned char& v) override { v = pick<unsigned char>(n, U8, {0xFF, 0x7F, 0x80}); }
    void field(const char* n, unsigned short& v) override {
        v = pick<unsigned short>(n, U16, {0xFFFF, 0x1234, 0x0080});
    }
    void field(const char* n, unsigned int& v) override {
        v = pick<unsigned int>(n, U32, {0xFFFFFFFFu, 128u, 127u, 0x80000000u});
    }
    void field(const char* n, int& v) override {
        v = pick<int>(n, I32, {-1, 128, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()});
    }
    void field(const char* n, std::uint64_t& v) override {
        v = pick<std::uint64_t>(n, U64, {std::numeric_limits<std::uint64_t>::max(), 0x0102030405060708u});
    }
    void field(const char* n, std::int64_t& v) override {
        v = pick<std::int64_t>(
            n, I64, {std::numeric_limits<std::int64_t>::min(), -1, std::numeric_limits<std::int64_t>::max()});
    }
    void field(const char*, std::string& v) override {
        static const char kMixed[] =
            "NUL\0 and \xC3\xBCnic\xC3\xB6"
            "de \xE2\x9C\x93";  // valid UTF-8
        static const char kNotUtf8[] = "\xFF\xFE not UTF-8 \x00\x80";
        static const std::string kTexts[] = {std::string(kMixed, sizeof kMixed - 1),
                                             std::string(kNotUtf8, sizeof kNotUtf8 - 1), repeat("0123456789abcdef", 8)};
        v = m_values == Values::Small ? "s" + std::to_string(++m_count) : kTexts[m_cycle[String]++ % 3];
    }
    // Boundary: letters; two-byte UTF-8 characters (with a letter for an odd
    // last byte); a first byte that is not UTF-8, then letters. The letters
    // start further on in each text, so that no two texts are alike.
    void text(const char*, char* out, std::size_t size) override {
        std::string t;
        if (m_values == Values::Small) t = "c" + std::to_string(++m_count);
        const std::size_t kind = m_cycle[Text]++ % 3;
        while (m_values == Values::Boundary && t.size() + 1 < size) {
            if (kind == 1 && t.size() + 2 < size) {
                t += "\xC3\xA9";
            } else {
                t += kind == 2 && t.empty() ? '\xFF' : static_cast<char>('A' + (t.size() + m_cycle[Text]) % 26);
            }
        }
        std::memset(out, 0, size);
        std::memcpy(out, t.data(), std::min(t.size(), size - 1));
    }
    std::size_t beginList(const char*, std::size_t) override { return open(Kind::List); }
    void endList() override { m_frames.pop_back(); }
    std::size_t beginMap(const char*, std::size_t) override { return open(Kind::Map); }
    void endMap() override { m_frames.pop_back(); }
    void beginElement(std::size_t index) override { m_frames.back().element = index; }
    void endElement() override {}
    void beginRecord(const char*) override { open(Kind::Record); }
    void endRecord() override { m_frames.pop_back(); }

private:
    enum Type { U8, U16, U32, I32, U64, I64, String, Text, TypeCount };
    enum class Kind { Record, List, Map };
    struct Frame {
        Kind kind;
        std::size_t element;
    };

    static std::string repeat(const std::string& part, std::size_t times) {
        std::string t;
        for (std::size_t i = 0; i < times; ++i) t += part;
        return t;
    }
    template <class T>
    T pick(const char* name, Type type, std::initializer_list<T> boundary) {
        if (m_values == Values::Small) return static_cast<T>(++m_count);
        if (!m_frames.empty() && m_frames.back().kind == Kind::Map && name != nullptr &&
            std::strcmp(name, "key") == 0) {
            using Limits = std::numeric_limits<T>;
            const T keys[] = {Limits::is_signed ? static_cast<T>(-1) : Limits::max(), static_cast<T>(128),
                              Limits::is_signed ? Limits::min() : static_cast<T>(127)};
            return keys[m_frames.back().element % 3];
        }
        return boundary.begin()[m_cycle[type]++ % boundary.size()];
    }
    std::size_t open(Kind kind) {
        m_frames.push_back({kind, 0});
        return m_values == Values::Small ? 1 : 3;
    }

    Values m_values;
    std::size_t m_cycle[TypeCount] = {};
    unsigned int m_count = 0;
    std::vector<Frame> m_frames;
};

// Every field as "name=value", lists and records bracketed, texts in hex.
class FieldDump final : public ZrFieldVisitor {
public:
    void field(const char* n, unsigned char& v) override { put(n, std::to_string(v)); }
    void field(const char* n, unsigned short& v) override { put(n, std::to_string(v)); }
    void field(const char* n, unsigned int& v) override { put(n, std::to_string(v)); }
    void field(const char* n, int& v) override { put(n, std::to_string(v)); }
    void field(const char* n, std::uint64_t& v) override { put(n, std::to_string(v)); }
    void field(const char* n, std::int64_t& v) override { put(n, std::to_string(v)); }
    void field(const char* n, std::string& v) override { put(n, "'" + hex(v.data(), v.size()) + "'"); }
    void text(const char* n, char* t, std::size_t size) override { put(n, "\"" + hex(t, strnlen(t, size)) + "\""); }
    std::size_t beginList(const char* n, std::size_t count) override {
        put(n, "[");
        return count;
    }
    void endList() override { m_text += "];"; }
    std::size_t beginMap(const char* n, std::size_t count) override { return beginList(n, count); }
    void endMap() override { endList(); }
    void beginElement(std::size_t) override { m_text += "("; }
    void endElement() override { m_text += ")"; }
    void beginRecord(const char* n) override { put(n, "{"); }
    void endRecord() override { m_text += "};"; }

    const std::string& str() const { return m_text; }

private:
    void put(const char* name, const std::string& value) {
        m_text += name ? name : "";
        m_text += "=" + value + (value == "[" || value == "{" ? "" : ";");
    }
    std::string m_text;
};

inline std::string dumpBody(ZrAnyPacket& packet) {
    FieldDump dump;
    packet.visitFields(dump);
    return dump.str();
}
inline std::string dumpHead(ZrCPacketHead& head) {
    FieldDump dump;
    head.visitHeadFields(dump);
    return dump.str();
}

// Every field name a packet visits, records and lists included.
class FieldNames final : public ZrFieldVisitor {
public:
    void field(const char* n, unsigned char&) override { add(n); }
    void field(const char* n, unsigned short&) override { add(n); }
    void field(const char* n, unsigned int&) override { add(n); }
    void field(const char* n, int&) override { add(n); }
    void field(const char* n, std::uint64_t&) override { add(n); }
    void field(const char* n, std::int64_t&) override { add(n); }
    void field(const char* n, std::string&) override { add(n); }
    void text(const char* n, char*, std::size_t) override { add(n); }
    std::size_t beginList(const char* n, std::size_t) override {
        add(n);
        return 1;  // one element, so its own fields are seen too
    }
    void endList() override {}
    std::size_t beginMap(const char* n, std::size_t) override { return beginList(n, 0); }
    void endMap() override {}
    void beginElement(std::size_t) override { m_scopes.emplace_back(); }
    void endElement() override { m_scopes.pop_back(); }
    void beginRecord(const char*) override { m_scopes.emplace_back(); }
    void endRecord() override { m_scopes.pop_back(); }

    // Each name as visited; a name given twice in one scope is listed in `repeated`.
    std::vector<std::string> names, repeated;

private:
    void add(const char* n) {
        if (n == nullptr) return;  // a list element of a plain type
        names.emplace_back(n);
        if (!m_scopes.back().insert(n).second) repeated.emplace_back(n);
    }
    std::vector<std::set<std::string>> m_scopes{1};
};

}  // namespace zrtest

#endif  // ZRPACKET_TESTS_FIELD_TOOLS_H

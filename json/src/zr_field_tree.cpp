#include "zr_field_tree.h"

#include <cstdint>

namespace {

// Notes the wire type and name of each field it is shown, in wire order.
class TreeVisitor final : public ZrFieldVisitor {
public:
    explicit TreeVisitor(std::vector<ZrFieldNode>& top) { m_open.push_back(&top); }

    void field(const char* name, unsigned char&) override { add(ZrWireType::U8, name); }
    void field(const char* name, unsigned short&) override { add(ZrWireType::U16, name); }
    void field(const char* name, unsigned int&) override { add(ZrWireType::U32, name); }
    void field(const char* name, int&) override { add(ZrWireType::I32, name); }
    void field(const char* name, std::uint64_t&) override { add(ZrWireType::U64, name); }
    void field(const char* name, std::int64_t&) override { add(ZrWireType::I64, name); }
    void field(const char* name, std::string&) override { add(ZrWireType::String, name); }
    void text(const char* name, char*, std::size_t size) override { add(ZrWireType::Text, name, size); }
    void echo(const char* name, const char*, std::size_t size) override { add(ZrWireType::Echo, name, size); }

    std::size_t beginList(const char* name, std::size_t) override { return open(ZrWireType::List, name); }
    void endList() override { m_open.pop_back(); }
    std::size_t beginMap(const char* name, std::size_t) override { return open(ZrWireType::Map, name); }
    void endMap() override { m_open.pop_back(); }
    void beginElement(std::size_t) override {}
    void endElement() override {}
    void beginRecord(const char* name) override { open(ZrWireType::Record, name); }
    void endRecord() override { m_open.pop_back(); }

private:
    // Only the innermost open list grows, so the pointers below it stay valid.
    ZrFieldNode& add(ZrWireType wire, const char* name, std::size_t size = 0) {
        m_open.back()->push_back({wire, name != nullptr ? name : "", size, {}});
        return m_open.back()->back();
    }
    std::size_t open(ZrWireType wire, const char* name) {
        m_open.push_back(&add(wire, name).children);
        return 1;  // one element, to learn its fields
    }

    std::vector<std::vector<ZrFieldNode>*> m_open;
};

}  // namespace

std::vector<ZrFieldNode> zrFieldTree(const std::function<void(ZrFieldVisitor&)>& visit) {
    std::vector<ZrFieldNode> top;
    TreeVisitor visitor(top);
    visit(visitor);
    return top;
}

std::string zrWireTypeName(const ZrFieldNode& node) {
    switch (node.wire) {
        case ZrWireType::U8:
            return "u8";
        case ZrWireType::U16:
            return "u16";
        case ZrWireType::U32:
            return "u32";
        case ZrWireType::I32:
            return "i32";
        case ZrWireType::U64:
            return "u64";
        case ZrWireType::I64:
            return "i64";
        case ZrWireType::String:
            return "string";
        case ZrWireType::Text:
        case ZrWireType::Echo:
            return "char[" + std::to_string(node.size) + "]";
        case ZrWireType::List:
            return "list";
        case ZrWireType::Map:
            return "map";
        case ZrWireType::Record:
            return "record";
    }
    return "?";
}

// Packets as JSON: every class of the catalogue round-trips through JSON
// text, every container and wire type takes its shape, texts keep every
// byte, and JSON that does not make a packet is refused naming the member.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_json.h"

using zrtest::FieldFiller;
using zrtest::Fill;

namespace {

constexpr unsigned int kPlainCmd = 9;  // a command whose body travels plain

// Every head and body field filled, the key byte too, under `cmdID`.
std::unique_ptr<ZrAnyPacket> filled(const ZrPacketClass& row, Fill fill, unsigned int cmdID) {
    std::unique_ptr<ZrAnyPacket> p = row.create();
    FieldFiller bodyFiller(fill), headFiller(fill);
    p->visitFields(bodyFiller);
    p->head().visitHeadFields(headFiller);
    p->head().setCmdID(cmdID);
    p->head().setKeyByte(0xA5);
    return p;
}

std::vector<char> encode(ZrAnyPacket& p) {
    std::vector<char> wire(256 * 1024);
    EXPECT_EQ(0, p.enCode(wire.data(), static_cast<unsigned int>(wire.size()))) << p.head().getLastErrMsg();
    wire.resize(p.getPacketLength());
    return wire;
}

std::unique_ptr<ZrAnyPacket> decode(const std::vector<char>& wire, const ZrPacketClass& row) {
    std::string error;
    auto p = ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()), error, &row);
    EXPECT_TRUE(p) << error;
    return p;
}

// Through JSON text, so that escapes and hex forms are exercised too.
std::unique_ptr<ZrAnyPacket> throughJson(ZrAnyPacket& packet) {
    return zrPacketFromJson(ZrJson::parse(zrPacketToJson(packet).dump()));
}

// The JSON of a packet without what the codec chooses anew on each enCode.
std::string withoutCipherChoice(ZrAnyPacket& packet) {
    ZrJson json = zrPacketToJson(packet);
    json["head"].erase("encryptType");
    json.erase("keyByte");
    return json.dump();
}

std::vector<const ZrPacketClass*> rows() {
    std::vector<const ZrPacketClass*> out;
    for (const ZrPacketClass& row : ZrCatalogue::classes()) out.push_back(&row);
    return out;
}

class EveryClassAsJson : public ::testing::TestWithParam<const ZrPacketClass*> {};

std::string rowName(const ::testing::TestParamInfo<const ZrPacketClass*>& row) { return row.param->className; }

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryClassAsJson, ::testing::ValuesIn(rows()), rowName);

// Under a plain command the bytes come back exactly; under the class's own
// enciphered command every decoded field does.
TEST_P(EveryClassAsJson, RoundTripsEveryField) {
    const ZrPacketClass& row = *GetParam();
    for (unsigned int cmd : {kPlainCmd, row.cmdID}) {
        for (Fill fill : zrtest::kAllFills) {
            SCOPED_TRACE(std::string(zrtest::fillName(fill)) + ", cmd " + std::to_string(cmd));
            std::unique_ptr<ZrAnyPacket> out = filled(row, fill, cmd);
            const std::vector<char> wire = encode(*out);
            std::unique_ptr<ZrAnyPacket> in = decode(wire, row);
            ASSERT_TRUE(in);
            EXPECT_EQ(row.className, zrPacketToJson(*in)["class"]);
            std::unique_ptr<ZrAnyPacket> back = throughJson(*in);
            EXPECT_EQ(&row, &back->packetClass());
            const std::vector<char> again = encode(*back);
            if (!ZrCPacketHead::isEncipheredCommand(cmd)) {
                EXPECT_EQ(zrtest::hex(wire), zrtest::hex(again));
            } else {
                std::unique_ptr<ZrAnyPacket> reread = decode(again, row);
                ASSERT_TRUE(reread);
                EXPECT_EQ(withoutCipherChoice(*in), withoutCipherChoice(*reread));
            }
        }
    }
}

TEST_P(EveryClassAsJson, MembersLeftOutKeepTheirDefaults) {
    const ZrPacketClass& row = *GetParam();
    const std::string defaults = zrPacketTemplate(row).dump();
    const ZrJson byClass = {{"class", row.className}};
    const ZrJson byCommand = {{"head", {{"cmdID", row.cmdID}}}, {"body", ZrJson::object()}};
    for (const ZrJson& json : {byClass, byCommand}) {
        SCOPED_TRACE(json.dump());
        std::unique_ptr<ZrAnyPacket> p = zrPacketFromJson(json);
        EXPECT_EQ(&row, &p->packetClass());
        EXPECT_EQ(defaults, zrPacketToJson(*p).dump());
    }
}

// A record, a map of records, nested lists and the 64-bit and 8-bit types,
// none of which every packet class has.
struct Cell {
    char name[4] = {};
    std::int64_t value = 0;
    unsigned short port = 0;
};
template <class Fields>
void zrRecordFields(Cell& cell, Fields&& field) {
    field("name", cell.name)("value", cell.value)("port", cell.port);
}

struct Sample {
    std::map<int, Cell> cells;
    std::vector<std::string> names;
    std::vector<std::vector<unsigned int>> grid;
    std::uint64_t big = 0;
    unsigned char small = 0;

    ZrFieldList fields() {
        return [this](ZrFieldVisitor& v) {
            ZrNamedFields{v}("cells", cells)("names", names)("grid", grid)("big", big)("small", small);
        };
    }
};

TEST(JsonShape, ContainersRecordsAndWideNumbers) {
    Sample sample;
    sample.cells[-1] = Cell{"a\xFF", INT64_MIN, 65535};
    sample.cells[7] = Cell{{'w', 'x', 'y', 'z'}, 0, 0};  // no NUL: sent cut to 3 bytes, shown so
    sample.names = {"x", std::string("\xFF", 1)};
    sample.grid = {{1, 4294967295u}, {}};
    sample.big = UINT64_MAX;
    sample.small = 255;
    const std::string expected =
        R"({"cells":[{"key":-1,"value":{"name":{"hex":"61 FF"},"value":-9223372036854775808,"port":65535}},)"
        R"({"key":7,"value":{"name":"wxy","value":0,"port":0}}],"names":["x",{"hex":"FF"}],)"
        R"("grid":[[1,4294967295],[]],"big":18446744073709551615,"small":255})";
    EXPECT_EQ(expected, zrFieldsToJson(sample.fields()).dump());
    std::string text;
    zrAppendFieldsJson(sample.fields(), text);
    EXPECT_EQ(expected, text);

    Sample back;
    zrFieldsFromJson(ZrJson::parse(expected), "body", back.fields());
    EXPECT_EQ(expected, zrFieldsToJson(back.fields()).dump());
}

// Each text takes the form that keeps its bytes, and reads back from it (and
// from `alsoRead` where given) into a string, and into a char[N] text that
// held a longer one, which then keeps nothing of it.
TEST(JsonText, FormsKeepEveryByte) {
    struct Row {
        std::string bytes;
        const char* json;
        const char* alsoRead = nullptr;
    };
    const Row rows[] = {
        {"", R"("")"},
        {"ok", R"("ok")"},
        {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\x01\x1F\"\\", R"("\u0001\u001f\"\\")"},
        {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},  // two and four bytes
        {std::string("\xFF\x00|", 3), R"({"hex":"FF 00 7C"})"},
        {"\xC0\xAF", R"({"hex":"C0 AF"})"},                        // overlong
        {"\xED\xA0\x80", R"({"hex":"ED A0 80"})"},                 // surrogate
        {"\xF4\x90\x80\x80", R"({"hex":"F4 90 80 80"})"},          // above U+10FFFF
        {"\xF5\x80\x80\x80", R"({"hex":"F5 80 80 80"})"},          // a lead byte no character has
        {"\xFF\x0A", R"({"hex":"FF 0A"})", R"({"hex":"ff 0a"})"},  // lower case, as xxd -p writes
        {"a\xE2\x82", R"({"hex":"61 E2 82"})"},                    // cut short
        {"\x80", R"({"hex":"80"})"},                               // continuation alone
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        std::string text = row.bytes;
        const ZrJson json = zrFieldsToJson([&](ZrFieldVisitor& v) { ZrNamedFields{v}("text", text); });
        EXPECT_EQ(row.json, json["text"].dump());
        std::string written;
        zrAppendFieldsJson([&](ZrFieldVisitor& v) { ZrNamedFields{v}("text", text); }, written);
        EXPECT_EQ(std::string(R"({"text":)") + row.json + "}", written);
        for (const std::string& form : {json["text"].dump(), std::string(row.alsoRead ? row.alsoRead : "")}) {
            if (form.empty()) continue;
            const ZrJson in = {{"text", ZrJson::parse(form)}};
            text.assign("old");
            zrFieldsFromJson(in, "", [&](ZrFieldVisitor& v) { ZrNamedFields{v}("text", text); });
            EXPECT_EQ(zrtest::hex(row.bytes.data(), row.bytes.size()), zrtest::hex(text.data(), text.size()));
            if (row.bytes.size() >= 8 || row.bytes.find('\0') != std::string::npos) continue;
            char fixed[8] = "1234567";
            zrFieldsFromJson(in, "", [&](ZrFieldVisitor& v) { ZrNamedFields{v}("text", fixed); });
            const std::string expected = row.bytes + std::string(sizeof fixed - row.bytes.size(), '\0');
            EXPECT_EQ(zrtest::hex(expected.data(), expected.size()), zrtest::hex(fixed, sizeof fixed));
        }
    }
}

// Rows without a class are read as the sample's fields under "body".
TEST(JsonErrors, NameTheMember) {
    const std::pair<const char*, const char*> rows[] = {
        {R"({"cells":[{"key":1,"value":{"nam":"x"}}]})", "body.cells[0].value.nam: unknown field; did you mean name?"},
        {R"({"cells":[[1,{}]]})", R"(body.cells[0]: expected an entry {"key": ..., "value": ...}, got an array)"},
        {R"({"cells":[{"key":2147483648}]})",
         "body.cells[0].key: 2147483648 is out of range for i32 (-2147483648 to 2147483647)"},
        {R"({"cells":[{"key":1,"value":{"name":"a\u0000"}}]})",
         "body.cells[0].value.name: a NUL byte, which this text cannot hold"},
        {R"({"cells":[{"key":1,"value":{"name":{"hex":"61 00"}}}]})",
         "body.cells[0].value.name: a NUL byte, which this text cannot hold"},
        {R"({"cells":[{"key":7},{"key":-1},{"key":7,"value":{}}]})", "body.cells[2].key: 7 given twice"},
        {R"({"cells":[{"key":7},{"value":{}}]})", "body.cells[1].key: missing: every map entry gives its key"},
        {R"({"cells":[{"key":1,"value":{"value":9223372036854775808}}]})",
         "body.cells[0].value.value: 9223372036854775808 is out of range for i64 (-9223372036854775808 to "
         "9223372036854775807)"},
        {R"({"cells":{}})", "body.cells: expected an array, got an object"},
        {R"({"names":[1]})", R"(body.names[0]: expected a text (a string, or {"hex": "FF 00"}), got 1)"},
        {R"({"names":[{"hex":"FF","x":1}]})",
         R"(body.names[0]: expected a text (a string, or {"hex": "FF 00"}), got an object)"},
        {R"({"names":[{"hex":"F"}]})",
         R"(body.names[0].hex: not hex: expected pairs of hex digits such as "FF 00 7C")"},
        {R"({"grid":[[1],[-1]]})", "body.grid[1][0]: -1 is out of range for u32 (0 to 4294967295)"},
        {R"({"big":-1})", "body.big: -1 is out of range for u64 (0 to 18446744073709551615)"},
        {R"({"big":1.0})", "body.big: expected an integer (u64), got 1.0"},
        {R"({"small":256})", "body.small: 256 is out of range for u8 (0 to 255)"},
        {R"({"small":true})", "body.small: expected an integer (u8), got true"},
        {R"({"small":null})", "body.small: expected an integer (u8), got null"},
        {R"([])", "body: expected an object, got an array"},
        {R"({"class":[]})", "class: expected a class name, got an array"},
        {R"({"class":"Nope"})", R"(class: no packet class is named "Nope")"},
        {R"({"head":{"cmdID":77}})", R"(head.cmdID: no packet class has the command 77; give "class")"},
        {R"({"head":{}})", "class: missing: name the packet's class, or give head.cmdID"},
        {R"({"class":"ZrAuthSockMsgPacket","bdy":{}})", "bdy: unknown field; did you mean body?"},
        {R"({"class":"ZrHttpMsgPacket","body":{"request":""}})", "body.request: unknown field; did you mean Request?"},
        {R"({"class":"ZrAuthSockMsgPacket","$schema":1})", "$schema: expected the JSON Schema's URI or path, got 1"},
        {R"({"class":"ZrAuthSockMsgPacket","keyByte":256})", "keyByte: 256 is out of range for u8 (0 to 255)"},
        {R"({"class":"ZrAuthSockMsgPacket","body":{"ResultFlag":"0"}})",
         "body.ResultFlag: expected an integer (i32), got a string"},
        {R"({"class":"ZrCkeepAlivePacket","body":{"key":""}})", "body.key: unknown field"},
        {R"({"class":"ZrLoginMsgPacket","body":{"ACCONTINFO":[{},{"szField1":"12345678901234567890"}]}})",
         "body.ACCONTINFO[1].szField1: 20 bytes, more than the 19 this text holds"},
        {R"({"class":"ZrLexsGetStbInfoMsgPacket","body":{"StbInfo":[{"key":7},{"key":7,"value":{}}]}})",
         "body.StbInfo[1].key: 7 given twice"},
    };
    for (const auto& [text, error] : rows) {
        SCOPED_TRACE(text);
        const ZrJson json = ZrJson::parse(text);
        Sample sample;
        try {
            if (json.contains("class") || json.contains("head")) {
                zrPacketFromJson(json);
            } else {
                zrFieldsFromJson(json, "body", sample.fields());
            }
            ADD_FAILURE() << "accepted";
        } catch (const ZrJsonError& e) {
            EXPECT_STREQ(error, e.what());
        }
    }
    EXPECT_THROW(zrPacketFromJson(ZrJson::array()), ZrJsonError);
}

// A receiver takes at most ZR_MAX_CONTAINER_COUNT elements, so no more are
// read from JSON either.
TEST(JsonErrors, ListsStopWhereReceiversDo) {
    ZrJson json = {{"names", ZrJson::array()}};
    for (std::size_t i = 0; i < ZR_MAX_CONTAINER_COUNT; ++i) json["names"].push_back("n");
    Sample sample;
    zrFieldsFromJson(json, "body", sample.fields());
    EXPECT_EQ(ZR_MAX_CONTAINER_COUNT, sample.names.size());
    json["names"].push_back("n");
    EXPECT_THROW(zrFieldsFromJson(json, "body", sample.fields()), ZrJsonError);
}

}  // namespace

// Generates the dissector. Each class's body is read into a field tree
// (zr_field_tree.h: every field's wire type and name, containers opened with
// one element so that their element is seen too), which then becomes one
// Lua parse function per class. The Lua that
// does not depend on the classes (wire readers, packet framing, registration)
// is fixed text below.
#include "dissector.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "packet_io.h"
#include "zr_byte_stream.h"
#include "zr_encrypt.h"
#include "zr_field_tree.h"
#include "zr_packet_head.h"

namespace zrpkt {

namespace {

// Each class's fields as the JSON library reads them into a tree.
using Wire = ZrWireType;
using Node = ZrFieldNode;

// A Lua string literal of any bytes.
std::string quote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\" + std::to_string(byte + 1000).substr(1);  // \ddd
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Every filter field name the dissector declares, each once. Names come from
// C++ identifiers, but a schema that broke Wireshark's rules would only
// show as a Lua error when the file is loaded, so they are checked here.
class FieldNames {
public:
    FieldNames() {
        for (const char* fixed :
             {"stx", "head", "class", "keyByte", "body", "cipher", "deciphered", "etx", "echo", "data", "request_in",
              "response_in", "time", "expert"}) {
            m_taken.insert(fixed);
        }
    }
    void claim(const std::string& key) {
        for (const char c : key) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                            c == '-' || c == '.';
            if (!ok) throw std::runtime_error("zrpacket." + key + " cannot be a Wireshark field name");
        }
        if (!m_taken.insert(key).second) {
            throw std::runtime_error("two fields would both be zrpacket." + key + " in the dissector");
        }
    }

private:
    std::set<std::string> m_taken;
};

class Generator {
public:
    explicit Generator(FieldNames& names) : m_names(names) {}

    // Declares a field: hf["key"] = ProtoField.<type>("zrpacket.key", label, ...).
    void declare(const std::string& key, const char* type, const std::string& label, const char* display = "") {
        m_names.claim(key);
        m_fields << "hf[" << quote(key) << "] = ProtoField." << type << "(" << quote("zrpacket." + key) << ", "
                 << quote(label) << display << ")\n";
    }

    // The Lua statement that reads `node`, whose filter name is `key` and
    // whose tree label is `label`, at `indent`; `index` is the Lua expression
    // of its place in a container, or nil.
    void read(const Node& node, const std::string& key, const std::string& label, int indent,
              const std::string& index) {
        const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
        const std::string hf = "hf[" + quote(key) + "]";
        auto fixed = [&](const char* type, int bytes) {
            declare(key, type, label, ", base.DEC");
            m_code << pad << "r:fixed(t, " << hf << ", " << bytes << ", " << index << ")\n";
        };
        switch (node.wire) {
            case Wire::U8:
                return fixed("uint8", 1);
            case Wire::U16:
                return fixed("uint16", 2);
            case Wire::U64:
                return fixed("uint64", 8);
            case Wire::I64:
                return fixed("int64", 8);
            case Wire::U32:
            case Wire::I32:
                declare(key, node.wire == Wire::U32 ? "uint32" : "int32", label, ", base.DEC");
                m_code << pad << (node.wire == Wire::U32 ? "r:u32(t, " : "r:i32(t, ") << hf << ", " << index << ")\n";
                return;
            case Wire::String:
                declare(key, "string", label, ", base.UNICODE");
                m_code << pad << "r:string(t, " << hf << ", " << index << ")\n";
                return;
            case Wire::Text:
                declare(key, "string", label, ", base.UNICODE");
                m_code << pad << "r:text(t, " << hf << ", " << node.size << ", " << index << ")\n";
                return;
            case Wire::Echo:
                m_code << pad << "r:echo(t, " << quote(node.name) << ", " << node.size << ")\n";
                return;
            case Wire::Record:
                declare(key, "none", label);
                m_code << pad << "r:record(t, " << hf << ", " << index << ", function(t)\n";
                // A record in a list names its fields after the list, not after ".item".
                for (const Node& field : node.children) {
                    read(field, childKey(node, key) + "." + field.name, field.name, indent + 1, "nil");
                }
                m_code << pad << "end)\n";
                return;
            case Wire::List:
            case Wire::Map:
                return container(node, key, label, indent, index);
        }
    }

    std::string fields() const { return m_fields.str(); }
    std::string code() const { return m_code.str(); }

private:
    static std::string childKey(const Node& record, const std::string& key) {
        return record.name.empty() ? key.substr(0, key.rfind('.')) : key;
    }

    // Count, then each element: a list's element is "<list>.item"; a map's
    // entry is a record "<map>.entry" of its "<map>.key" and "<map>.value".
    void container(const Node& node, const std::string& key, const std::string& label, int indent,
                   const std::string& index) {
        const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
        const std::string element = "i" + std::to_string(indent);
        declare(key, "uint32", label, ", base.DEC");
        m_code << pad << "r:list(t, hf[" << quote(key) << "], " << index << ", function(t, " << element << ")\n";
        if (node.wire == Wire::List) {
            read(node.children.at(0), key + ".item", label, indent + 1, element);
        } else {
            declare(key + ".entry", "none", label);
            m_code << pad << "    r:record(t, hf[" << quote(key + ".entry") << "], " << element << ", function(t)\n";
            for (const Node& part : node.children) read(part, key + "." + part.name, part.name, indent + 2, "nil");
            m_code << pad << "    end)\n";
        }
        m_code << pad << "end)\n";
    }

    FieldNames& m_names;
    std::ostringstream m_fields;
    std::ostringstream m_code;
};

// The class-independent Lua before the generated fields: the fixed fields,
// expert infos and the wire readers.
const char* const kLuaReaders = R"lua(
local zr = Proto("zrpacket", "zrpacket")

local hf = {
    stx = ProtoField.uint8("zrpacket.stx", "STX", base.HEX),
    head = ProtoField.none("zrpacket.head", "Head"),
    class = ProtoField.string("zrpacket.class", "Class"),
    keyByte = ProtoField.uint8("zrpacket.keyByte", "keyByte", base.HEX),
    body = ProtoField.none("zrpacket.body", "Body"),
    cipher = ProtoField.bytes("zrpacket.cipher", "Enciphered body"),
    deciphered = ProtoField.none("zrpacket.deciphered", "Deciphered body"),
    etx = ProtoField.uint8("zrpacket.etx", "ETX", base.HEX),
    echo = ProtoField.string("zrpacket.echo", "again", base.UNICODE),
    data = ProtoField.bytes("zrpacket.data", "Undissected bytes"),
    request_in = ProtoField.framenum("zrpacket.request_in", "Request in", base.NONE, frametype.REQUEST),
    response_in = ProtoField.framenum("zrpacket.response_in", "Response in", base.NONE, frametype.RESPONSE),
    time = ProtoField.relative_time("zrpacket.time", "Time since request",
        "The time from the request to this reply"),
}

local ef = {
    end_byte = ProtoExpert.new("zrpacket.expert.end_byte", "Wrong end byte", expert.group.MALFORMED,
        expert.severity.ERROR),
    truncated = ProtoExpert.new("zrpacket.expert.truncated", "Truncated packet", expert.group.MALFORMED,
        expert.severity.ERROR),
    malformed = ProtoExpert.new("zrpacket.expert.malformed", "Malformed packet", expert.group.MALFORMED,
        expert.severity.ERROR),
    unknown = ProtoExpert.new("zrpacket.expert.unknown_command", "Unknown command", expert.group.UNDECODED,
        expert.severity.WARN),
    stray = ProtoExpert.new("zrpacket.expert.stray", "Bytes that start no packet", expert.group.MALFORMED,
        expert.severity.ERROR),
    undeciphered = ProtoExpert.new("zrpacket.expert.undeciphered", "Body not deciphered", expert.group.UNDECODED,
        expert.severity.WARN),
    no_reply = ProtoExpert.new("zrpacket.expert.no_reply", "Request without a reply", expert.group.SEQUENCE,
        expert.severity.WARN),
    second_reply = ProtoExpert.new("zrpacket.expert.second_reply", "Second reply to one request",
        expert.group.SEQUENCE, expert.severity.WARN),
    not_a_packet = ProtoExpert.new("zrpacket.expert.not_a_packet", "Not a packet", expert.group.MALFORMED,
        expert.severity.ERROR),
    no_codec = ProtoExpert.new("zrpacket.expert.no_codec", "No codec module", expert.group.UNDECODED,
        expert.severity.NOTE),
}
zr.experts = {ef.end_byte, ef.truncated, ef.malformed, ef.unknown, ef.stray, ef.undeciphered, ef.no_reply,
    ef.second_reply, ef.not_a_packet, ef.no_codec}

-- The codec module (zrpacket_codec.so, built and installed with this file),
-- found on LUA_CPATH or else beside this file. With it, packets are framed
-- by the library's own rule and enciphered bodies deciphered. Without it an
-- enciphered body shows as its cipher and its end is found by the rule of
-- findEnd below, which the first such packet says once; a module that is
-- there but does not load says why on each cipher.
local codec, codecFailure
-- Without the module: the frame of the packet that says so, once a capture.
local noCodecShownAt
do
    local here = debug and debug.getinfo(1, "S").source:match("^@(.*)[/\\][^/\\]*$")
    if here ~= nil then package.cpath = package.cpath .. ";" .. here .. "/?.so" end
    local ok, module = pcall(require, "zrpacket_codec")
    if ok and type(module) == "table" and type(module.decipher) == "function" then
        codec = module
    elseif package.searchpath("zrpacket_codec", package.cpath) ~= nil then
        codecFailure = "The codec module zrpacket_codec did not load: " .. tostring(module):gsub("%s+", " ")
    end
end

local VARIANTS = {[0] = "plain"}
for v = 1, MAX_VARIANT do VARIANTS[v] = "codec variant " .. v end

-- Reads one plain body over [pos, stop) of a tvb, adding an item for each
-- field. Bytes that run out raise {need = n}, n the bytes still missing;
-- bytes no receiver accepts raise {bad = text}. A measuring reader only
-- walks the bytes and is handed NO_TREE, on which every item call does
-- nothing; where the bytes run out it goes on as if they were zeros (a
-- number cut short as 0), which gives the least length the body can have,
-- and notes `short`. It also notes `long`, a field longer than a segment.
local NO_TREE = setmetatable({}, {__index = function(t) return function() return t end end})
local Reader = {}
Reader.__index = Reader

function Reader.new(tvb, pos, stop, compact, measuring)
    return setmetatable({tvb = tvb, pos = pos, stop = stop, compact = compact, measuring = measuring}, Reader)
end

function Reader:bad(text) error({bad = text}, 0) end

-- The next n bytes: their start, and their range unless measuring.
function Reader:take(n)
    local start = self.pos
    if start + n > self.stop then
        if not self.measuring then error({need = start + n - self.stop}, 0) end
        self.short = true
    end
    if n > MAX_SEGMENT then self.long = true end
    self.pos = start + n
    if self.measuring then return start, nil end
    return start, self.tvb(start, n)
end

function Reader:span(start)
    if self.measuring then return nil end
    return self.tvb(start, self.pos - start)
end

-- "[i] " before an element of a list.
local function placed(item, index)
    if index ~= nil then item:prepend_text("[" .. index .. "] ") end
    return item
end

-- A u32 in the body's mode: four bytes, or a varint of 7 bits a byte, least
-- significant group first, groups past the fifth dropped as the library does.
function Reader:rawU32()
    local start = self.pos
    if not self.compact then
        self:take(4)
        if self.pos > self.stop then return 0, start end
        return self.tvb(start, 4):uint(), start
    end
    local value, scale, groups = 0, 1, 0
    repeat
        self:take(1)
        if self.pos > self.stop then return 0, start end
        local byte = self.tvb(self.pos - 1, 1):uint()
        groups = groups + 1
        if groups <= 5 then value = value + (byte % 128) * scale end
        scale = scale * 128
    until byte < 128
    return value % 4294967296, start
end

-- u8, u16, u64 and i64: the same bytes in either mode, most significant first.
function Reader:fixed(t, f, n, index)
    local _, range = self:take(n)
    return placed(t:add(f, range), index)
end

function Reader:u32(t, f, index)
    local value, start = self:rawU32()
    return placed(t:add(f, self:span(start), value), index)
end

-- An i32 travels as the u32 of the same bits.
function Reader:i32(t, f, index)
    local value, start = self:rawU32()
    if value >= 2147483648 then value = value - 4294967296 end
    return placed(t:add(f, self:span(start), value), index)
end

-- Whether bytes are well-formed UTF-8: no overlong form, surrogate or code
-- point above U+10FFFF, as the JSON form decides between a text and hex.
local function isUtf8(raw)
    if not raw:find("[\128-\255]") then return true end
    local i, n = 1, #raw
    while i <= n do
        local c, length, low, high = raw:byte(i), 1, 0x80, 0xBF
        if c >= 0xC2 and c <= 0xDF then
            length = 2
        elseif c >= 0xE0 and c <= 0xEF then
            length = 3
            if c == 0xE0 then low = 0xA0 elseif c == 0xED then high = 0x9F end
        elseif c >= 0xF0 and c <= 0xF4 then
            length = 4
            if c == 0xF0 then low = 0x90 elseif c == 0xF4 then high = 0x8F end
        elseif c >= 0x80 then
            return false
        end
        if length > 1 then
            local second = raw:byte(i + 1)
            if i + length - 1 > n or second < low or second > high then return false end
            for k = i + 2, i + length - 1 do
                if raw:byte(k) < 0x80 or raw:byte(k) > 0xBF then return false end
            end
        end
        i = i + length
    end
    return true
end

-- A text as the JSON form shows it, every byte kept: well-formed UTF-8 as
-- text, a NUL in it as \0 and so a backslash as \\ (Wireshark escapes the
-- other control characters); anything else as its bytes in hex ("FF 41 00 42").
local ESCAPES = {["\0"] = "\\0", ["\\"] = "\\\\"}
local function textItem(t, f, range)
    if range == nil then return t end
    local raw = range:raw()
    if isUtf8(raw) then return t:add(f, range, (raw:gsub("[%z\\]", ESCAPES))) end
    local hex = raw:gsub(".", function(c) return string.format(" %02X", c:byte()) end)
    return t:add(f, range, hex:sub(2)):append_text(" (hex: not UTF-8)")
end

-- A string: a u32 length, then that many bytes of any value. The item
-- covers the bytes of the text, not its length.
function Reader:string(t, f, index)
    local length = self:rawU32()
    if length >= 2147483648 then self:bad("a string length of " .. length) end
    local _, range = self:take(length)
    return placed(textItem(t, f, range), index)
end

-- A char[size] text: a string of at most size - 1 bytes; a length that is 0
-- or negative as an i32 is the empty text and nothing follows it.
function Reader:text(t, f, size, index)
    local length = self:rawU32()
    if length >= 2147483648 then length = 0 end
    if length >= size then
        self:bad(string.format("a text of %d bytes in a char[%d], which holds %d", length, size, size - 1))
    end
    local _, range = self:take(length)
    return placed(textItem(t, f, range), index)
end

-- A text the wire carries a second time after its own field.
function Reader:echo(t, name, size)
    return self:text(t, hf.echo, size):prepend_text(name .. " ")
end

-- A list or a map: a u32 count of at most MAX_COUNT, then each element.
function Reader:list(t, f, index, element)
    local count, start = self:rawU32()
    if count > MAX_COUNT then self:bad(string.format("a count of %d, above the %d a receiver accepts", count, MAX_COUNT)) end
    local item = placed(t:add(f, self:span(start), count), index)
    item:append_text(count == 1 and " element" or " elements")
    for i = 0, count - 1 do element(item, i) end
    item:set_len(self.pos - start)
end

function Reader:record(t, f, index, fields)
    local start = self.pos
    local item = placed(t:add(f, self:span(start)), index)
    fields(item)
    item:set_len(self.pos - start)
end
)lua";

// The class-independent Lua after the generated classes: framing packets in
// TCP data, drawing them, and registration.
const char* const kLuaDissection = R"lua(
local list = {}
for _, f in pairs(hf) do list[#list + 1] = f end
zr.fields = list

local function reportFailure(item, failure, missing)
    if type(failure) ~= "table" then error(failure, 0) end
    if failure.need then
        item:add_proto_expert_info(ef.truncated, string.format("Truncated: %s needs at least %d more %s", missing,
            failure.need, failure.need == 1 and "byte" or "bytes"))
    else
        item:add_proto_expert_info(ef.malformed, "Malformed: " .. failure.bad)
    end
end

-- Whether a packet may start at pos: the start byte, a command of the table
-- and an encryptType the codec knows; nil while the data end before that is
-- decided.
local function plausible(tvb, pos)
    local avail = tvb:len() - pos
    if avail < 1 then return nil end
    if tvb(pos, 1):uint() ~= STX then return false end
    if avail < OFFSET_CMDID + 4 then return nil end
    if classes[tvb(pos + OFFSET_CMDID, 4):uint()] == nil then return false end
    if avail <= OFFSET_ENCRYPT_TYPE then return nil end
    return tvb(pos + OFFSET_ENCRYPT_TYPE, 1):uint() <= MAX_VARIANT
end

-- The first place at or after `from` where a packet may start, or where the
-- data end before that is decided; the end of the data if none.
local function nextHead(tvb, from)
    local total = tvb:len()
    if from >= total then return total end
    local raw = tvb:raw(from, total - from)
    local at = raw:find(STX_BYTE, 1, true)
    while at ~= nil and plausible(tvb, from + at - 1) == false do at = raw:find(STX_BYTE, at + 1, true) end
    return at == nil and total or from + at - 1
end

-- The length of a packet whose length its bytes do not tell (an enciphered
-- body, or a plain body no receiver accepts): up to the first ETX after its
-- key byte that is followed by a plausible head, by too few bytes to judge
-- one, or by the end of the data, which TCP hands a whole segment at a time.
-- A sender writes a packet at once, so a segment that ends in 0x03 ends the
-- packet far more often than its cipher does; waiting for the next segment
-- would hold back the last packet of every burst. (TCP's PSH flag would
-- tell, but a Lua dissector sees other protocols' fields only where
-- Wireshark builds a tree, not on every pass, and the framing must not
-- change between passes.) Nil while the data end before such an ETX; when no
-- more data can come (`final`), the rest of the data. A packet longer than
-- the longest enciphered one ends there.
local function findEnd(tvb, offset, final)
    local raw = tvb:raw(offset, math.min(tvb:len() - offset, MAX_ENCIPHERED))
    local at = raw:find(ETX_BYTE, HEAD_LEN + 2, true)
    while at ~= nil do
        if plausible(tvb, offset + at) ~= false then return at end
        at = raw:find(ETX_BYTE, at + 1, true)
    end
    if final or #raw == MAX_ENCIPHERED then return #raw end
    return nil
end

-- A plain body read by the measuring reader, the bytes past the data taken
-- for zeros: the packet's length when the data hold it whole; or nil, at
-- least how many more bytes it needs and whether it holds a field longer
-- than a segment; or false when no receiver accepts the body.
local function measurePlain(tvb, offset, class)
    local r = Reader.new(tvb, offset + HEAD_LEN + 1, tvb:len(), class.compact, true)
    local ok, failure = pcall(class.body, r, NO_TREE)
    if not ok then
        if type(failure) ~= "table" then error(failure, 0) end
        return false
    end
    if r.short or r.pos >= tvb:len() then return nil, r.pos + 1 - tvb:len(), r.long end
    return r.pos + 1 - offset
end

-- With the codec module, the library frames the packet at offset (the
-- shortest prefix its class's deCode accepts): its length; or nil and how
-- many more bytes it needs at least; or nil, nil, nil and why no packet
-- starts there. The bytes go to the module in windows that double from
-- FIRST_WINDOW, so that a small packet costs a small copy however much data
-- follow it. For a plain packet still short, what TCP is asked for is the
-- measuring reader's least length of the whole packet, as without the
-- module: the library's need covers only the field the bytes end in.
local function measureByLibrary(tvb, offset, final, class)
    local avail = tvb:len() - offset
    local window, missing = math.min(avail, FIRST_WINDOW), nil
    while true do
        local status, value = codec.measure(tvb:raw(offset, window), final and window == avail)
        if status == "complete" then return value end
        if status == "not" then return nil, nil, nil, value end
        missing = value
        if window == avail then break end
        window = math.min(avail, math.max(2 * window, window + value))
    end
    local plain = avail > HEAD_LEN + 1 and tvb(offset + OFFSET_ENCRYPT_TYPE, 1):uint() == 0
    if plain and class ~= nil and class.body ~= nil then
        local length, more, long = measurePlain(tvb, offset, class)
        if length == nil then return nil, math.max(missing, more), long end
    end
    return nil, missing
end

-- The length of the packet at offset, whose head is plausible or not yet
-- judged, or nil, how many more bytes it needs at least and whether it holds
-- a field longer than a segment; or nil, nil, nil and why no packet starts
-- there. With the codec module the library says; without it, a plain
-- packet's length is known once its body is read, and other packets end
-- where findEnd finds.
local function measure(tvb, offset, final)
    local avail = tvb:len() - offset
    local class = avail >= OFFSET_CMDID + 4 and classes[tvb(offset + OFFSET_CMDID, 4):uint()] or nil
    if codec ~= nil and codec.measure ~= nil then return measureByLibrary(tvb, offset, final, class) end
    if avail < HEAD_LEN + 1 then return nil, HEAD_LEN + 1 - avail end
    if class.body == nil then return HEAD_LEN + 1 end
    if avail < HEAD_LEN + 2 then return nil, HEAD_LEN + 2 - avail end
    if tvb(offset + OFFSET_ENCRYPT_TYPE, 1):uint() == 0 then
        local length, missing, long = measurePlain(tvb, offset, class)
        if length ~= false then return length, missing, long end
    end
    local length = findEnd(tvb, offset, final)
    if length == nil then return nil, 1 end
    return length
end

local function undissected(item, tvb, from, to)
    if to > from then item:add(hf.data, tvb(from, to - from)) end
end

-- Reads a body's fields over [from, stop) of tvb into a `field` item under
-- parent. Returns where the fields end and the item, or nil, the item and
-- where reading stopped, having said why the fields do not read.
local function readBody(parent, field, class, tvb, from, stop, what)
    local body = parent:add(field, tvb(from, 0))
    local r = Reader.new(tvb, from, stop, class.compact, false)
    local ok, failure = pcall(class.body, r, body)
    body:set_len(r.pos - from)
    if ok then return r.pos, body end
    reportFailure(body, failure, what)
    return nil, body, r.pos
end

-- The fields of an enciphered body in [from, stop) of tvb, deciphered by the
-- codec module, under the cipher's item: the same fields a plain body
-- shows, read from bytes of their own ("Deciphered body"), which must end
-- exactly with the fields. Without the module the cipher alone shows.
local function showDeciphered(cipher, class, key, variant, tvb, from, stop, pinfo)
    if codec == nil then
        if codecFailure ~= nil then
            cipher:add_proto_expert_info(ef.undeciphered, codecFailure)
        elseif noCodecShownAt == nil or noCodecShownAt == pinfo.number then
            -- Once a capture, on the first enciphered packet.
            noCodecShownAt = pinfo.number
            cipher:add_proto_expert_info(ef.no_codec, NO_CODEC)
        end
        return
    end
    local plain, why = codec.decipher(key, variant, stop > from and tvb:raw(from, stop - from) or "")
    if plain == nil then
        cipher:add_proto_expert_info(ef.undeciphered, "Not deciphered: " .. why)
        return
    end
    -- An empty body (which no class has) is read, and found short, in place.
    local bytes, start = tvb, from
    if #plain > 0 then bytes, start = ByteArray.new(plain, true):tvb("Deciphered body"), 0 end
    local ends, body = readBody(cipher, hf.deciphered, class, bytes, start, start + #plain, "the deciphered body")
    body:append_text(string.format(" (%d %s, codec variant %d)", #plain, #plain == 1 and "byte" or "bytes", variant))
    if ends ~= nil and ends < start + #plain then
        body:add_proto_expert_info(ef.malformed, string.format("Malformed: %d bytes of the deciphered body after its fields",
            start + #plain - ends))
        undissected(body, bytes, ends, start + #plain)
    end
end

-- Requests and replies, by the rule zrpkt pcap --pair follows. A packet
-- answers the oldest request of its command and SN sent the other way
-- between the same two endpoints (addresses and ports) and not yet answered;
-- with none, one that was answered already, it is a second reply to it; any
-- other packet is a request. Each packet's part is decided on the first
-- pass, in capture order, and kept by where the packet lies (its frame, the
-- offset in the frame of the data it was read from, or 0 for reassembled
-- data, and its offset in them) for the passes after. A request learns its
-- reply, or that none came, only then: in a second pass (tshark -2) or when
-- Wireshark shows the packet.
local waiting, answered, parts = {}, {}, {}
function zr.init()
    waiting, answered, parts = {}, {}, {}
    noCodecShownAt = nil
end

local function pairUp(pinfo, tvb, offset)
    local where = pinfo.number .. " " .. tvb:offset() .. " " .. offset
    local part = parts[where]
    if part ~= nil or pinfo.visited then return part end
    local from = tostring(pinfo.src) .. " " .. tostring(pinfo.src_port)
    local to = tostring(pinfo.dst) .. " " .. tostring(pinfo.dst_port)
    local key = string.format("%d %d", tvb(offset + OFFSET_CMDID, 4):uint(), tvb(offset + OFFSET_SN, 4):uint())
    local mine, theirs = from .. " > " .. to .. " " .. key, to .. " > " .. from .. " " .. key
    local queue = waiting[theirs]
    if queue ~= nil and queue.first <= queue.last then
        local request = queue[queue.first]
        queue[queue.first] = nil
        queue.first = queue.first + 1
        request.reply = pinfo.number
        answered[theirs] = request
        part = {request = request, delay = pinfo.rel_ts - request.at}
    elseif answered[theirs] ~= nil then
        local request = answered[theirs]
        part = {request = request, delay = pinfo.rel_ts - request.at, second = true}
    else
        part = {at = pinfo.rel_ts, frame = pinfo.number}
        queue = waiting[mine] or {first = 1, last = 0}
        queue.last = queue.last + 1
        queue[queue.last] = part
        waiting[mine] = queue
    end
    parts[where] = part
    return part
end

local function showPair(item, pinfo, part)
    if part == nil then return end
    local request = part.request
    if request ~= nil then
        item:add(hf.request_in, request.frame):set_generated()
        local ns = math.floor(part.delay * 1e9 + 0.5)
        local seconds = math.floor(ns / 1e9)
        item:add(hf.time, NSTime.new(seconds, ns - seconds * 1e9)):set_generated()
        if part.second then
            item:add_proto_expert_info(ef.second_reply,
                string.format("A second reply to the request in frame %d (answered in frame %d)", request.frame,
                    request.reply))
        end
    elseif part.reply ~= nil then
        item:add(hf.response_in, part.reply):set_generated()
    elseif pinfo.visited then
        item:add_proto_expert_info(ef.no_reply, "No reply to this request in the capture")
    end
end

-- Draws the packet in [offset, offset + length); returns its summary.
-- `notAPacket`: why the library takes these bytes for no packet.
local function show(tvb, pinfo, offset, length, tree, notAPacket)
    local stop = offset + length
    local item = tree:add(zr, tvb(offset, length))
    if notAPacket ~= nil then item:add_proto_expert_info(ef.not_a_packet, "Not a packet: " .. notAPacket) end
    if length < HEAD_LEN then
        item:add_proto_expert_info(ef.truncated, string.format("Truncated: %d bytes of the %d-byte head", length, HEAD_LEN))
        undissected(item, tvb, offset, stop)
        return "truncated head"
    end
    local head = item:add(hf.head, tvb(offset, HEAD_LEN))
    head:add(hf.stx, tvb(offset, 1))
    for _, h in ipairs(HEAD) do head:add(h[1], tvb(offset + h[2], h[3])) end
    local cmd = tvb(offset + OFFSET_CMDID, 4):uint()
    local variant = tvb(offset + OFFSET_ENCRYPT_TYPE, 1):uint()
    local class = classes[cmd]
    if class == nil then
        item:append_text(", command " .. cmd)
        item:add_proto_expert_info(ef.unknown, "No class has the command " .. cmd)
        undissected(item, tvb, offset + HEAD_LEN, stop)
        return "command " .. cmd
    end
    local summary = class.name .. ", SN " .. tvb(offset + OFFSET_SN, 4):uint()
    item:append_text(", " .. summary .. (variant == 0 and ", plain" or ", enciphered"))
    item:add(hf.class, tvb(offset + OFFSET_CMDID, 4), class.name):set_generated()
    showPair(item, pinfo, pairUp(pinfo, tvb, offset))
    local pos = offset + HEAD_LEN
    if class.body ~= nil then
        if pos + 1 >= stop then
            item:add_proto_expert_info(ef.truncated, "Truncated: the packet ends before its key byte and end byte")
            undissected(item, tvb, pos, stop)
            return summary
        end
        item:add(hf.keyByte, tvb(pos, 1))
        pos = pos + 1
        if variant ~= 0 then
            local cipher = item:add(hf.cipher, tvb(pos, stop - 1 - pos))
            if variant > MAX_VARIANT then
                cipher:add_proto_expert_info(ef.malformed,
                    string.format("Malformed: encryptType %d, the codec has the variants 1 to %d", variant, MAX_VARIANT))
            else
                showDeciphered(cipher, class, tvb(pos - 1, 1):uint(), variant, tvb, pos, stop - 1, pinfo)
            end
            pos = stop - 1
        else
            local ends, _, reached = readBody(item, hf.body, class, tvb, pos, stop, "the body")
            if ends == nil then
                undissected(item, tvb, reached, stop)
                return summary
            end
            pos = ends
        end
    end
    if pos >= stop then
        item:add_proto_expert_info(ef.truncated, "Truncated: the packet ends before its end byte")
        return summary
    end
    local etx = item:add(hf.etx, tvb(pos, 1))
    local byte = tvb(pos, 1):uint()
    if byte ~= ETX then
        etx:add_proto_expert_info(ef.end_byte, string.format("Wrong end byte: 0x%02X, not 0x%02X", byte, ETX))
    end
    undissected(item, tvb, pos + 1, stop)
    return summary
end

-- The packets of the data in turn as {offset, length, stray}; then, when a
-- packet runs past the data and TCP can reassemble, its offset and what to
-- ask for (otherwise such a packet is drawn truncated). Bytes that start no
-- packet, and a head that cannot start one (a command no class has, an
-- encryptType the codec does not know), run to the next plausible head; such
-- a head is drawn as a packet when it is whole.
local function split(tvb, final)
    local units, offset, total = {}, 0, tvb:len()
    while offset < total do
        if plausible(tvb, offset) == false then
            local length = nextHead(tvb, offset + 1) - offset
            units[#units + 1] = {offset, length, tvb(offset, 1):uint() ~= STX or length <= HEAD_LEN}
        else
            local length, missing, long, why = measure(tvb, offset, final)
            if why ~= nil then
                -- Not a packet by the library's rule: drawn up to the next plausible head.
                units[#units + 1] = {offset, nextHead(tvb, offset + 1) - offset, false, why}
            elseif length == nil and not final and total - offset + missing <= MAX_PACKET then
                -- A whole segment at a time, however few bytes are missing:
                -- a smaller request would list one segment many times in the
                -- reassembly and cut the data short of the segment's end.
                -- Only a packet with a field longer than a segment asks for
                -- the least it still needs at once, or TCP would copy it
                -- again with every segment; the data then end inside a
                -- segment, where a request for one more would skip the rest.
                return units, offset, long and missing or DESEGMENT_ONE_MORE_SEGMENT
            else
                units[#units + 1] = {offset, length or total - offset, false}
            end
        end
        offset = offset + units[#units][2]
    end
    return units
end

-- Draws what split finds, asks TCP for what it wants, and sums the packets
-- up in the Info column.
local function dissect(tvb, pinfo, tree)
    local units, wanted, request = split(tvb, pinfo.can_desegment == 0)
    if wanted ~= nil then
        -- Data that start with a head too short to judge, which TCP was
        -- asked to complete, may show it to start no packet and a head
        -- behind it among those first bytes: TCP then hands all of the data
        -- again with the next segment, so nothing is drawn yet.
        if wanted <= OFFSET_ENCRYPT_TYPE then units, wanted = {}, 0 end
        pinfo.desegment_offset = wanted
        pinfo.desegment_len = request
    end
    local summaries = {}
    for _, unit in ipairs(units) do
        local at, length = unit[1], unit[2]
        if unit[3] then
            local item = tree:add(zr, tvb(at, length))
            local why = tvb(at, 1):uint() == STX and "whose start byte begins no plausible head"
                or string.format("that do not start with the start byte 0x%02X", STX)
            item:add_proto_expert_info(ef.stray, string.format("%d bytes %s", length, why))
            undissected(item, tvb, at, at + length)
            summaries[#summaries + 1] = "bytes that start no packet"
        else
            summaries[#summaries + 1] = show(tvb, pinfo, at, length, tree, unit[4])
        end
    end
    if #summaries > 0 then
        -- After a packet that ends inside a segment TCP calls again for the
        -- rest of the segment; the Info column then goes on after the first
        -- call's text.
        local info = table.concat(summaries, "; ")
        if tostring(pinfo.cols.protocol) == "zrpacket" then
            pinfo.cols.info:append("; " .. info)
        else
            pinfo.cols.info = info
        end
        pinfo.cols.protocol = "zrpacket"
    end
    return tvb:len()
end
zr.dissector = dissect

-- On other ports: the start byte, a command of the table and an encryptType
-- the codec knows. The conversation then stays with this dissector.
local function heuristic(tvb, pinfo, tree)
    if plausible(tvb, 0) ~= true then return false end
    pinfo.conversation = zr
    dissect(tvb, pinfo, tree)
    return true
end
zr:register_heuristic("tcp", heuristic)

zr.prefs.tcp_port = Pref.uint("TCP port", DEFAULT_PORT,
    "The TCP port of zrpacket traffic (0 for none); the heuristic finds it on other ports")
local tcp_port = DEFAULT_PORT
local tcp_table = DissectorTable.get("tcp.port")
tcp_table:add(tcp_port, zr)
function zr.prefs_changed()
    if zr.prefs.tcp_port == tcp_port then return end
    if tcp_port ~= 0 then tcp_table:remove(tcp_port, zr) end
    tcp_port = zr.prefs.tcp_port
    if tcp_port ~= 0 then tcp_table:add(tcp_port, zr) end
end
)lua";

const char* luaType(Wire wire) {
    switch (wire) {
        case Wire::U8:
            return "uint8";
        case Wire::U16:
            return "uint16";
        default:
            return "uint32";
    }
}
std::size_t wireSize(Wire wire) { return wire == Wire::U8 ? 1 : wire == Wire::U16 ? 2 : 4; }

}  // namespace

const char* const kNoCodecText =
    "codec module not found: enciphered bodies are not deciphered, and packets are framed by the dissector's own "
    "rule (zrpacket_codec.so goes on LUA_CPATH or beside zrpacket.lua)";

std::string dissectorLua(const std::vector<ZrPacketClass>& classes) {
    std::ostringstream lua;
    lua << "-- zrpacket.lua: Wireshark dissector for the packets of the zrpacket library,\n"
           "-- generated by `zrpkt dissector` from its catalogue of "
        << classes.size()
        << " classes; regenerate it\n"
           "-- rather than edit it.\n"
           "--\n"
           "-- Load it with `tshark -X lua_script:zrpacket.lua`, or copy it into\n"
           "-- ~/.local/lib/wireshark/plugins/. It claims TCP port "
        << kDissectorPort
        << " (preference zrpacket.tcp_port)\n"
           "-- and recognises packets on other TCP ports by their start byte and command.\n"
           "-- Enciphered bodies show deciphered when the codec module zrpacket_codec.so\n"
           "-- is on LUA_CPATH or beside this file.\n\n";
    lua << "local STX, ETX = " << static_cast<int>(_STX_) << ", " << static_cast<int>(_ETX_) << "\n"
        << "local HEAD_LEN = " << PKT_HEAD_FIXED_LEN << "\n"
        << "local OFFSET_CMDID, OFFSET_SN, OFFSET_ENCRYPT_TYPE = " << PKT_OFFSET_CMDID << ", " << PKT_OFFSET_SN << ", "
        << PKT_OFFSET_ENCRYPT_TYPE << "\n"
        << "local MAX_COUNT = " << ZR_MAX_CONTAINER_COUNT << "\n"
        << "local MAX_VARIANT = " << ZR_ENCRYPT_TYPE_MAX << "\n"
        << "local STX_BYTE, ETX_BYTE = string.char(STX), string.char(ETX)\n"
        << "-- The longest enciphered packet: the codec's output fills at most the cipher half.\n"
        << "local MAX_ENCIPHERED = " << PKT_ENVELOPE_MIN_LEN + PKT_SCRATCH_HALF_LEN << "\n"
        << "-- A packet that claims more than this is taken for garbage, not reassembled.\n"
        << "local MAX_PACKET = " << kMaxReassembledPacket << "\n"
        << "-- The first bytes handed to the codec module to measure a packet.\n"
        << "local FIRST_WINDOW = " << kFirstMeasureWindow << "\n"
        << "local NO_CODEC = " << quote(kNoCodecText) << "\n"
        << "-- The most one TCP segment carries.\n"
        << "local MAX_SEGMENT = 65535\n"
        << "local DEFAULT_PORT = " << kDissectorPort << "\n";
    lua << kLuaReaders;

    FieldNames names;
    std::set<unsigned int> seen;
    std::ostringstream commands;
    std::ostringstream table;
    for (const ZrPacketClass& row : classes) {
        names.claim(row.className);  // a name Wireshark takes, and one class of each name
        if (!seen.insert(row.cmdID).second) {
            throw std::runtime_error("two classes have the command " + std::to_string(row.cmdID));
        }
        commands << "    [" << row.cmdID << "] = " << quote(row.className) << ",\n";
        table << "    -- " << row.className << ": command " << row.cmdID << ", "
              << (row.mode == ZrBodyMode::Fixed  ? "fixed-mode body"
                  : row.mode == ZrBodyMode::None ? "no body"
                                                 : "compact body")
              << (row.enciphered ? ", enciphered by default" : "") << "\n"
              << "    [" << row.cmdID << "] = {name = " << quote(row.className)
              << ", compact = " << (row.mode == ZrBodyMode::Compact ? "true" : "false");
        if (row.mode != ZrBodyMode::None) {
            const std::vector<Node> body = zrFieldTree([&](ZrFieldVisitor& v) { row.create()->visitFields(v); });
            Generator fields(names);
            for (const Node& node : body) {
                fields.read(node, std::string(row.className) + "." + node.name, node.name, 2, "nil");
            }
            table << ", body = function(r, t)\n" << fields.code() << "    end";
            lua << fields.fields();
        }
        table << "},\n";
    }

    // The head, from its own field list: offsets follow from the wire sizes.
    const std::vector<Node> head =
        zrFieldTree([](ZrFieldVisitor& v) { ZrCatalogue::classes().front().create()->head().visitHeadFields(v); });
    Generator headFields(names);
    std::ostringstream layout;
    std::size_t offset = 1;  // after the STX
    for (const Node& node : head) {
        const char* values = offset == PKT_OFFSET_CMDID          ? ", base.DEC, COMMANDS"
                             : offset == PKT_OFFSET_ENCRYPT_TYPE ? ", base.DEC, VARIANTS"
                                                                 : ", base.DEC";
        headFields.declare("head." + node.name, luaType(node.wire), node.name, values);
        layout << "    {hf[" << quote("head." + node.name) << "], " << offset << ", " << wireSize(node.wire) << "},\n";
        offset += wireSize(node.wire);
    }
    if (offset != PKT_HEAD_FIXED_LEN) throw std::runtime_error("the head's field list does not fill its 33 bytes");

    lua << "\nlocal COMMANDS = {\n" << commands.str() << "}\n" << headFields.fields();
    lua << "\n-- The head after its STX: field, offset, size.\nlocal HEAD = {\n" << layout.str() << "}\n";
    lua << "\n-- Each class by its command, with its body's parse function.\nlocal classes = {\n"
        << table.str() << "}\n";
    lua << kLuaDissection;
    return lua.str();
}

}  // namespace zrpkt

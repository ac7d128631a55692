-- readers.lua: the dissector's fixed fields and expert infos, the codec
-- module, and the readers that each class's parse function reads its body
-- with: the module's walk, or the dissector's own. `zrpkt dissector` writes it into zrpacket.lua after the constants it
-- takes from the library (MAX_COUNT, MAX_VARIANT, MAX_SEGMENT, ...) and
-- before each class's fields, which it adds to hf, and its table of classes.

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

-- Each class's parse function reads its body with a reader that has the
-- methods below (fixed, u32, i32, string, text, echo, list, record), each
-- adding the field's item. Two readers find the fields: Walk takes them
-- from the codec module, which reads the body by the library's own rules;
-- Reader reads the bytes by its own copy of those rules, for use without
-- the module. Both raise {need = n}, n the bytes still missing at least,
-- where the bytes run out, and {bad = text} where no receiver accepts them,
-- and keep in `pos` where the fields read so far end.
local Fields = {}

-- "[i] " before an element of a list.
local function placed(item, index)
    if index ~= nil then item:prepend_text("[" .. index .. "] ") end
    return item
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

-- The bytes from start to where the fields read so far end.
function Fields:span(start)
    if self.measuring then return nil end
    return self.tvb(start, self.pos - start)
end

-- u8, u16, u64 and i64: the same bytes in either mode, most significant first.
function Fields:fixed(t, f, n, index)
    return placed(t:add(f, self:fixedRange(n)), index)
end

function Fields:u32(t, f, index)
    local value, start = self:number("u32")
    return placed(t:add(f, self:span(start), value), index)
end

-- An i32 travels as the u32 of the same bits.
function Fields:i32(t, f, index)
    local value, start = self:number("i32")
    if value >= 2147483648 then value = value - 4294967296 end
    return placed(t:add(f, self:span(start), value), index)
end

-- A string: a u32 length, then that many bytes of any value. The item
-- covers the bytes of the text, not its length.
function Fields:string(t, f, index)
    return placed(textItem(t, f, self:textRange("string")), index)
end

-- A char[size] text: a string of at most size - 1 bytes; a length that is 0
-- or negative as an i32 is the empty text and nothing follows it.
function Fields:text(t, f, size, index)
    return placed(textItem(t, f, self:textRange("text", size)), index)
end

-- A text the wire carries a second time after its own field.
function Fields:echo(t, name, size)
    return textItem(t, hf.echo, self:textRange("echo", size)):prepend_text(name .. " ")
end

-- A list or a map: a u32 count of at most MAX_COUNT, then each element.
function Fields:list(t, f, index, element)
    local count, start = self:count()
    local item = placed(t:add(f, self:span(start), count), index)
    item:append_text(count == 1 and " element" or " elements")
    for i = 0, count - 1 do element(item, i) end
    item:set_len(self.pos - start)
end

function Fields:record(t, f, index, fields)
    local start = self:recordStart()
    local item = placed(t:add(f, self:span(start)), index)
    fields(item)
    item:set_len(self.pos - start)
end

-- Reads one plain body over [pos, stop) of a tvb. A measuring reader only
-- walks the bytes and is handed NO_TREE, on which every item call does
-- nothing; where the bytes run out it goes on as if they were zeros (a
-- number cut short as 0), which gives the least length the body can have,
-- and notes `short`. It also notes `long`, a field longer than a segment.
local NO_TREE = setmetatable({}, {__index = function(t) return function() return t end end})
local Reader = setmetatable({}, {__index = Fields})
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

-- A u32 in the body's mode: four bytes, or a varint of 7 bits a byte, least
-- significant group first, groups past the fifth dropped as the library does.
function Reader:number()
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

function Reader:fixedRange(n)
    local _, range = self:take(n)
    return range
end

-- A string's bytes, or a char[size] text's.
function Reader:textRange(_, size)
    local length = self:number()
    if size == nil then
        if length >= 2147483648 then self:bad("a string length of " .. length) end
    else
        if length >= 2147483648 then length = 0 end
        if length >= size then
            self:bad(string.format("a text of %d bytes in a char[%d], which holds %d", length, size, size - 1))
        end
    end
    local _, range = self:take(length)
    return range
end

function Reader:count()
    local count, start = self:number()
    if count > MAX_COUNT then self:bad(string.format("a count of %d, above the %d a receiver accepts", count, MAX_COUNT)) end
    return count, start
end

function Reader:recordStart() return self.pos end
function Reader:done() end

-- The fields of a body in [from, ...) of tvb as the codec module's walk
-- returns them (codec.walk: kind, offset, length, value a field, and how
-- the walk ended), handed out in the order the parse function asks for
-- them; a field of another kind than it asks for means that the module
-- and this dissector come from different builds of the library.
local Walk = setmetatable({}, {__index = Fields})
Walk.__index = Walk
local FIXED = {u8 = 1, u16 = 2, u64 = 8, i64 = 8}

function Walk.new(tvb, from, fields, status, value, at)
    return setmetatable({tvb = tvb, from = from, pos = from, fields = fields, next = 1, status = status,
        value = value, at = at}, Walk)
end

local function mismatch(wanted, field)
    error({bad = string.format("the codec module reads %s where this dissector reads %s: they come from different"
        .. " builds of the library", field and field[1] or "no more fields", wanted)}, 0)
end

-- The next field, which must be of `kind` (or, for `size` bytes, a fixed
-- one): its start and value; past the last, how the walk ended.
function Walk:take(kind, size)
    local field = self.fields[self.next]
    if field == nil and self.status ~= "whole" then
        self.pos = self.from + self.at
        error(self.status == "need" and {need = self.value} or {bad = self.value}, 0)
    end
    if field == nil or (size == nil and field[1] ~= kind) or (size ~= nil and FIXED[field[1]] ~= size) then
        mismatch(kind, field)
    end
    self.next = self.next + 1
    local start = self.from + field[2]
    self.pos = start + field[3]
    return start, field[4]
end

function Walk:number(kind)
    local start, value = self:take(kind)
    return value, start
end

function Walk:fixedRange(n)
    local start = self:take("a fixed field", n)
    return self.tvb(start, n)
end

function Walk:textRange(kind)
    local start = self:take(kind)
    return self:span(start)
end

function Walk:count()
    local start, count = self:take("count")
    return count, start
end

function Walk:recordStart() return (self:take("record")) end

function Walk:done()
    if self.fields[self.next] ~= nil then mismatch("no more fields", self.fields[self.next]) end
end

-- The reader of a body in [from, stop) of tvb: the codec module's walk when
-- the module has one and knows the class, the Reader otherwise.
local function bodyReader(class, tvb, from, stop)
    if codec ~= nil and codec.walk ~= nil then
        local fields, status, value, at = codec.walk(class.name, stop > from and tvb:raw(from, stop - from) or "")
        if fields ~= nil then return Walk.new(tvb, from, fields, status, value, at) end
    end
    return Reader.new(tvb, from, stop, class.compact, false)
end

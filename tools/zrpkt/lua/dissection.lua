-- dissection.lua: framing packets in TCP data, drawing them, pairing
-- requests with replies, and registration. `zrpkt dissector` writes it at
-- the end of zrpacket.lua, after the library's constants (STX, HEAD_LEN,
-- OFFSET_CMDID, MAX_PACKET, ...), readers.lua (hf, ef, codec, the readers) and
-- the generated head layout (HEAD) and table of classes (classes).

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
    local r = bodyReader(class, tvb, from, stop)
    local ok, failure = pcall(class.body, r, body)
    if ok then ok, failure = pcall(r.done, r) end
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

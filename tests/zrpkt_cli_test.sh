#!/usr/bin/env bash
# zrpkt as an engineer runs it. Each case gives the arguments and standard
# input and expects an exit status and a fragment of standard output (status
# 0) or of the single line on standard error (any other status).
set -u
zrpkt=${1:?usage: zrpkt_cli_test.sh PATH_TO_ZRPKT CORPUS_DIR VERSION}
corpus=${2:?usage: zrpkt_cli_test.sh PATH_TO_ZRPKT CORPUS_DIR VERSION}
version=${3:?usage: zrpkt_cli_test.sh PATH_TO_ZRPKT CORPUS_DIR VERSION}
dumps=$(dirname "$corpus")/dumps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

fail() {
    echo "FAIL $1"
    head -c 2000 "$work/out" "$work/err"
    failed=1
}

# check NAME STATUS FRAGMENT STDIN ARGS... (STDIN as printf %b takes it; the
# FRAGMENT may span lines). With lines=N before it: N lines on standard
# error rather than one, and the FRAGMENT in them.
check() {
    local name=$1 want=$2 fragment=$3 input=$4
    shift 4
    printf '%b' "$input" | timeout 60 "$zrpkt" "$@" >"$work/out" 2>"$work/err"
    local got=$? where=$work/out
    [ "$want" -ne 0 ] && where=$work/err
    if [ "$got" -ne "$want" ] || [[ "$(<"$where")" != *"$fragment"* ]]; then
        fail "$name: status $got, wanted $want and '$fragment'"
    elif [ "$want" -ne 0 ] && [ "$(wc -l <"$work/err")" -ne "${lines:-1}" ]; then
        fail "$name: not ${lines:-1} line(s) on standard error"
    fi
}

# The demo's plain socket authentication packet, as it prints it, and cut.
demo='02 01 02 00 00 00 03 00 00 00 00 2A 00 00 00 01
\t00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
  00 00 0A 73 33 63 72 33 74 2D 6B 65 79 00 02 6F
6B 03\n'
flat=$(printf '%b' "$demo" | tr -s ' \t\n' ' ')
flat=${flat% }
raw=$(echo "$flat" | sed 's/ *\([0-9A-F][0-9A-F]\)/\\x\1/g')
cmd77=${flat/00 00 00 03/00 00 00 4D}
auth='{"class": "ZrAuthSockMsgPacket", "body": {"key": "k"}}'

check "hex with blanks and newlines" 0 '{"offset":0,"class":"ZrAuthSockMsgPacket","head":{"version":258,' "$demo" decode
check "raw bytes" 0 '"ErrorDesc":"ok"' "$raw" decode
check "--compact, the default" 0 '{"offset":0,"class":"ZrAuthSockMsgPacket","head":{"version":258,' "$demo" decode --compact
check "pretty" 0 '{
  "class": "ZrAuthSockMsgPacket",
  "head": {
    "version": 258,' "$demo" decode --pretty
check "forced class" 0 '"cmdID":77' "$cmd77" decode --class ZrAuthSockMsgPacket
# An input is a stream: packets one after another, plain or enciphered, each
# a line with its offset; bytes that are not a packet are named on standard
# error. tshark -T fields -e tcp.payload prints a segment's payload a line.
cipher=$(echo '{"class": "ZrLoginMsgPacket", "body": {"AccountName": "a"}}' | "$zrpkt" encode --hex --seed 7)
n=$(echo $cipher | wc -w)
check "two plain packets" 0 '"ok"}}
{"offset":50,"class":"ZrAuthSockMsgPacket",' "$demo$demo" decode
check "two enciphered packets" 0 "}}
{\"offset\":$n,\"class\":\"ZrLoginMsgPacket\"," "$cipher\n$cipher" decode
check "bytes between packets" 1 'stdin: 3 bytes skipped at offset 50: byte 0x41 at offset 50 starts no packet' \
    "$demo 41 42 43 $cipher" decode
printf '%b' "$demo 41 42 43 $cipher 02" | "$zrpkt" decode >"$work/out" 2>"$work/err"
[ $? -eq 1 ] && [ "$(wc -l <"$work/out")" -eq 2 ] && grep -qF '{"offset":53,"class":"ZrLoginMsgPacket"' "$work/out" &&
    [ "$(wc -l <"$work/err")" -eq 2 ] && grep -qF "stdin: 1 byte skipped at offset $((53 + n)): the stream ends" "$work/err" ||
    fail "packets around bytes that are not one"
check "array" 0 '"ok"}},
{"offset":50,"class":"ZrAuthSockMsgPacket",' "$demo$demo" decode --array
printf '%b' "$demo$demo" | "$zrpkt" decode --array | python3 -c 'import json, sys; assert len(json.load(sys.stdin)) == 2' ||
    fail "decode --array is not a JSON array of two"
check "pretty or array" 2 'excludes' "$demo" decode --pretty --array
tcp_payload="${flat:0:59}\n${flat:60}${flat:0:29}\n\n${flat:30}\n"
check "tshark's hex of segments" 0 '{"offset":50,"class":"ZrAuthSockMsgPacket",' "${tcp_payload// /}" decode
printf '%b' "$demo" >"$work/a.hex"
"$zrpkt" decode --sn 2 "$dumps/auth.bin" >"$work/out" && [ ! -s "$work/out" ] || fail "decode --sn of none"
check "decode --sn" 0 '"SN":1,' '' decode --sn 1 "$dumps/auth.bin"
check "--max-packet of the packet's own length" 0 '"ErrorDesc":"ok"' "$demo" decode --max-packet 50
check "--max-packet a byte short of it" 1 'stdin: 50 bytes skipped at offset 0: ZrAuthSockMsgPacket: body.ErrorDesc' \
    "$demo" decode --max-packet 49
# An enciphered body deciphers a byte longer than its fields: the JSON as
# without it, and a note.
printf '%b' "$(echo $cipher | sed 's/ 03$/ 41 03/')" | "$zrpkt" decode >"$work/out" 2>"$work/err" &&
    grep -qF '{"offset":0,"class":"ZrLoginMsgPacket"' "$work/out" && [ "$(wc -l <"$work/err")" -eq 1 ] &&
    grep -qF 'stdin: the packet at offset 0: ZrLoginMsgPacket: 1 byte of its deciphered body after its fields' \
        "$work/err" || fail "an enciphered body longer than its fields"
check "--raw: a packet of a command no class has" 0 '{"offset":0,"head":{"version":65025,"cmdID":1002,' '' \
    decode --raw "$corpus/ZrAuthSockMsgPacket.boundary.bin"
check "--raw: an enciphered body, deciphered" 0 '"keyByte":' "$cipher" decode --raw
[[ $(<"$work/out") == *'"cipher":{"hex":"'*'"body":{"hex":"'* ]] || fail "--raw: the cipher and the body"
check "--raw: bytes that are no one packet" 1 'stdin: it ends with the byte 41, not the end byte 03' \
    "$demo 41" decode --raw
check "a pcap file" 1 'stdin: this is a capture: use zrpkt pcap' '\xd4\xc3\xb2\xa1\x02\x00\x04\x00' decode
check "files named" 0 "{\"file\":\"$work/a.hex\",\"offset\":0," '' decode "$work/a.hex" "$work/a.hex"

# Captures: text2pcap (beside tshark) writes one TCP segment a dump, here a
# packet and then two in one segment.
if command -v text2pcap >/dev/null && command -v tshark >/dev/null; then
    printf '000000 %s\n000000 %s %s\n' "$flat" "$flat" "$flat" >"$work/segments.txt"
    text2pcap -q -T 40000,7633 "$work/segments.txt" "$work/c.pcap" >/dev/null 2>&1 || fail "text2pcap"
    check "pcap" 0 '"flow":{"src":"10.1.1.1:40000","dst":"10.2.2.2:7633"},"offset":100,"class":"ZrAuthSockMsgPacket"' \
        '' pcap "$work/c.pcap"
    check "pcap of a port no flow used" 1 \
        "c.pcap: no TCP flow to or from port 9000; the capture's TCP connections are on port 7633 (1);" \
        '' pcap --port 9000 "$work/c.pcap"
    check "decode of a capture" 1 "c.pcap: this is a capture: use zrpkt pcap" '' decode "$work/c.pcap"
    check "pcap --class" 0 '"frame":2,"connection":0,' '' pcap --class ZrAuthSockMsgPacket "$work/c.pcap"
    "$zrpkt" pcap --class 4 "$work/c.pcap" >"$work/out" 2>&1 && [ ! -s "$work/out" ] || fail "pcap --class of none"
    tshark -r "$work/c.pcap" -T fields -e tcp.payload 2>/dev/null | "$zrpkt" decode >"$work/out" 2>"$work/err" &&
        [ "$(wc -l <"$work/out")" -eq 3 ] || fail "tshark -T fields -e tcp.payload | decode"
    { cat "$work/c.pcap"; sleep 3; } | "$zrpkt" pcap - | { IFS= read -r -t 2 line && [[ $line == '{"time":'* ]]; } ||
        fail "pcap - prints a packet before its input ends"
    "$zrpkt" pcap "$work/c.pcap" | "$zrpkt" encode >"$work/t.bin" && printf '%b' "$raw$raw$raw" | cmp -s - "$work/t.bin" ||
        fail "pcap | encode"
else
    echo "text2pcap or tshark not found: the capture cases are left out"
fi
check "pcap of a missing file" 1 "$work/none.pcap: cannot read the capture: " '' pcap "$work/none.pcap"
check "pcap of a file that is no capture" 1 "$dumps/auth.bin: cannot read the capture: " '' pcap "$dumps/auth.bin"
check "port or any port" 2 'excludes' '' pcap --port 9000 --any-port "$work/c.pcap"
check "port 0" 2 'not in range' '' pcap --port 0 "$work/c.pcap"
check "encode to hex" 0 '02 00 00 00 00 00 03 00' "$auth" encode --hex
check "list" 0 '      4  ZrLoginMsgPacket' '' list
check "template by command" 0 '"class": "ZrAuthSockMsgPacket"' '' template 3
check "template of a list" 0 '"ACCONTINFO": []' '' template ZrLoginMsgPacket
check "template with an element" 0 '"ACCONTINFO": [
      {
        "uField2": 0,' '' template --full ZrLoginMsgPacket
check "template with an entry" 0 '"StbInfo": [
      {
        "key": 0,
        "value": {
          "szInfo1": "",' '' template --full 104
check "describe" 0 'ZrLexsGetStbInfoMsgPacket: command 104, sent enciphered (encryptType 1 to 8, a variant drawn at random)
head (33 bytes, after the STX 02): version u16, cmdID u32, subcmdID u8, userID u32, SN u32, encryptType u8,' '' describe 104
check "describe a map" 0 '  StbInfo                   map       at most 1000 entries {"key": k, "value": v}, each key once:
    key                     i32
    value                   record    of these fields:
      szInfo1               char[33]  a text of at most 32 bytes' '' describe ZrLexsGetStbInfoMsgPacket
check "describe a fixed body" 0 'body (fixed mode: u32 and i32 four bytes' '' describe 1010
check "describe the keep-alive" 0 'no body: the head and the ETX 03 alone' '' describe 1
check "schema of one class" 0 '"$ref": "#/$defs/ZrAuthSockMsgPacket"' '' schema 3
check "template to a file, and standard output" 0 '"class": "ZrAuthSockMsgPacket"' '' template 3 -o /dev/stdout
check "a plain packet beyond the first buffer" 0 '02 00 00 00 00 00 09 00' \
    "{\"class\": \"ZrHttpMsgPacket\", \"body\": {\"Request\": \"$(head -c 70000 /dev/zero | tr '\0' x)\"}}" encode --hex
check "dissector" 0 'local zr = Proto("zrpacket"' '' dissector
for sub in decode pcap encode list template describe schema dissector; do
    check "$sub --help" 0 'Example' '' "$sub" --help
    "$zrpkt" "$sub" --help | grep -E '^  ([A-Z]+) \1' && fail "$sub --help names an argument twice"
done

check "hex in groups" 0 '"key":"s3cr3t-key"' "$(echo "$flat" | tr -d ' ' | sed 's/......../& /g')" decode
lines=2 check "a '*' and no offset after it" 1 "stdin: line 5 of the hexdump -C dump: a '*' stands for repeats" \
    "$(head -5 "$dumps/repeat.hexdump")" decode
check "a '*' beyond any packet" 1 "stdin: line 3 of the od -A x -t x1 dump: offset ffffffff would make the '*' on line 2 stand for more than 67108864 bytes" '000000 02\n*\nffffffff\n' decode
check "octal offsets" 1 'line 2 of the od -A x -t x1 dump: offset 0000020, but the lines before it end at 0000010' \
    '0000000 02 01 02 00 00 00 03 00 00 00 00 2a 00 00 00 01\n0000020 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n' decode
check "16-bit words" 1 'line 1 of the od -A x -t x1 dump: "0102" where a byte (two hex digits) was expected; od -x' \
    '0000000 0102 0002 0000 0003 0000 2a00 0000 0100\n0000010 0000 0000 0000 0000 0000 0000 0000 0000\n' decode
check "xxd -e, little-endian words" 1 'line 1 of the xxd dump: its ASCII column shows the bytes of each group reversed' \
    '00000000: 00020102 00030000 2a000000 01000000  ...........*....\n' decode
check "an xxd line wider than the first" 1 'line 2 of the xxd dump: 10 bytes, more than the 8 of the first line' \
    '00000000: 0201 0200 0000 0300  ........\n00000008: 0000 002a 0000 0001 0000  ..........\n' decode
check "tshark -x whose ASCII column ends in |" 0 '{"offset":0,"class":"ZrAuthSockMsgPacket"' \
    "$(sed '1s/ 01   \(.*\)\.$/ 7c   \1|/' "$dumps/auth.tshark")" decode
check "tshark -x of two frames" 0 '{"offset":50,"class":"ZrAuthSockMsgPacket"' \
    "$(cat "$dumps/auth.tshark")\n\n$(cat "$dumps/auth.tshark")\n" decode
check "a line that is no dump" 1 'line 2 of the tshark -x dump: no offset at its start' \
    "$(head -1 "$dumps/auth.tshark")\nFrame (50 bytes):\n" decode
check "text that is neither hex nor a packet" 1 'stdin: 5 bytes skipped at offset 0: byte 0x7A at offset 0 starts no packet' 'zz 02' decode
# Raw input is a stream like any other: bytes before the first packet are skipped.
check "a stray NUL before raw packets" 1 'stdin: 1 byte skipped at offset 0: byte 0x00' "\\x00$raw$raw" decode
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "a stray NUL: not the two packets after it"
check "a newline before raw packets" 1 'stdin: 1 byte skipped at offset 0' "\\n$raw" decode
check "AB before raw packets" 1 'stdin: 2 bytes skipped at offset 0: byte 0x41' "AB$raw" decode
check "hex cut inside a byte" 1 'stdin: the hex ends in half a byte' "$demo$demo 0" decode
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "hex cut inside a byte: the packets before the cut"
check "a character that is not hex" 1 "stdin: 'z' at offset 307 of the hex, which is neither a hex digit nor a blank" \
    "$demo$demo z" decode
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "a character that is not hex: the packets before it"
check "empty" 1 'stdin: empty' ' \n' decode
check "truncated head" 1 'stdin: 20 bytes skipped at offset 0: ZrAuthSockMsgPacket: the stream ends 20 bytes into a packet' \
    "${flat:0:60}" decode
check "truncated body" 1 'stdin: 36 bytes skipped at offset 0: ZrAuthSockMsgPacket: the stream ends 36 bytes' "${flat:0:108}" decode
check "unknown command" 1 'stdin: 50 bytes skipped at offset 0: no packet class has the command 77' "$cmd77" decode
check "unknown forced class" 1 'no packet class is named "Nope"' "$demo" decode --class Nope
check "describe an unknown class" 1 'no packet class is named "Nope"' '' describe Nope
check "a command beyond 32 bits" 1 'no packet class has the command 4294967299' '' template 4294967299
check "missing file" 1 "$work/none: cannot open" '' decode "$work/none"
check "dissector to a missing directory" 1 "$work/none/z.lua: cannot create" '' dissector -o "$work/none/z.lua"
check "output to a directory" 1 "$work: is a directory" "$auth" encode -o "$work"
check "output to -" 0 '02 00 00 00 00 00 03 00' "$auth" encode --hex -o -
check "output to the file standard output is on" 0 '02 00 00 00 00 00 03 00' "$auth" encode --hex -o /proc/self/fd/1
check "bad JSON" 1 'stdin: bad JSON: parse error' '{"class":' encode
check "unknown field" 1 'stdin: body.nope: unknown field' '{"class": "ZrAuthSockMsgPacket", "body": {"nope": 1}}' encode
check "out of range" 1 'head.subcmdID: 300 is out of range for u8' '{"class": "ZrAuthSockMsgPacket", "head": {"subcmdID": 300}}' encode
check "enciphered body too large" 1 'ZrLoginMsgPacket cannot be encoded: an enciphered body holds at most 30720 bytes' \
    "{\"class\": \"ZrLoginMsgPacket\", \"body\": {\"AccountName\": \"$(head -c 40000 /dev/zero | tr '\0' x)\"}}" encode
check "no subcommand" 2 'A subcommand is required' ''
check "unknown subcommand" 2 'unknown subcommand "decod"; the subcommands are decode, pcap, encode, list, template' '' decod
check "version" 0 "zrpkt $version" '' --version
check "unknown option" 2 'not expected: --bogus' '' decode --bogus
check "template without class" 2 'CLASS is required' '' template

lines=2 check "-o and bytes skipped" 1 "$work/o.jsonl: not written, as not every byte" "$demo 41" decode -o "$work/o.jsonl"
[ ! -e "$work/o.jsonl" ] || fail "-o and bytes skipped: written"
check "pretty, files named" 0 "{
  \"file\": \"$work/a.hex\",
  \"class\": \"ZrAuthSockMsgPacket\"," '' decode --pretty "$work/a.hex" "$work/a.hex"

# A stream: the first packet is printed while the input is still open, and
# a 100 MB one is read in bounded memory (AddressSanitizer's own keep of
# freed blocks held small).
{ printf '%b' "$raw"; sleep 3; printf '%b' "$raw"; } | "$zrpkt" decode |
    { IFS= read -r -t 2 line && [[ $line == '{"offset":0,'* ]]; } || fail "decode prints a packet before its input ends"
{ echo "$auth"; sleep 3; echo "$auth"; } | "$zrpkt" encode --hex |
    { IFS= read -r -t 2 line && [[ $line == '02 '* ]]; } || fail "encode writes a packet before its input ends"
echo "{\"class\": \"ZrHttpMsgPacket\", \"body\": {\"Request\": \"$(head -c 60000 /dev/zero | tr '\0' x)\"}}" |
    "$zrpkt" encode >"$work/big.bin" && printf '%b' "$raw" >>"$work/big.bin"
read -r status records wanted peak < <(ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=1" python3 - "$zrpkt" "$work/big.bin" <<'EOF'
import resource, subprocess, sys, threading
zrpkt, packets = sys.argv[1], open(sys.argv[2], 'rb').read()
n = 100_000_000 // len(packets) + 1
p = subprocess.Popen([zrpkt, 'decode'], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
def feed():
    for _ in range(n): p.stdin.write(packets)
    p.stdin.close()
threading.Thread(target=feed).start()
lines = sum(block.count(b'\n') for block in iter(lambda: p.stdout.read(1 << 16), b''))
print(p.wait(), lines, 2 * n, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)
EOF
)
[ "$status" = 0 ] && [ "$records" = "$wanted" ] && [ "$peak" -lt 100 ] ||
    fail "100 MB through decode: status $status, $records of $wanted packets, peak $peak MB"

# Round trips through pipes: raw bytes out of encode, and a template that
# encodes to the packet it shows.
echo "$auth" | "$zrpkt" encode | "$zrpkt" decode >"$work/out" 2>"$work/err"
grep -qF '"key":"k"' "$work/out" || fail "encode | decode"
"$zrpkt" template 3 >"$work/t.json" && "$zrpkt" encode "$work/t.json" | "$zrpkt" decode --pretty >"$work/out" 2>"$work/err"
cmp -s "$work/t.json" "$work/out" || fail "template | encode | decode"
printf '%b' "$demo" | "$zrpkt" decode --compact - "$work/t.json" >"$work/out" 2>"$work/err"
[ $? -eq 1 ] && [ "$(wc -l <"$work/out")" -eq 1 ] && grep -qE "t\.json: [0-9]+ bytes skipped at offset 0: byte 0x7B" "$work/err" ||
    fail "decode goes on past a bad file"

# What decode prints, each of its forms, encodes to the bytes it came from;
# a template encodes without a note.
cat "$corpus"/*.default-command.bin >"$work/s.bin"
for form in --compact --array --pretty; do
    "$zrpkt" decode $form "$work/s.bin" | "$zrpkt" encode --seed 1 >"$work/t.bin" && cmp -s "$work/s.bin" "$work/t.bin" ||
        fail "decode $form | encode of the corpus stream"
done
"$zrpkt" template 4 | "$zrpkt" encode >/dev/null 2>"$work/err" && [ ! -s "$work/err" ] || fail "template 4 | encode: a note"
check "encode, an element that is no object" 1 'stdin, packet 2: expected a JSON object, a packet, got number' "[$auth, 7]" encode

# The cipher variant: the same for one --seed, drawn anew on every run
# without (eight runs all alike would be a 1 in 2 million chance), and a
# head.encryptType that was not sent is noted.
login='{"class": "ZrLoginMsgPacket", "head": {"encryptType": 9}}'
for run in 1 2; do echo "$login" | "$zrpkt" encode --seed 7 2>/dev/null >"$work/seeded$run"; done
cmp -s "$work/seeded1" "$work/seeded2" && [ -s "$work/seeded1" ] || fail "encode --seed 7 twice"
variants=$(for run in 1 2 3 4 5 6 7 8; do echo "$login" | "$zrpkt" encode --hex 2>/dev/null | sed -n 2p | cut -c1-2; done)
[ "$(echo "$variants" | sort -u | wc -l)" -gt 1 ] || fail "the variant of eight runs: $(echo $variants)"
echo "$login" | "$zrpkt" encode --seed 7 >/dev/null 2>"$work/err" && [ "$(wc -l <"$work/err")" -eq 1 ] &&
    grep -qF 'stdin: head.encryptType is 9, but ' "$work/err" || fail "a note for the encryptType not sent"
echo "$auth" | "$zrpkt" encode >/dev/null 2>"$work/err" && [ ! -s "$work/err" ] || fail "a note without encryptType"

# Real output of xxd, hexdump -C, od -A x -t x1 and tshark -x decodes to
# what its packet's bytes decode to. In repeat.*, the ASCII column is all
# hex digits, and hexdump and od fold five equal lines into a '*'.
for dump in "$dumps"/*; do
    [ "${dump%.bin}" = "$dump" ] || continue
    "$zrpkt" decode "$dump" >"$work/out" 2>"$work/err" && "$zrpkt" decode "${dump%.*}.bin" >"$work/want" &&
        cmp -s "$work/want" "$work/out" || fail "decode $(basename "$dump")"
done

# Each golden packet's JSON is what decode --pretty prints for it.
for bin in "$corpus"/*.bin; do
    name=$(basename "$bin" .bin)
    "$zrpkt" decode --pretty --class "${name%%.*}" "$bin" >"$work/out" 2>"$work/err" &&
        cmp -s "${bin%.bin}.json" "$work/out" || fail "decode $name"
done

# An output file appears whole or not at all, and nothing is left beside it.
umask 022
mkdir "$work/o"
echo '{"class":' | "$zrpkt" encode -o "$work/o/p.bin" 2>/dev/null
printf '%b' "$demo" | "$zrpkt" decode -o "$work/o/p.json" - "$work/none" 2>/dev/null
echo "$auth" | "$zrpkt" encode -o "$work/o" 2>/dev/null
(trap '' XFSZ && ulimit -f 1 && "$zrpkt" dissector -o "$work/o/z.lua") 2>/dev/null && fail "a write over ulimit -f"
[ -z "$(ls -A "$work/o")" ] || { ls -A "$work/o"; fail "failed runs left files"; }
echo "$auth" | "$zrpkt" encode --hex -o "$work/o/p.hex" && "$zrpkt" decode -o "$work/o/p.json" "$work/o/p.hex"
[ "$(ls -A "$work/o" | tr '\n' ' ')" = "p.hex p.json " ] && grep -qF '"key":"k"' "$work/o/p.json" ||
    { ls -A "$work/o"; fail "output files"; }

# A new file gets the mode the umask gives and a replaced one keeps its own;
# a symbolic link stays and its target is written (made, if it is missing);
# a FIFO (like a device) is written through, not replaced by a file.
[ "$(stat -c %a "$work/o/p.hex")" = 644 ] || fail "a new file's mode is $(stat -c %a "$work/o/p.hex")"
chmod 600 "$work/o/p.json"
ln -s p.json "$work/o/link"
ln -s made.lua "$work/o/dangling"
mkfifo "$work/o/fifo"
"$zrpkt" dissector -o "$work/o/link" && "$zrpkt" dissector -o "$work/o/dangling" || fail "-o through links"
[ -L "$work/o/link" ] && [ -L "$work/o/dangling" ] && [ "$(stat -c %a "$work/o/p.json")" = 600 ] &&
    grep -qF 'local zr = Proto' "$work/o/p.json" "$work/o/made.lua" || { ls -l "$work/o"; fail "links"; }
timeout 10 cat "$work/o/fifo" >"$work/from-fifo" &
timeout 10 "$zrpkt" decode -o "$work/o/fifo" "$work/o/p.hex"
wait $!
[ -p "$work/o/fifo" ] && grep -qF '"key":"k"' "$work/from-fifo" || fail "-o to a FIFO"

[ "$failed" -eq 0 ] && echo "zrpkt: all cases passed"
exit "$failed"

"""zrpkt schema read by a real JSON Schema validator (Debian's
python3-jsonschema). Every golden packet's JSON validates against the schema
of every class and against its own class's, and so does every line zrpkt
decode and zrpkt pcap --pair write; each document of the table below is
judged by the schema and by zrpkt encode as the row says, so that the two
agree, and where they cannot (the schema passes and encode refuses) the row
says so.

usage: zrpkt_schema_test.py PATH_TO_ZRPKT CORPUS_DIR
"""
import json
import pathlib
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    sys.exit(f"zrpkt_schema_test: {sys.executable} has no jsonschema module: "
             "install Debian's python3-jsonschema (.ci/run does)")

zrpkt, corpus = sys.argv[1], pathlib.Path(sys.argv[2])
failures = []


def schema_of(*args):
    run = subprocess.run([zrpkt, "schema", *args], capture_output=True, text=True, check=True)
    schema = json.loads(run.stdout)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


every_class = schema_of()
own_class = {}
for path in sorted(corpus.glob("*.json")):
    packet = json.loads(path.read_text())
    name = packet["class"]
    own_class.setdefault(name, schema_of(name))
    for which, validator in (("every class", every_class), (name, own_class[name])):
        error = jsonschema.exceptions.best_match(validator.iter_errors(packet))
        if error is not None:
            failures.append(f"{path.name} against the schema of {which}: {error.message}")

# What decode writes of the corpus (two files, so each line names its file),
# and pcap --pair of the example capture (replies, a second one among them).
streams = [sorted(corpus.glob("*.default-command.bin"))[:2]]
capture = corpus.parent.parent / "examples" / "capture.pcap"
for args in (["decode", *map(str, streams[0])], ["decode", "--array", *map(str, streams[0])],
             ["pcap", "--pair", str(capture)]):
    run = subprocess.run([zrpkt, *args], capture_output=True, text=True)
    lines = json.loads(run.stdout) if "--array" in args else [json.loads(l) for l in run.stdout.splitlines()]
    for number, line in enumerate(lines, 1):
        error = jsonschema.exceptions.best_match(every_class.iter_errors(line))
        if error is not None:
            failures.append(f"zrpkt {args[0]} {args[1]}, line {number}: {list(error.path)}: {error.message}")
    if not lines:
        failures.append(f"zrpkt {' '.join(args)} wrote no line")

auth = {"class": "ZrAuthSockMsgPacket"}
login = "ZrLoginMsgPacket"  # ACCONTINFO: a list of records with char[20] texts


def account(text):
    return {"class": login, "body": {"ACCONTINFO": [{}, {"szField1": text}]}}


# name, document, schema accepts, encode accepts
ROWS = [
    ("by command alone", {"head": {"cmdID": 3}, "body": {"key": "k"}}, True, True),
    ("naming its schema", {**auth, "$schema": "zrpacket.schema.json"}, True, True),
    ("under another command", {**auth, "head": {"cmdID": 77}}, True, True),
    ("char[20] of 19 ASCII bytes", account("x" * 19), True, True),
    ("char[20] of 19 UTF-8 bytes", account("\u00e9" * 9 + "x"), True, True),
    ("char[20] of 19 bytes in hex", account({"hex": "ff" * 19}), True, True),
    ("hex with blanks anywhere", {**auth, "body": {"key": {"hex": " f f\t00\n7C "}}}, True, True),
    ("a NUL in a string", {**auth, "body": {"key": "a\u0000b"}}, True, True),
    ("the keep-alive", {"class": "ZrCkeepAlivePacket", "keyByte": 0, "body": {}}, True, True),
    ("a map entry without value", {"class": "ZrLexsGetStbInfoMsgPacket", "body": {"StbInfo": [{"key": 1}]}},
     True, True),
    ("placed as pcap --pair writes it",
     {"time": "2026-12-08T19:42:35.130000Z", "frame": 16, "connection": 0,
      "flow": {"src": "10.0.0.2:7633", "dst": "10.0.0.1:40000"}, "offset": 184,
      "request": {"offset": 228, "frame": 15, "time": "2026-12-08T19:42:35.090000Z"}, "latency": 0.04,
      "secondReplyTo": {}, "file": "a.bin", **auth}, True, True),
    ("placing members hold anything, passed over by encode", {**auth, "offset": "zero", "flow": [1]}, True, True),
    ("u32 out of range", {**auth, "head": {"SN": 4294967296}}, False, False),
    ("i32 out of range", {**auth, "body": {"ResultFlag": -2147483649}}, False, False),
    ("u8 negative", {**auth, "keyByte": -1}, False, False),
    ("char[20] of 20 bytes", account("x" * 20), False, False),
    ("char[20] of 20 bytes in hex", account({"hex": "41" * 20}), False, False),
    ("char[20] of 20 UTF-8 characters", account("\u00e9" * 20), False, False),
    ("a NUL in a char[20]", account("a\u0000"), False, False),
    ("a NUL in a char[20] in hex", account({"hex": "61 00"}), False, False),
    ("not hex", {**auth, "body": {"key": {"hex": "F"}}}, False, False),
    ("hex beside another member", {**auth, "body": {"key": {"hex": "FF", "x": 1}}}, False, False),
    ("unknown body member", {**auth, "body": {"nope": 1}}, False, False),
    ("unknown head member", {**auth, "head": {"nope": 1}}, False, False),
    ("unknown member", {**auth, "bdy": {}}, False, False),
    ("a schema that is no string", {**auth, "$schema": 1}, False, False),
    ("unknown class", {"class": "Nope"}, False, False),
    ("unknown command", {"head": {"cmdID": 77}}, False, False),
    ("neither class nor command", {"head": {}}, False, False),
    ("a string for an integer", {**auth, "body": {"ResultFlag": "0"}}, False, False),
    ("1001 list elements", {"class": login, "body": {"ACCONTINFO": [{}] * 1001}}, False, False),
    ("a map entry without key", {"class": "ZrLexsGetStbInfoMsgPacket", "body": {"StbInfo": [{"value": {}}]}},
     False, False),
    ("a body in the keep-alive", {"class": "ZrCkeepAlivePacket", "body": {"key": ""}}, False, False),
    # What JSON Schema cannot say: the schema lets these through, encode refuses them.
    ("char[20] of 19 characters, 38 UTF-8 bytes", account("\u00e9" * 19), True, False),
    ("an integer written 1.0", {**auth, "body": {"ResultFlag": 1.0}}, True, False),
    ("a map key given twice", {"class": "ZrLexsGetStbInfoMsgPacket", "body": {"StbInfo": [{"key": 1}, {"key": 1}]}},
     True, False),
]

for name, document, schema_accepts, encode_accepts in ROWS:
    text = json.dumps(document)
    if every_class.is_valid(document) != schema_accepts:
        failures.append(f"{name}: the schema {'refuses' if schema_accepts else 'accepts'} {text}")
    # The schema of every class names the field at fault as the class's own does.
    name = document.get("class")
    if not schema_accepts and name in own_class:
        every, own = (jsonschema.exceptions.best_match(v.iter_errors(document)) for v in (every_class, own_class[name]))
        if (list(every.path), every.message) != (list(own.path), own.message):
            failures.append(f"{name}: the schema of every class says {list(every.path)}: {every.message}, "
                            f"its class's {list(own.path)}: {own.message}")
    encode = subprocess.run([zrpkt, "encode", "--seed", "1"], input=text.encode(), capture_output=True)
    if (encode.returncode == 0) != encode_accepts:
        failures.append(f"{name}: encode {'refuses' if encode_accepts else 'accepts'} {text}: "
                        f"{encode.stderr.decode(errors='replace').strip()}")

for failure in failures:
    print("FAIL", failure)
if not failures:
    print(f"zrpkt schema: {len(own_class)} classes' golden packets and {len(ROWS)} documents judged as expected")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""The dissector's Lua through Lua 5.2's compiler, Wireshark's Lua: its
fixed files and the zrpacket.lua that zrpkt generates now must parse, and
the generated file may neither set a global nor read one that neither Lua
nor Wireshark defines, so that a misspelt local (nil at run time, perhaps
on a path no capture takes) fails here.

usage: lua_lint.py LUAC ZRPKT FILE.lua...
"""
import os
import re
import subprocess
import sys
import tempfile

LUA_GLOBALS = {
    "assert", "error", "getmetatable", "ipairs", "load", "next", "pairs", "pcall", "print", "rawequal", "rawget",
    "rawlen", "rawset", "require", "select", "setmetatable", "tonumber", "tostring", "type", "xpcall",
    "bit32", "coroutine", "debug", "io", "math", "os", "package", "string", "table",
}
# What of Wireshark's Lua API the dissector uses; a new use goes here.
WIRESHARK_GLOBALS = {
    "ByteArray", "DESEGMENT_ONE_MORE_SEGMENT", "DissectorTable", "NSTime", "Pref", "Proto", "ProtoExpert",
    "ProtoField", "base", "expert", "frametype",
}

# A listing line: pc, [line], opcode, operands, and what luac notes.
INSTRUCTION = re.compile(r'^\s*\d+\s+\[(\d+)\]\s+(\w+)\s+([-\d ]+?)\s*(?:;\s*(.*))?$')


def globals_used(listing):
    """(line, name, whether set) for each global the listing reads or sets.
    A key among the first 256 constants (a negative operand) is in luac's
    note; another is loaded into the key's register just before."""
    loaded = {}  # register -> the constant a LOADK put there, in this function
    for text in listing.splitlines():
        if text.startswith(("main <", "function <")):
            loaded = {}
            continue
        match = INSTRUCTION.match(text)
        if not match:
            continue
        line, opcode, operands, note = match.group(1), match.group(2), match.group(3).split(), match.group(4) or ""
        if opcode == "LOADK":
            loaded[operands[0]] = note
        if opcode not in ("GETTABUP", "SETTABUP") or not note.startswith("_ENV"):
            continue
        key = operands[2] if opcode == "GETTABUP" else operands[1]
        name = note.split()[1] if key.startswith("-") else loaded.get(key, "?")
        yield int(line), name.strip('"'), opcode == "SETTABUP"


def run(*command):
    """The command's output; a failure, which it has reported, ends the test."""
    done = subprocess.run(command, stdout=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode})")
    return done.stdout


def main():
    luac, zrpkt, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
    with tempfile.TemporaryDirectory() as work:
        generated = os.path.join(work, "zrpacket.lua")
        run(zrpkt, "dissector", "-o", generated)
        run(luac, "-p", *sources)
        listing = run(luac, "-p", "-l", generated)
        lines = open(generated, encoding="utf-8").read().splitlines()
    faults = [f"zrpacket.lua:{line}: {'sets' if sets else 'reads'} the global {name}: {lines[line - 1].strip()}"
              for line, name, sets in sorted(set(globals_used(listing)))
              if sets or name not in LUA_GLOBALS | WIRESHARK_GLOBALS]
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

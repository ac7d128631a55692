#!/usr/bin/env python3
"""zrpkt decode over a generated stream: MB/s of input and the process's
peak memory (its maximum resident set), for a stream of plain packets and a
mixed one (every class of the golden corpus, plain and enciphered).

usage: bench/zrpkt_stream.py PATH_TO_ZRPKT [MEGABYTES] (default 50)
Run it on the release build: build/release/tools/zrpkt/zrpkt.
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

zrpkt = sys.argv[1]
megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 50
corpus = pathlib.Path(__file__).resolve().parent.parent / "tests" / "corpus"
packets = [p.read_bytes() for p in sorted(corpus.glob("*.default-command.bin"))]
plain = [p for p in packets if p[16] == 0]  # encryptType
streams = {"plain": b"".join(plain), "mixed": b"".join(packets)}


def run(args, path):
    """Seconds and peak MB of one run, its output thrown away."""
    with open(path, "rb") as stdin, open(os.devnull, "wb") as stdout:
        start = time.perf_counter()
        child = subprocess.Popen([zrpkt, *args], stdin=stdin, stdout=stdout)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"zrpkt {' '.join(args)}: status {status}")
    return seconds, usage.ru_maxrss / 1024


print(f"zrpkt decode of {megabytes} MB piped in, output to /dev/null")
with tempfile.TemporaryDirectory() as work:
    for name, unit in streams.items():
        path = pathlib.Path(work) / f"{name}.bin"
        count = megabytes * 1_000_000 // len(unit) + 1
        # Written in blocks: this process's own size is where the child's peak starts from.
        with open(path, "wb") as out:
            for done in range(0, count, 1000):
                out.write(unit * min(1000, count - done))
        size = path.stat().st_size / 1e6
        kinds = len(plain) if name == "plain" else len(packets)
        for form in (["decode"], ["decode", "--array"]):
            seconds, peak = run(form, path)
            print(f"  {name:5}  {' '.join(form):14}  {size / seconds:6.1f} MB/s  peak {peak:5.1f} MB  "
                  f"({size:.0f} MB, {count * kinds} packets of {kinds} classes, {seconds:.2f} s)")

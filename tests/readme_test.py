"""The README as a reader uses it: its sections there, its code compiled, its
shell examples run with the output it shows.

How to add to the README (any section, the relay's and net's included):
- A new section that must not get lost goes into SECTIONS below.
- A C++ example is a quote: write it in a file under examples/ (or another
  directory of QUOTED that CI compiles, such as a component's own examples/)
  and paste a run of its whole lines into a ```cpp block; the indentation the
  lines share in the file may be dropped. A ```cmake block quotes the
  installed package's consumer, which the install test builds.
- A ```sh block runs, in order with the others, from the root of a scratch
  copy of the clone in which build/demo is the build under test; its NAME=...
  lines carry over to later blocks. Followed by an output block (``` or
  ```json, only blank lines between), it must print that output, standard
  output and error together, line for line: a line "..." stands for any
  number of lines, "..." within a line for any text (blank lines at the end
  aside). Without one, it must exit 0. Blocks that run tshark run where it
  is installed. The line before a block that cannot run here says why:
  <!-- not run: needs a running backend -->
usage: readme_test.py SOURCE_DIR BUILD_DIR
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

SECTIONS = ["Quick start", "Using it", "Inspector", "Relay", "Network client and server", "Install", "Wireshark",
            "Wire format at a glance", "Speed", "Layout"]
QUOTED = {"cpp": ["examples", "net/examples"], "cmake": ["tests/install/consumer", "tests/install/consumer_net"]}
OUTPUT_LANGUAGES = {"", "json", "text"}
# What the machine adds that no reader's output holds: tshark run as root.
NOISE = re.compile(r'^Running as user "root" and group "root"\. This could be dangerous\.$')
ASSIGNMENT = re.compile(r"^(export )?[A-Za-z_][A-Za-z0-9_]*=")

source, build = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()
failures = []


BLOCK = re.compile(r"^(?:<!-- not run: ([^\n]*) -->\n)?```(\w*)\n(.*?)^```$", re.M | re.S)


def blocks(text):
    """Each fenced block: (line number, language, lines, why it is not run or None, whether only blank lines
    part it from the block before)."""
    found, since = [], 0
    for m in BLOCK.finditer(text):
        adjacent = not text[since:m.start()].strip()
        found.append((text.count("\n", 0, m.start()) + 1, m.group(2), m.group(3).split("\n")[:-1], m.group(1),
                      adjacent))
        since = m.end()
    return found


def is_quote(block, files):
    """Whether the lines are a run of whole lines of one of the files, their shared indentation aside."""
    for path in files:
        text = path.read_text(errors="replace").split("\n")
        for at in range(len(text) - len(block) + 1):
            run = text[at:at + len(block)]
            indent = min((len(l) - len(l.lstrip(" ")) for l in run if l.strip()), default=0)
            if [l[indent:] for l in run] == block:
                return True
    return False


def output_pattern(shown):
    parts = []
    for line in shown:
        if line == "...":
            parts.append(r"(?:[^\n]*\n)*")
        else:
            parts.append(r"[^\n]*".join(re.escape(piece) for piece in line.split("...")) + r"\n")
    return re.compile("".join(parts))


def scratch_root(work):
    root = work / "root"
    root.mkdir()
    for entry in source.iterdir():
        if entry.name not in ("build", ".git"):
            (root / entry.name).symlink_to(entry)
    (root / "build").mkdir()
    (root / "build" / "demo").symlink_to(build)
    return root


readme = (source / "README.md").read_text()
headings = re.findall(r"^## (.+)$", readme, re.M)
for section in SECTIONS:
    if section not in headings:
        failures.append(f"README.md has no section '## {section}'")

found = blocks(readme)
runs = 0
with tempfile.TemporaryDirectory() as temporary:
    work = pathlib.Path(temporary)
    root = scratch_root(work)
    env = {k: v for k, v in os.environ.items() if not k.startswith("LUA_")}
    env["HOME"] = str(work / "home")
    (work / "home").mkdir()
    carried = []
    if os.environ.get("ZRPACKET_PRELOAD"):  # a sanitizer build's codec module, loaded by tshark alone
        carried.append('tshark() { LD_PRELOAD="$ZRPACKET_PRELOAD" ASAN_OPTIONS=detect_leaks=0 command tshark "$@"; }')
    for index, (line, language, body, not_run, _) in enumerate(found):
        where = f"README.md line {line}"
        if language in QUOTED:
            files = [p for d in QUOTED[language] for p in sorted((source / d).rglob("*")) if p.is_file()]
            if not is_quote(body, files):
                failures.append(f"{where}: this {language} block is no run of lines of a file under "
                                f"{', '.join(QUOTED[language])}")
            continue
        if language != "sh" or not_run is not None or ("tshark" in "\n".join(body) and not shutil.which("tshark")):
            continue
        following = found[index + 1] if index + 1 < len(found) else None
        shown = following[2] if following and following[1] in OUTPUT_LANGUAGES and following[4] else None
        script = "\n".join(carried + body) + "\n"
        run = subprocess.run(["bash", "-o", "pipefail"] + ([] if shown is not None else ["-e"]), input=script,
                             cwd=root, env=env, text=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=120)
        runs += 1
        output = "".join(l + "\n" for l in run.stdout.rstrip("\n").split("\n") if not NOISE.match(l))
        if shown is None and run.returncode != 0:
            failures.append(f"{where}: exit status {run.returncode}:\n{output}")
        elif shown is not None and not output_pattern(shown).fullmatch(output):
            failures.append(f"{where}: printed\n{output}instead of\n" + "\n".join(shown))
        carried += [l for l in body if ASSIGNMENT.match(l)]

    # The capture the examples read is what its generator writes.
    made = work / "capture.pcap"
    subprocess.run([build / "examples" / "zrpacket_make_capture", made], check=True)
    if made.read_bytes() != (source / "examples" / "capture.pcap").read_bytes():
        failures.append("examples/capture.pcap is not what zrpacket_make_capture writes: run "
                        "build/<preset>/examples/zrpacket_make_capture examples/capture.pcap")

for failure in failures:
    print("FAIL", failure)
if not failures:
    quotes = sum(1 for b in found if b[1] in QUOTED)
    print(f"README.md: {len(SECTIONS)} sections, {quotes} quoted examples, {runs} shell examples run")
sys.exit(1 if failures else 0)

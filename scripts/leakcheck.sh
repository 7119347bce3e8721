#!/usr/bin/env bash
# Leak check of the off-screen renderer under valgrind: the shipped pack, a real
# picture as the background, FRAMES frames (600). Fails when a definitely-lost
# block was allocated through our code; blocks lost inside Mesa, LLVM, GLib, the
# loader and other libraries are listed apart and do not fail the run.
#
#   scripts/leakcheck.sh [build-dir]       (default build/perf/rwdi; RelWithDebInfo)
#   FRAMES=1 scripts/leakcheck.sh           (start-up and shut-down only, for comparison)
#   PICTURE=file.jpg scripts/leakcheck.sh   (default: a generated 1600x900 JPEG, else fallback.png)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/perf/rwdi}
[[ $build = /* ]] || build=$root/$build
frames=${FRAMES:-600}
size=${SIZE:-640x360}
program=$build/bin/ambrel
[[ -x $program ]] || { echo "leakcheck: no $program; build the ambrel target first" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "leakcheck: valgrind is not installed" >&2; exit 2; }

work=$(mktemp -d /tmp/ambrel-leakcheck-XXXXXX)
picture=${PICTURE:-}
if [[ -z $picture ]]; then
  if command -v convert >/dev/null && convert -size 1600x900 plasma:fractal -quality 90 "$work/picture.jpg" 2>/dev/null; then
    picture=$work/picture.jpg
  else
    picture=$build/share/ambrel/fallback.png
  fi
fi
log=${LOG:-$work/valgrind.log}

echo "leakcheck: $frames frames of $size over $picture; valgrind log $log"
start=$(date +%s)
status=0
valgrind --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite,indirect,possible \
  --num-callers=40 --fullpath-after="$root/" --log-file="$log" \
  "$program" --render --frames "$frames" --size "$size" --background "$picture" --seed 1 \
  --output "$work/last.png" || status=$?
echo "leakcheck: valgrind took $(($(date +%s) - start)) s; the program exited with $status"
[[ $status -eq 0 ]] || { echo "leakcheck: the render failed" >&2; exit 1; }

# A record is ours when its allocation stack passes through a source file of this
# tree (a library object we were handed and never released counts as ours too);
# the rest were lost inside the libraries on their own.
python3 - "$log" <<'EOF'
import re, sys

import collections
allocator = re.compile(r"vgpreload|rtld-malloc|strdup|libc\.so|libstdc\+\+")
ours = re.compile(r"\((?:support|water|image|scene|host|platform|tools)/[^:()]+:\d+\)")
text = open(sys.argv[1]).read()
summary = {k: re.search(r"%s: ([\d,]+) bytes in ([\d,]+) blocks" % k, text) for k in
           ("definitely lost", "indirectly lost", "possibly lost", "still reachable")}
records = re.split(r"\n==\d+== \n", text)
lost = {"definitely": [[], []], "possibly": [[], []], "indirectly": [[], []]}
allocated_in = {"definitely": collections.Counter(), "possibly": collections.Counter(), "indirectly": collections.Counter()}
for record in records:
    m = re.search(r"([\d,]+) (?:\(([\d,]+) direct, [\d,]+ indirect\) )?bytes in ([\d,]+) blocks are (definitely|possibly|indirectly) lost", record)
    if not m:
        continue
    size = int((m.group(2) or m.group(1)).replace(",", ""))
    frames = [l.split(": ", 1)[1] for l in record.splitlines() if re.search(r"(at|by) 0x[0-9A-F]+: ", l)]
    mine = any(ours.search(f) for f in frames)
    first = next((f for f in frames if not allocator.search(f)), "?")
    where = re.search(r"\(in ([^)]*)\)", first)
    allocated_in[m.group(4)][where.group(1).rsplit("/", 1)[-1] if where else first.split(" (")[0]] += size
    lost[m.group(4)][0 if mine else 1].append((size, record))

def tally(entries):
    return "%d bytes in %d records" % (sum(s for s, _ in entries), len(entries))

for kind in ("definitely", "indirectly", "possibly"):
    m = summary["%s lost" % kind]
    print("%-11s lost: %s bytes in %s blocks (total); stacks through our code: %s; library-only: %s" %
          (kind, m.group(1) if m else "?", m.group(2) if m else "?", tally(lost[kind][0]), tally(lost[kind][1])))
    if allocated_in[kind]:
        print("    allocated in: " + ", ".join("%s %d bytes" % kv for kv in allocated_in[kind].most_common(6)))
m = summary["still reachable"]
print("still reachable: %s bytes in %s blocks" % (m.group(1), m.group(2)) if m else "still reachable: ?")
for size, record in lost["definitely"][1]:
    frames = [l for l in record.splitlines() if re.search(r"(at|by) 0x", l)][:8]
    print("library leak (not ours):\n  " + "\n  ".join(l.split("== ", 1)[-1] for l in frames))
if lost["definitely"][0]:
    for size, record in lost["definitely"][0]:
        print("OUR LEAK:\n" + record)
    sys.exit(1)
print("leakcheck: no definitely-lost block from our code")
EOF

#!/bin/bash
# The Python and R scripts of docs/outputs.md (section 8.8), taken from the
# document itself so that it cannot drift from what is tested, run on a fresh
# run of the bundled example; each must draw its fan chart into a valid PNG
# that shows more than a blank page. A language whose interpreter or packages
# are missing is skipped with a message (exit status 77 when any was
# skipped and none failed). Usage: snippets_test.sh SOURCE_DIR path/to/tacsim
set -uo pipefail
src=$(cd "$1" && pwd)
exe=$(realpath "$2")
doc=$src/docs/outputs.md
work=$(mktemp -d "${TMPDIR:-/tmp}/tacsim-snippets-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
skipped=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
skip() { echo "SKIPPED: $*"; skipped=$((skipped + 1)); }

# The fenced blocks of one language in the section on fan charts.
extract() {  # language, output file; prints the number of blocks found
  awk -v lang="$1" -v out="$2" '
    /^### / { in_section = ($0 ~ /^### 8\.8 /) }
    in_section && $0 == "```" lang { grab = 1; n++; next }
    grab && $0 == "```" { grab = 0; next }
    grab { print > out }
    END { print n + 0 }' "$doc"
}

# A PNG that a viewer opens: the signature, every chunk's CRC, the header,
# image data that inflates to the size the header gives, the end chunk; and
# a picture, not an empty page: several colours and no colour on more than
# 97 % of the pixels.
check_png() {  # python interpreter, file
  "$1" - "$2" <<'PY'
import struct, sys, zlib
from collections import Counter
name = sys.argv[1]
data = open(name, "rb").read()
def bad(why):
    print(f"{name}: {why}"); sys.exit(1)
if data[:8] != b"\x89PNG\r\n\x1a\n":
    bad("no PNG signature")
pos, chunks = 8, []
while pos < len(data):
    if pos + 12 > len(data):
        bad("truncated chunk")
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    if pos + 12 + n > len(data):
        bad(f"chunk {kind!r} truncated")
    body = data[pos + 8:pos + 8 + n]
    (crc,) = struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])
    if zlib.crc32(kind + body) != crc:
        bad(f"chunk {kind!r} damaged")
    chunks.append((kind, body))
    pos += 12 + n
if not chunks or chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
    bad("no header or no end chunk")
w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(ctype)
if depth != 8 or channels is None or interlace:
    bad(f"unexpected pixel format: depth {depth}, colour type {ctype}, interlace {interlace}")
if w < 300 or h < 200:
    bad(f"too small for a chart: {w} x {h}")
raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
stride = w * channels
if len(raw) != h * (stride + 1):
    bad(f"image data of {len(raw)} bytes, not {h * (stride + 1)}")
# Undo the scanline filters, then count the colours.
prev, pixels = bytearray(stride), Counter()
for y in range(h):
    f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - channels] if i >= channels else 0
        b, c = prev[i], prev[i - channels] if i >= channels else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        elif f != 0: bad(f"unknown filter {f} in row {y}")
    pixels.update(bytes(line[i:i + channels]) for i in range(0, stride, channels))
    prev = line
top = pixels.most_common(1)[0][1] / (w * h)
if len(pixels) < 5 or top > 0.97:
    bad(f"nearly blank: {len(pixels)} colours, the commonest on {100 * top:.1f} % of the pixels")
print(f"{name}: {w} x {h}, {len(pixels)} colours, background {100 * top:.1f} %")
PY
}

# The scripts, before anything runs: a document without them fails.
[ "$(extract python "$work/fan.py")" = 1 ] || fail "docs/outputs.md section 8.8 should hold one python block"
[ "$(extract r "$work/fan.R")" = 1 ] || fail "docs/outputs.md section 8.8 should hold one r block"
[ $failures -eq 0 ] || exit 1
png_of() { grep -o '"fan[^"]*\.png"' "$1" | tr -d '"'; }
py_png=$(png_of "$work/fan.py")
r_png=$(png_of "$work/fan.R")
[ -n "$py_png" ] && [ -n "$r_png" ] || { fail "a script names no fan*.png file"; exit 1; }

# A Python with Debian's pandas and matplotlib: the one on PATH, else the
# system's own (a private Python on PATH may lack them).
python=
for p in "$(command -v python3)" /usr/bin/python3; do
  [ -n "$p" ] && [ -x "$p" ] && "$p" -c 'import pandas, matplotlib' 2>/dev/null && { python=$p; break; }
done
checker=$python
[ -n "$checker" ] || checker=$(command -v python3 || true)

mkdir "$work/run"
if ! "$exe" "$src/examples" -o "$work/run" --csv -q > "$work/stdout.txt" 2> "$work/stderr.txt"; then
  fail "the example run failed:"; cat "$work/stderr.txt"; exit 1
fi

if [ -z "$python" ]; then
  skip "Python: no python3 with pandas and matplotlib (Debian: python3-pandas python3-matplotlib; bash tools/setup.sh test)"
else
  if (cd "$work/run" && MPLBACKEND=Agg MPLCONFIGDIR="$work/mpl" "$python" "$work/fan.py") > "$work/py.log" 2>&1; then
    check_png "$checker" "$work/run/$py_png" || fail "the Python script's PNG"
  else
    fail "the Python script of docs/outputs.md failed:"; cat "$work/py.log"
  fi
fi

if ! command -v Rscript > /dev/null; then
  skip "R: no Rscript (Debian: r-base-core; bash tools/setup.sh test)"
elif [ -z "$checker" ]; then
  skip "R: no python3 to check the PNG with"
else
  if (cd "$work/run" && Rscript --vanilla "$work/fan.R") > "$work/r.log" 2>&1; then
    check_png "$checker" "$work/run/$r_png" || fail "the R script's PNG"
  else
    fail "the R script of docs/outputs.md failed:"; cat "$work/r.log"
  fi
fi

if [ -n "${TACSIM_KEEP_PNG:-}" ]; then cp "$work/run"/fan*.png "$TACSIM_KEEP_PNG"/ 2>/dev/null; fi
[ $failures -eq 0 ] || exit 1
[ $skipped -eq 0 ] || exit 77
echo "Both scripts of docs/outputs.md drew their fan charts."

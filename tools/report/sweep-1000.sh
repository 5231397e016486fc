#!/bin/bash
# A report of 1000 option sets, timed: runs the bundled example with ten
# Target values (only the tables written) with --report, repeats its tables
# a hundred times as sets with other Btrig1 and Percent values, then times
# `tacsim report` and the page in headless Chromium.
#   tools/report/sweep-1000.sh BUILD/tacsim [WORK_DIR]
set -euo pipefail
tacsim=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(dirname "$tacsim")
work=${2:-$(mktemp -d)}
mkdir -p "$work/ten" "$work/k1000"
cp "$root/examples/bio.inn" "$work/ten/"
python3 - "$root/examples/opt.inn" "$work/ten/opt.inn" <<'PY'
import re, sys
s = open(sys.argv[1]).read()
s = s.replace("0.30 0.50 0.10\n", "0.10 1.00 0.10\n", 1)   # Target: ten values
s = re.sub(r"\n(1[1-9]|2[0-7]) 1\b", r"\n\1 0", s)         # every legacy file off
open(sys.argv[2], "w").write(s)
PY
(cd "$work/ten" && "$tacsim" --report -q > /dev/null)
python3 - "$work/ten" "$work/k1000" <<'PY'
import csv, shutil, sys
src, dst = sys.argv[1], sys.argv[2]
rows = lambda n: list(csv.reader(open(f"{src}/{n}")))
def write(n, rs):
    with open(f"{dst}/{n}", "w", newline="") as f:
        csv.writer(f, lineterminator="\n").writerows(rs)
sets = rows("sets.csv"); h = sets[0]; b1, pc = h.index("Btrig1"), h.index("Percent")
out, origin = [h], {}
for k in range(100):
    for r in sets[1:]:
        r2 = list(r); r2[0] = str(len(out)); r2[b1] = str(200 + 50 * (k // 10)); r2[pc] = str(5 * (k % 10))
        origin[len(out)] = r[0]; out.append(r2)
write("sets.csv", out)
for n in ("yearly.csv", "summary.csv", "sample_iterations.csv"):
    t = rows(n); by = {}
    for r in t[1:]: by.setdefault(r[0], []).append(r)
    write(n, [t[0]] + [[str(s)] + r[1:] for s in range(1, len(out)) for r in by[origin[s]]])
for n in ("perrecruit.csv", "refpoints.csv", "run.json"):
    shutil.copy(f"{src}/{n}", f"{dst}/{n}")
PY
cd "$work/k1000"
/usr/bin/time -f "tacsim report: %e s wall, %U s user, %S s system, %M KB" "$tacsim" report .
ls -l report.html | awk '{printf "report.html: %.1f MB\n", $5 / 1e6}'
node "$root/tests/report/check_report.cjs" "$build/report-npm/node_modules" report.html screenshot.png
echo "tables and report in $work/k1000"

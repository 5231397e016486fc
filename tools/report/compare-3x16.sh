#!/bin/bash
# The page comparing three runs of 16 option sets, timed: runs the bundled
# example's stock under rules 1, 2 and 7 (examples/compare/RULE/opt.inn, each
# sixteen target Fs) with --report, then times `tacsim report RUN1 RUN2 RUN3
# -o DIR` and the page in headless Chromium, holding every plotted value
# against the tables of its run (tests/report/check_report.cjs). The
# screenshot is WORK_DIR/compare.png (docs/report-compare.png).
#   tools/report/compare-3x16.sh BUILD/tacsim [WORK_DIR]
set -euo pipefail
tacsim=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(dirname "$tacsim")
work=$(realpath -m "${2:-$(mktemp -d)}")
runs=()
for rule in rule1 rule2 rule7; do
  rm -rf "${work:?}/$rule" && mkdir -p "$work/$rule"
  cp "$root/examples/bio.inn" "$root/examples/compare/$rule/opt.inn" "$work/$rule/"
  /usr/bin/time -f "tacsim --report ($rule, 16 sets): %e s wall" "$tacsim" "$work/$rule" --report -q > /dev/null
  runs+=("$work/$rule")
done
rm -rf "$work/compare"
/usr/bin/time -f "tacsim report (3 runs): %e s wall, %U s user, %S s system, %M KB" \
  "$tacsim" report "${runs[@]}" --label "rule 1" --label "rule 2" --label "rule 7" -o "$work/compare"
ls -l "$work/compare/report.html" | awk '{printf "report.html: %.2f MB\n", $5 / 1e6}'
node "$root/tests/report/check_report.cjs" "$build/report-npm/node_modules" "$work/compare/report.html" \
  "$work/compare.png" --timing "${runs[@]}"
echo "runs and page in $work"

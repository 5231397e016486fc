#!/bin/bash
# The bundled example's report in a real browser: runs the example with
# --report into BUILD/report-example, tunes its target F there, then opens
# report.html in headless Chromium with the network cut off
# (check_report.cjs). Then a second run beside it, of other years (another
# first year, so another stock as the inputs go) under rule 7, and the page
# comparing the two runs (tacsim report RUN1 RUN2 -o DIR), checked against
# each run's tables. The screenshots stay in BUILD/report-screenshot.png and
# BUILD/report-compare-screenshot.png.
#   browser_check.sh SOURCE_DIR BUILD_DIR TACSIM
set -euo pipefail
src=$1 build=$2 tacsim=$3
work=$build/report-example other=$build/report-example-rule7 cmp=$build/report-compare
rm -rf "$work" "$other" "$cmp" && mkdir -p "$work" "$other"
cp "$src"/examples/*.inn "$work"/
(cd "$work" && "$tacsim" --report -q > stdout.txt 2> stderr.txt) || {
  echo "tacsim --report failed:"; cat "$work/stderr.txt"; exit 1; }
# A tuning of the target F beside it (a few sets), and the page drawn again.
(cd "$work" && "$tacsim" tune --option Target --risk 0.5% --tolerance 0.05 -q . > tune.txt 2> stderr.txt &&
  "$tacsim" report . 2> stderr.txt) || { echo "tacsim tune or report failed:"; cat "$work/stderr.txt"; exit 1; }
node "$src/tests/report/check_report.cjs" "$build/report-npm/node_modules" "$work/report.html" \
  "$build/report-screenshot.png"

# Rule 7 (a straight line from Alfa2 at Btrig1 to the Target at Btrig2 = 800),
# from 2030, with the target F swept from 0.2 by 0.15 (in float arithmetic
# 0.35000002, which the page shows as 0.35).
sed 's/^2024$/2030/' "$src/examples/bio.inn" > "$other/bio.inn"
sed -e 's/^1 1$/7 1/' -e 's/^10000 10000 0$/800 800 0/' -e 's/^0.30 0.50 0.10$/0.2 0.5 0.15/' \
    -e '/^# Alfa2/{n;s/^0 0 0$/0.1 0.1 0/}' "$src/examples/opt.inn" > "$other/opt.inn"
(cd "$other" && "$tacsim" --report -q > stdout.txt 2> stderr.txt) || {
  echo "tacsim --report (rule 7) failed:"; cat "$other/stderr.txt"; exit 1; }
"$tacsim" report "$work" "$other" --label "rule 1" --label "rule 7" -o "$cmp" 2> "$build/report-compare-stderr.txt" || {
  echo "tacsim report RUN1 RUN2 -o failed:"; cat "$build/report-compare-stderr.txt"; exit 1; }
grep -q "The runs are of 2 different stocks" "$cmp/report.html" || {
  echo "FAIL the comparison page does not say that the runs are of different stocks"; exit 1; }
echo "ok   the comparison page says that the runs are of different stocks"
node "$src/tests/report/check_report.cjs" "$build/report-npm/node_modules" "$cmp/report.html" \
  "$build/report-compare-screenshot.png" "$work" "$other"

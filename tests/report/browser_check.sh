#!/bin/bash
# The bundled example's report in a real browser: runs the example with
# --report into BUILD/report-example, tunes its target F there, then opens
# report.html in headless
# Chromium with the network cut off (check_report.cjs). The screenshot stays
# in BUILD/report-screenshot.png.
#   browser_check.sh SOURCE_DIR BUILD_DIR TACSIM
set -euo pipefail
src=$1 build=$2 tacsim=$3
work=$build/report-example
rm -rf "$work" && mkdir -p "$work"
cp "$src"/examples/* "$work"/
(cd "$work" && "$tacsim" --report -q > stdout.txt 2> stderr.txt) || {
  echo "tacsim --report failed:"; cat "$work/stderr.txt"; exit 1; }
# A tuning of the target F beside it (a few sets), and the page drawn again.
(cd "$work" && "$tacsim" tune --option Target --risk 0.5% --tolerance 0.05 -q . > tune.txt 2> stderr.txt &&
  "$tacsim" report . 2> stderr.txt) || { echo "tacsim tune or report failed:"; cat "$work/stderr.txt"; exit 1; }
node "$src/tests/report/check_report.cjs" "$build/report-npm/node_modules" "$work/report.html" \
  "$build/report-screenshot.png"

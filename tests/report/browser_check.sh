#!/bin/bash
# The bundled example's report in a real browser: runs the example with
# --report into BUILD/report-example, then opens report.html in headless
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
node "$src/tests/report/check_report.cjs" "$build/report-npm/node_modules" "$work/report.html" \
  "$build/report-screenshot.png"

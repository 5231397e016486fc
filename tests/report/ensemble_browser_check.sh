#!/bin/bash
# An ensemble's page in a real browser: two reference models and a
# robustness model of the worked example (two option sets each) run with
# --report into BUILD/report-ensemble, then report.html opened in headless
# Chromium with the network cut off and held against the ensemble's tables
# (check_ensemble.cjs); then drawn again by `tacsim report OUT` at another
# risk limit and checked again. The screenshot stays in BUILD/report-ensemble.
#   ensemble_browser_check.sh SOURCE_DIR BUILD_DIR TACSIM
set -euo pipefail
src=$1 build=$2 tacsim=$3
work=$build/report-ensemble-inputs out=$build/report-ensemble
rm -rf "$work" "$out" && mkdir -p "$work"
for m in m015 m025 failure; do
  cp -r "$src/examples/ensemble/$m" "$work/"
  sed -i '33s/.*/0.3 0.5 0.2/' "$work/$m/opt.inn"  # two target F values
done
printf 'name,folder,weight,set\nm015,m015,1,reference\nm025,m025,2,reference\nfailure,failure,,robustness\n' \
  > "$work/ensemble.csv"
"$tacsim" ensemble "$work/ensemble.csv" -o "$out" --report --risk-limit 1% -q -j 2 > "$out.stdout" 2> "$out.stderr" || {
  echo "tacsim ensemble --report failed:"; cat "$out.stderr"; exit 1; }
node "$src/tests/report/check_ensemble.cjs" "$build/report-npm/node_modules" "$out" 1
# The page drawn again by `tacsim report OUT` at another limit: another answer.
"$tacsim" report "$out" --risk-limit 3% 2> "$out.stderr" || { echo "tacsim report OUT failed:"; cat "$out.stderr"; exit 1; }
node "$src/tests/report/check_ensemble.cjs" "$build/report-npm/node_modules" "$out" 3

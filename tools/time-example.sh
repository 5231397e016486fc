#!/bin/bash
# Median wall time of the bundled example, per option set, over several runs.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/tacsim}")
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/*.inn "$work/"
for extra in examples/srspec examples/nin.*; do [ -e "$extra" ] && cp "$extra" "$work/"; done
times=()
for i in $(seq "$runs"); do
  s=$(date +%s.%N)
  (cd "$work" && "$exe" > stdout.txt)
  e=$(date +%s.%N)
  times+=("$(awk -v a="$s" -v b="$e" 'BEGIN{printf "%.4f", b-a}')")
done
sets=$(grep -c 'All years: Cmean' "$work/stdout.txt" || true)
[ "$sets" -gt 0 ] || sets=1
median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
awk -v m="$median" -v r="$runs" -v n="$sets" -v c="$(nproc)" 'BEGIN {
  printf "bundled example: median wall time %.3f s over %d runs, %d option set(s): %.3f s per option set (%d cores)\n", m, r, n, m / n, c }'

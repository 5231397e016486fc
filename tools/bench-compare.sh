#!/bin/bash
# Side-by-side speed of a given commit and the working tree.
#
#   tools/bench-compare.sh REV [RUNS]
#   NEW=REV2 tools/bench-compare.sh REV [RUNS]
#
# Builds REV (exported with git archive into a temporary folder) and the
# working tree (build folder build-bench) or, with NEW set, the commit REV2
# (exported in the same way), both Release with g++, then runs
# the bundled example and the reference runs "full" and "rules" with the two
# programs alternately, RUNS times each (default 5). Prints, per case, the
# median CPU time (user + system) and the median wall time per option set of
# each program and their ratio, and checks that both wrote the same bytes.
# Each program runs on one thread.
# CPU time is the figure to quote: the wall time also counts the waits for a
# machine shared with other work.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rev=${1:?usage: tools/bench-compare.sh REV [RUNS]}
runs=${2:-5}
[ "$runs" -ge 1 ] || { echo "bench-compare: RUNS must be at least 1" >&2; exit 2; }
hash=$(git rev-parse --verify "$rev^{commit}")
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {  # source dir, build dir
  cmake -S "$1" -B "$2" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTACSIM_TESTS=OFF -DTACSIM_BENCH=OFF >/dev/null
  cmake --build "$2" --target tacsim -j 2 >/dev/null
}

export_build() {  # commit, folder name
  mkdir "$work/$2"
  git archive "$1" | tar -x -C "$work/$2"
  build "$work/$2" "$work/$2-build"
}
newname="working tree"
if [ -n "${NEW:-}" ]; then
  newhash=$(git rev-parse --verify "$NEW^{commit}")
  newname="$NEW (${newhash:0:10})"
fi
echo "bench-compare: building $rev (${hash:0:10}) and $newname" >&2
export_build "$hash" old
exe_old="$work/old-build/tacsim"
if [ -n "${NEW:-}" ]; then
  export_build "$newhash" new
  exe_new="$work/new-build/tacsim"
else
  build "$root" "$root/build-bench"
  exe_new="$root/build-bench/tacsim"
fi

# Both programs run on one thread: a program that can spread a sweep over
# cores is told --jobs 1, so the figures compare the engines, not the cores.
one_thread() {  # exe
  if "$1" --help 2>/dev/null | grep -q -- '--jobs'; then echo "--jobs 1"; fi
}

# One run in a fresh copy of the inputs; prints "wall cpu".
run_once() {  # exe, inputs dir, output dir
  rm -rf "$3"
  mkdir -p "$3"
  find "$2" -maxdepth 1 -type f -exec cp {} "$3/" \;
  local t args
  args=$(one_thread "$1")
  # shellcheck disable=SC2086  # args is empty or two words
  t=$( { TIMEFORMAT='%R %U %S'; time (cd "$3" && "$1" $args > stdout.txt 2> stderr.txt; echo $? > status); } 2>&1 )
  awk '{ printf "%.4f %.4f\n", $1, $2 + $3 }' <<< "$t"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

printf '%-8s %5s  %-22s %-22s %s\n' case sets "old cpu / wall (s/set)" "new cpu / wall (s/set)" "new/old cpu (wall)"
status=0
for c in examples tests/golden/data/full tests/golden/data/rules; do
  name=$(basename "$c")
  : > "$work/old.t"; : > "$work/new.t"
  for i in $(seq "$runs"); do
    run_once "$exe_old" "$root/$c" "$work/out-old" >> "$work/old.t"
    run_once "$exe_new" "$root/$c" "$work/out-new" >> "$work/new.t"
  done
  if ! diff -r -q "$work/out-old" "$work/out-new" >/dev/null; then
    echo "bench-compare: $name: the two programs wrote different bytes:" >&2
    diff -r -q "$work/out-old" "$work/out-new" >&2 || true
    status=1
  fi
  sets=$(grep -c 'All years: Cmean' "$work/out-new/stdout.txt" || true)
  [ "$sets" -gt 0 ] || sets=1
  ow=$(awk '{print $1}' "$work/old.t" | median); oc=$(awk '{print $2}' "$work/old.t" | median)
  nw=$(awk '{print $1}' "$work/new.t" | median); nc=$(awk '{print $2}' "$work/new.t" | median)
  awk -v c="$name" -v n="$sets" -v ow="$ow" -v oc="$oc" -v nw="$nw" -v nc="$nc" 'BEGIN {
    printf "%-8s %5d  %9.3f / %-9.3f   %9.3f / %-9.3f   %.3f (%.3f)\n", c, n, oc / n, ow / n, nc / n, nw / n,
      (oc > 0 ? nc / oc : 0), (ow > 0 ? nw / ow : 0) }'
done
echo "medians of $runs alternating runs; old = $rev (${hash:0:10}), new = $newname"
exit $status

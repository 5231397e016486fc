#!/bin/bash
# Runs every reference run on three threads and, when the program was built
# with MPI and mpirun is there, on three MPI processes, or as it is through
# an emulator (qemu-aarch64, wine), and compares every file, the standard
# output, the error stream and the exit status with the reference bytes.
# Usage: tools/golden-parallel.sh PATH/TO/tacsim [threads | mpi | with EMULATOR...]
set -euo pipefail
exe=$(realpath "$1")
mode=${2:-threads}
launcher=("${@:3}")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

check() {  # case, label, command...
  local case=$1 label=$2; shift 2
  local src="$root/tests/golden/data/$case" dir="$work/$case-$label"
  mkdir -p "$dir"
  find "$src" -maxdepth 1 -type f -exec cp {} "$dir" \;
  local status=0
  (cd "$dir" && "$@" > stdout.txt 2> stderr.txt) || status=$?
  if [ "$label" = mpi3 ]; then
    # mpirun adds its own notice, framed by lines of dashes, when a process
    # ends with a status other than 0; the program's own bytes are the rest.
    awk '/^----------+$/ { inside = !inside; next } !inside' "$dir/stderr.txt" > "$dir/stderr.own"
    mv "$dir/stderr.own" "$dir/stderr.txt"
  fi
  local want; want=$(head -n1 "$src/expected/status" | tr -d '\r')
  if [ "$status" != "$want" ]; then echo "$case ($label): exit status $status, expected $want"; fail=1; fi
  for f in "$src"/expected/*; do
    local name; name=$(basename "$f")
    [ "$name" = status ] && continue
    [ "$label" = jobs3 ] && [ "$name" != "${name#std}" ] && continue
    if ! cmp -s "$f" "$dir/$name"; then echo "$case ($label): $name differs"; fail=1; fi
  done
  # Given --jobs, the program runs with an argument: a stop's message moves
  # from standard output to the error stream, with LF line ends, and starts
  # with the file, line and record it stopped at ("bio.inn line 14 (...):").
  # Standard output is then the reference's up to that message, and the two
  # streams together, that start aside, read as the reference's.
  if [ "$label" = jobs3 ]; then
    local n; n=$(stat -c %s "$dir/stdout.txt")
    if ! cmp -s <(head -c "$n" "$src/expected/stdout.txt") "$dir/stdout.txt" \
       || ! cmp -s <(cat "$src/expected/stdout.txt" "$src/expected/stderr.txt" | tr -d '\r') \
                   <(cat "$dir/stdout.txt" "$dir/stderr.txt" | tr -d '\r' \
                     | perl -pe 's/^\S+ line \d+ \(.*?\)://'); then
      echo "$case ($label): stdout.txt or stderr.txt differs"; fail=1
    fi
  fi
}

for case in $(ls "$root/tests/golden/data"); do
  if [ "$mode" = mpi ]; then
    # As root, Open MPI wants to be told that this is meant.
    check "$case" mpi3 env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 \
      mpirun -n 3 --oversubscribe "$exe"
  elif [ "$mode" = with ]; then
    check "$case" "$(basename "${launcher[0]}")" "${launcher[@]}" "$exe"
  else
    check "$case" jobs3 "$exe" --jobs 3
  fi
done
[ $fail = 0 ] && echo "reference runs ($mode${launcher:+ ${launcher[*]}}): same bytes"
exit $fail

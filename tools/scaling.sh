#!/bin/bash
# Times the 16-set sweep of bench/sweep16 one after the other (--jobs 1), on
# two threads (--jobs 2) and on two MPI processes (mpirun -n 2 --jobs 1),
# REPS times each, interleaved, and checks that every run wrote the same
# bytes. Prints wall and CPU seconds and the peak memory of each run.
# Usage: tools/scaling.sh PATH/TO/tacsim [REPS]
set -euo pipefail
exe=$(realpath "$1")
reps=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

one() {  # label, command...
  local label=$1; shift
  local dir="$work/$label-$rep"
  mkdir -p "$dir" && cp "$root"/bench/sweep16/*.inn "$dir"
  (cd "$dir" && /usr/bin/time -f "%e %U %S %M" -o ../time-$label-$rep "$@" > stdout.txt 2> stderr.txt)
  read -r wall user sys mem < "$work/time-$label-$rep"
  printf "%-8s run %d: %6.2f s wall, %6.2f s CPU, %6d KB peak\n" "$label" "$rep" "$wall" \
    "$(echo "$user + $sys" | bc)" "$mem"
  if [ -d "$work/ref" ]; then
    diff -r -x 'time-*' "$work/ref" "$dir" > /dev/null || { echo "$label run $rep: bytes differ"; exit 1; }
  else
    cp -r "$dir" "$work/ref"
  fi
}

for rep in $(seq "$reps"); do
  one jobs1 "$exe" --jobs 1
  one jobs2 "$exe" --jobs 2
  if command -v mpirun > /dev/null; then
    one mpi2 env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun -n 2 "$exe" --jobs 1
  fi
done

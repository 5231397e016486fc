#!/bin/bash
# An ensemble of two reference models and a robustness model (one option
# set each): its pooled statistics recomputed from the models' iterations
# outside the program, then the same ensemble killed with SIGKILL at random
# moments and resumed each time with --resume, its files compared with the
# uninterrupted ensemble's byte for byte (run.json aside: it holds the times).
# With `mpi`, the ensemble is then run again on two MPI processes: the same
# files as on the threads.
# Usage: tests/driver/ensemble_check.sh PATH/TO/tacsim [kills] [mpi]
set -uo pipefail
exe=$(realpath "$1")
kills=${2:-1}
mode=${3:-threads}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
for m in m015 break260 failure; do
  cp -r "$root/examples/ensemble/$m" .
  sed -i '33s/.*/0.5 0.5 0/' "$m/opt.inn"  # one option set: target F 0.5
done
printf 'name,folder,weight,set\nm015,m015,1,reference\nbreak260,break260,3,reference\nfailure,failure,,robustness\n' > e.csv
run=("$exe" ensemble e.csv --iterations -j 2 -q)

start=$(date +%s.%N)
if ! "${run[@]}" -o ref > /dev/null 2> ref.err; then
  echo "the uninterrupted ensemble failed:"; cat ref.err; exit 1
fi
took=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
python3 "$root/tests/driver/ensemble_pooled.py" e.csv ref 220 || exit 1

killed=0
for _ in $(seq "$kills"); do
  setsid "${run[@]}" --resume -o out > /dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v r="$RANDOM" -v t="$took" 'BEGIN { printf "%.2f", 0.2 + r / 32767 * t * 0.7 }')"
  if kill -KILL -- "-$pid" 2> /dev/null; then killed=$((killed + 1)); fi
  wait "$pid" 2> /dev/null
done
if ! "${run[@]}" --resume -o out > /dev/null 2> out.err; then
  echo "the resumed ensemble failed:"; cat out.err; exit 1
fi
if ! diff -r -x run.json ref out; then
  echo "the resumed ensemble differs from the uninterrupted one ($killed kills)"; exit 1
fi
echo "resumed after $killed kills: the same files"
if [ "$mode" = mpi ]; then
  # As root, Open MPI wants to be told that this is meant.
  if ! env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun -n 2 --oversubscribe \
      "$exe" ensemble e.csv --iterations -j 1 -q -o mpi > /dev/null 2> mpi.err; then
    echo "the ensemble on two MPI processes failed:"; cat mpi.err; exit 1
  fi
  if ! diff -r -x run.json ref mpi; then echo "the ensemble on two MPI processes differs"; exit 1; fi
  echo "on two MPI processes: the same files"
fi

#!/bin/bash
# Kills runs with SIGKILL at random moments, several times in a row, resumes
# each time with --resume, and compares the files of the finished run with
# those of an uninterrupted run, byte for byte (run.json and report.html
# aside: they hold the time of the run). On the 16-set sweep of bench/sweep16
# with the tables, and on the reference run `full` with every file on.
# Usage: tools/resume-kill.sh PATH/TO/tacsim [threads|mpi] [kills]
set -uo pipefail
exe=$(realpath "$1")
mode=${2:-threads}
kills=${3:-4}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

if [ "$mode" = mpi ]; then
  # As root, Open MPI wants to be told that this is meant.
  launch=(env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun -n 2 --oversubscribe "$exe" --jobs 1)
else
  launch=("$exe" --jobs 2)
fi

check() {  # input folder, label, options...
  local src=$1 label=$2; shift 2
  local dir="$work/$label"
  mkdir -p "$dir"
  find "$src" -maxdepth 1 -type f -exec cp {} "$dir" \;
  local start; start=$(date +%s.%N)
  if ! (cd "$dir" && "${launch[@]}" -q "$@" -o ref > /dev/null 2>&1); then
    echo "$label: the uninterrupted run failed"; fail=1; return
  fi
  local took; took=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  local killed=0 also=""
  for _ in $(seq "$kills"); do
    # A session of its own, so that the kill reaches every process of it.
    (cd "$dir" && exec setsid "${launch[@]}" -q --resume "$@" -o out > /dev/null 2>&1) &
    local pid=$!
    sleep "$(awk -v r="$RANDOM" -v t="$took" 'BEGIN { printf "%.2f", 0.1 + r / 32767 * t * 0.6 }')"
    if kill -KILL -- "-$pid" 2> /dev/null; then killed=$((killed + 1)); fi
    wait "$pid" 2> /dev/null
    # Every process of the session gone (the lock of the folder with them).
    while kill -0 -- "-$pid" 2> /dev/null; do sleep 0.05; done
  done
  # Ended by SIGTERM, the whole session at once: the run alone (threads)
  # exits with 143 and one line says how far it came. Under MPI the signal
  # reaches mpirun and every process; never does more than one process say
  # so (Open MPI's mpirun, signalled itself, exits with 1 whatever its
  # processes return, and may end before the line of rank 0 has come through).
  (cd "$dir" && exec setsid "${launch[@]}" -q --resume "$@" -o out > /dev/null 2> "$dir/term.err") &
  local pid=$!
  sleep "$(awk -v t="$took" 'BEGIN { printf "%.2f", 0.5 + t * 0.3 }')"
  kill -TERM -- "-$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  local ended=$?
  while kill -0 -- "-$pid" 2> /dev/null; do sleep 0.05; done
  if [ "$ended" != 0 ]; then
    local lines; lines=$(grep -c "^Interrupted after [0-9]* of [0-9]* option sets$" "$dir/term.err")
    if [ "$lines" -gt 1 ] || { [ "$mode" = threads ] && { [ "$lines" != 1 ] || [ "$ended" != 143 ]; }; }; then
      echo "$label: ended by SIGTERM with status $ended and $lines lines that say so:"; head -n 5 "$dir/term.err"
      fail=1
    fi
    also="$also, one ended by SIGTERM"
  fi
  # A checkpoint that cannot be written (a folder in the way of its
  # temporary file) stops the run with exit status 1 and leaves the earlier
  # one usable.
  local cp="$dir/out/.tacsim-checkpoint"
  if [ -e "$cp" ] && [ "$label" = sweep16 ] && [ "$(sed -n 's/^sets //p' "$cp")" -lt 15 ]; then
    mkdir "$dir/out/..tacsim-checkpoint.part"
    local said; said=$(cd "$dir" && "${launch[@]}" -q --resume "$@" -o out 2>&1 > /dev/null)
    local stopped=$?
    rmdir "$dir/out/..tacsim-checkpoint.part"
    if [ $stopped != 1 ] || [[ "$said" != *"Cannot write the checkpoint"* ]]; then
      echo "$label: a checkpoint that cannot be written did not stop the run (status $stopped): $said"; fail=1
    fi
    also="$also, a write fault of the checkpoint"
  fi
  # A checkpoint of other inputs is refused, and stays usable.
  if [ -e "$dir/out/.tacsim-checkpoint" ]; then
    cp "$dir/opt.inn" "$dir/opt.keep"
    echo >> "$dir/opt.inn"
    local said; said=$(cd "$dir" && "${launch[@]}" -q --resume "$@" -o out 2>&1 > /dev/null)
    local refused=$?
    mv "$dir/opt.keep" "$dir/opt.inn"
    if [ $refused != 1 ] || [[ "$said" != *"the input file opt.inn has changed since"* ]]; then
      echo "$label: a checkpoint of other inputs was not refused (status $refused): $said"; fail=1
    fi
    also="$also, a checkpoint of other inputs refused"
  fi
  if ! (cd "$dir" && "${launch[@]}" -q --resume "$@" -o out > /dev/null 2> "$dir/last.err"); then
    echo "$label: the last resumed run failed:"; grep -v "^ *$" "$dir/last.err" | head -n 8; fail=1; return
  fi
  for f in "$dir"/ref/*; do
    local name; name=$(basename "$f")
    case "$name" in run.json|report.html) [ -e "$dir/out/$name" ] || { echo "$label: $name missing"; fail=1; }; continue ;; esac
    if ! cmp -s "$f" "$dir/out/$name"; then echo "$label: $name differs"; fail=1; fi
  done
  if [ -e "$dir/out/.tacsim-checkpoint" ] || [ -e "$dir/out/.tacsim-partial" ]; then
    echo "$label: the checkpoint or the staging folder is left"; fail=1
  fi
  echo "$label ($mode): $killed of $kills runs killed$also, then resumed to the end"
}

check "$root/bench/sweep16" sweep16 --csv
check "$root/tests/golden/data/full" full --iterations --report
[ $fail = 0 ] && echo "resumed runs ($mode): same bytes"
exit $fail

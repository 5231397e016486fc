#!/bin/bash
# Builds the reader fuzz targets (free-form reader, biological file, options
# file) with clang++, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-fuzz, and runs each for a bounded time on a scratch copy of its
# seed corpus and of the inputs that once failed (fuzz/findings/<target>).
# Prints the number of executions of each target and any crash. `make test`
# runs it for 20 s per target, `make fuzz` for longer.
#
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_TARGETS   which targets to run (default "listread bio opt")
#   FUZZ_JOBS      build jobs (default 2)
#
# A crashing input is kept as build-fuzz/findings/<target>/crash-*; once
# mended, copy it to fuzz/findings/<target>/ and add a test of it to
# tests/io/fuzz_regressions_test.cpp. The exit status is 1 when any target
# failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"listread bio opt"}
jobs=${FUZZ_JOBS:-2}
build=build-fuzz

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is needed" >&2
  exit 1
fi
if ! ls "$(clang++ -print-resource-dir)"/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
   && ! ls "$(clang++ -print-resource-dir)"/lib/*/libclang_rt.fuzzer*.a >/dev/null 2>&1; then
  echo "fuzz: the libFuzzer runtime is missing (Debian: apt-get install libclang-rt-14-dev)" >&2
  exit 1
fi

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 1
cmake --build "$build" -j "$jobs" >/dev/null || { cmake --build "$build" -j 1; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for t in $targets; do
  corpus="$scratch/$t"
  mkdir -p "$corpus" "$build/findings/$t"
  cp fuzz/corpus/"$t"/* "$corpus"/
  [ -d fuzz/findings/"$t" ] && cp fuzz/findings/"$t"/* "$corpus"/
  # The bundled example as it stands now (the corpus holds a copy as well).
  case $t in
    bio) [ -f examples/bio.inn ] && cp examples/bio.inn "$corpus/example.bio.inn" ;;
    opt) [ -f examples/opt.inn ] && cp examples/opt.inn "$corpus/example.opt.inn" ;;
  esac
  log="$root/$build/findings/$t/fuzz.log"
  (cd "$build/findings/$t" && "$root/$build/fuzz_$t" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=8192 -dict="$root/fuzz/readers.dict" -print_final_stats=1 "$corpus" >"$log" 2>&1)
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -z "$execs" ] && execs=$(grep -o '#[0-9]*' "$log" | tail -1 | tr -d '#')
  if [ $rc -eq 0 ]; then
    echo "fuzz_$t: ${execs:-?} executions in ${seconds} s, no crash"
  else
    status=1
    echo "fuzz_$t: FAILED after ${execs:-?} executions (exit $rc); log: $log"
    grep -E 'ERROR: |runtime error|SUMMARY|Test unit written|deadly signal|timeout' "$log" | head -20
  fi
done
exit $status

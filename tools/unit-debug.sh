#!/bin/bash
# The unit tests of the sanitizer build, split into gtest shards of which
# JOBS run side by side (one per core). There are several shards per core, so
# that the slow tests spread out; each shard's output is kept in its own log
# and shown in full when the shard fails.
#
#   tools/unit-debug.sh TESTBINARY [JOBS] [gtest filter]
set -uo pipefail
bin=${1:?usage: tools/unit-debug.sh TESTBINARY [JOBS] [FILTER]}
jobs=${2:-2}
filter=${3:-*}
shards=$((jobs * 6))
# Run in the build folder, as ctest does: some tests leave scratch files in
# the folder they run in.
cd "$(dirname "$bin")" && bin=./$(basename "$bin")
logs=$(mktemp -d "${TMPDIR:-/tmp}/tacsim-unit-debug-XXXXXX")
trap 'rm -rf "$logs"' EXIT
export bin filter shards logs
seq 0 $((shards - 1)) | xargs -P "$jobs" -I{} bash -c \
  'GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX={} "$bin" --gtest_brief=1 --gtest_filter="$filter" \
     > "$logs/shard{}.log" 2>&1; echo $? > "$logs/shard{}.status"'
status=0
tests=0
for ((i = 0; i < shards; i++)); do
  if [ "$(cat "$logs/shard$i.status" 2>/dev/null)" != 0 ]; then
    echo "unit tests (sanitizer build), shard $i of $shards failed:"
    cat "$logs/shard$i.log"
    status=1
  fi
  n=$(sed -n 's/^\[==========\] \([0-9]*\) tests.*/\1/p' "$logs/shard$i.log")
  tests=$((tests + ${n:-0}))
done
[ $status = 0 ] && echo "unit tests (sanitizer build): $tests tests in $shards shards passed"
exit $status

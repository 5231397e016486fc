#!/bin/bash
# Runs the bundled example with the program built by g++ -O2, clang++ -O2 and
# g++ -O0 (the Debug build with bounds checks, AddressSanitizer and
# UndefinedBehaviorSanitizer that `make test` already made), and checks that
# every output file and the standard output are identical.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {  # dir, compiler, build type, extra cmake flags
  local dir=$1 cxx=$2 type=$3; shift 3
  cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE="$type" \
        -DTACSIM_TESTS=OFF -DTACSIM_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" --target tacsim -j 2 >/dev/null
}

# The optimised and the sanitizer builds are those `make test` already made
# (configured the same way here when missing); the others are made here.
reuse() {  # dir, cmake flags...
  local dir=$1; shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "${gen[@]}" "$@" >/dev/null
  cmake --build "$dir" --target tacsim -j 2 >/dev/null
}
variants=()
reuse build -DCMAKE_BUILD_TYPE=Release;                                variants+=(build)
if command -v clang++ >/dev/null; then
  build build-cmp-clang-O2 clang++ Release;                            variants+=(build-cmp-clang-O2)
else
  echo "compare-builds: clang++ not found, skipping the clang build" >&2
fi
reuse build-debug -DCMAKE_BUILD_TYPE=Debug -DTACSIM_SANITIZE=ON -DTACSIM_BENCH=OFF; variants+=(build-debug)

for v in "${variants[@]}"; do
  mkdir -p "$work/$v"
  cp examples/*.inn "$work/$v/"
  for extra in examples/srspec examples/nin.*; do [ -e "$extra" ] && cp "$extra" "$work/$v/"; done
  (cd "$work/$v" && "$root/$v/tacsim" > stdout.txt 2> stderr.txt; echo $? > status)
done

ref=${variants[0]}
fail=0
for v in "${variants[@]:1}"; do
  if ! diff -r -q "$work/$ref" "$work/$v" >/dev/null; then
    echo "compare-builds: $v differs from $ref:"
    diff -r -q "$work/$ref" "$work/$v" || true
    fail=1
  fi
done
if [ $fail = 0 ]; then
  echo "compare-builds: identical output from ${variants[*]}"
fi
exit $fail

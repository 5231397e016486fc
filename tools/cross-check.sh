#!/bin/bash
# Cross-builds tacsim for another platform and runs every reference run with
# the result under an emulator, comparing files, standard output, error
# stream and exit status byte for byte with the reference.
#   tools/cross-check.sh arm HOST-BUILD-FOLDER
#     64-bit ARM Linux (Debian's aarch64 cross compiler, the arm64 libraries
#     through multiarch), run under qemu-aarch64: the unit tests of the math
#     functions and the vector code on each processor target qemu offers
#     (NEON, SVE, SVE2), then the reference runs.
#   tools/cross-check.sh windows HOST-BUILD-FOLDER
#     64-bit Windows (MinGW-w64), tacsim.exe run under Wine: the reference
#     runs.
# The cross build goes into HOST-BUILD-FOLDER/arm or /windows. Exits with 77
# (skipped) and says why when the toolchain is not installed (tools/setup.sh
# arm, tools/setup.sh windows).
set -uo pipefail
target=${1:?usage: cross-check.sh arm|windows HOST-BUILD-FOLDER}
host=$(realpath "${2:?usage: cross-check.sh arm|windows HOST-BUILD-FOLDER}")
root=$(cd "$(dirname "$0")/.." && pwd)
gen=$(command -v ninja >/dev/null && echo "-G Ninja")
launch=$(command -v ccache >/dev/null && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")

skip() { echo "skipped: $1 (tools/setup.sh $target installs it)"; exit 77; }

case $target in
  arm)
    command -v aarch64-linux-gnu-g++ >/dev/null || skip "no aarch64-linux-gnu-g++"
    command -v qemu-aarch64 >/dev/null || skip "no qemu-aarch64"
    [ -e /usr/lib/aarch64-linux-gnu/cmake/hwy/hwy-config.cmake ] || skip "no arm64 libraries"
    build=$host/arm
    mkdir -p "$build"
    # The report's plotting libraries are the host build's.
    [ -e "$build/report-npm" ] || ln -s ../report-npm "$build/report-npm"
    cmake -S "$root" -B "$build" $gen $launch -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" -DTACSIM_MPI=OFF -DTACSIM_BENCH=OFF >/dev/null \
      || { echo "configuring the ARM build failed"; exit 1; }
    cmake --build "$build" -j 2 --target tacsim tacsim_tests >"$build/build.log" 2>&1 \
      || { tail -n 20 "$build/build.log"; echo "the ARM build failed"; exit 1; }
    file "$build/tacsim" | grep -q aarch64 || { echo "$build/tacsim is not an ARM program"; exit 1; }
    fail=0
    # The library's own bits on every platform, and every vector target
    # against one value at a time: qemu's largest processor offers SVE2, SVE
    # and NEON, and the reference runs then take SVE2.
    (cd "$build" && QEMU_CPU=max qemu-aarch64 ./tacsim_tests \
       --gtest_filter='PowCos.*:ExpSp.EveryTarget*:CatchTerms.EveryTarget*' --gtest_brief=1) || fail=1
    QEMU_CPU=max bash "$root/tools/golden-parallel.sh" "$build/tacsim" with qemu-aarch64 || fail=1
    exit $fail
    ;;
  windows)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "no x86_64-w64-mingw32-g++-posix"
    [ -e /usr/x86_64-w64-mingw32/lib/libz.a ] || skip "no zlib for MinGW-w64"
    wine=/usr/lib/wine/wine64  # not the wrapper, which has its own say on the error stream
    [ -x $wine ] || skip "no Wine"
    # Every file of vector code needs its path without Highway first.
    unguarded=$(cd "$root" && grep -l 'hwy/foreach_target.h' -r src --include='*.cpp' | xargs grep -L TACSIM_HWY | tr '\n' ' ')
    [ -z "$unguarded" ] || { echo "skipped: no path without Highway yet in $unguarded"; exit 77; }
    build=$host/windows
    mkdir -p "$build"
    [ -e "$build/report-npm" ] || ln -s ../report-npm "$build/report-npm"
    cmake -S "$root" -B "$build" $gen $launch -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" >/dev/null \
      || { echo "configuring the Windows build failed"; exit 1; }
    cmake --build "$build" -j 2 --target tacsim >"$build/build.log" 2>&1 \
      || { tail -n 20 "$build/build.log"; echo "the Windows build failed"; exit 1; }
    # Wine's own folder in the build folder, made before the runs so that
    # nothing of its making lands on their error streams.
    export WINEPREFIX=$build/wine WINEDEBUG=-all
    [ -d "$WINEPREFIX" ] || $wine wineboot --init >/dev/null 2>&1
    bash "$root/tools/golden-parallel.sh" "$build/tacsim.exe" with $wine
    ;;
  *) echo "cross-check.sh: unknown target '$target' (arm, windows)"; exit 2 ;;
esac

#!/bin/bash
# Installs what tacsim needs and is missing; the only list of its packages.
#
#   tools/setup.sh [--build DIR] [GROUP...]
#
# GROUP is program (build and run the program; the default), test (what only
# the tests add), npm (the report's plotting libraries alone), or an optional
# cross toolchain: arm (64-bit ARM, run under qemu) or windows (MinGW-w64, run
# under Wine), or rdoc (roxygen2, to make the R package's help pages again), or ccache (quicker
# rebuilds for a developer). The Debian packages
# missing from the groups asked for are installed with one `apt-get update` and
# one non-interactive `apt-get install`, as root or through sudo; the group
# program also installs the report's npm packages, pinned by
# tools/report/package-lock.json, with `npm ci` into DIR/report-npm (DIR is
# build by default). Nothing is printed when all is present. When it cannot
# install, it prints the command a person should run and exits with status 1.
set -uo pipefail

# group    Debian package        present when (cmd:NAME is a command on PATH;
#                                 anything else a file, shell patterns allowed)
PACKAGES='
program    cmake                 cmd:cmake
program    ninja-build           cmd:ninja
program    g++                   cmd:g++
program    libcli11-dev          /usr/include/CLI/CLI.hpp
program    nlohmann-json3-dev    /usr/include/nlohmann/json.hpp
program    zlib1g-dev            /usr/include/zlib.h
program    libssl-dev            /usr/include/openssl/evp.h
program    libhwy-dev            /usr/include/hwy/highway.h
program    librandom123-dev      /usr/include/Random123/philox.h
program    libopenmpi-dev        /usr/lib/*/openmpi/include/mpi.h
program    openmpi-bin           cmd:mpirun
program    nodejs                cmd:node
program    npm                   cmd:npm
test       libgtest-dev          /usr/include/gtest/gtest.h
test       libbenchmark-dev      /usr/include/benchmark/benchmark.h
test       clang                 cmd:clang++
test       python3               cmd:python3
test       chromium              /usr/bin/chromium
test       help2man              cmd:help2man
test       python3-pandas        /usr/lib/python3/dist-packages/pandas/__init__.py
test       python3-matplotlib    /usr/lib/python3/dist-packages/matplotlib/__init__.py
test       r-base-core           cmd:Rscript
test       r-cran-jsonlite       /usr/lib/R/site-library/jsonlite/DESCRIPTION
test       r-cran-ggplot2        /usr/lib/R/site-library/ggplot2/DESCRIPTION
test       r-cran-testthat       /usr/lib/R/site-library/testthat/DESCRIPTION
test       r-cran-knitr          /usr/lib/R/site-library/knitr/DESCRIPTION
test       r-cran-rmarkdown      /usr/lib/R/site-library/rmarkdown/DESCRIPTION
test       pandoc                cmd:pandoc
arm        g++-aarch64-linux-gnu cmd:aarch64-linux-gnu-g++
arm        qemu-user             cmd:qemu-aarch64
arm        libhwy-dev:arm64      /usr/lib/aarch64-linux-gnu/cmake/hwy/hwy-config.cmake
arm        zlib1g-dev:arm64      /usr/lib/aarch64-linux-gnu/libz.so
arm        libssl-dev:arm64      /usr/lib/aarch64-linux-gnu/libcrypto.so
arm        libgtest-dev:arm64    /usr/lib/aarch64-linux-gnu/libgtest.a
windows    g++-mingw-w64-x86-64-posix cmd:x86_64-w64-mingw32-g++-posix
windows    libz-mingw-w64-dev    /usr/x86_64-w64-mingw32/lib/libz.a
windows    wine64                /usr/lib/wine/wine64
windows    zip                   cmd:zip
rdoc       r-cran-roxygen2       /usr/lib/R/site-library/roxygen2/DESCRIPTION
ccache     ccache                cmd:ccache
'
# Each group says in a few words why it is installed.
declare -A WHY=(
  [program]="to build and run tacsim"
  [test]="to build and run its tests"
  [arm]="to cross-build for 64-bit ARM and run that build under qemu"
  [windows]="to cross-build for Windows and run that build under Wine"
  [rdoc]="to make the R package's help pages (r/man) again from its comments"
  [ccache]="to rebuild quicker (cmake -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)"
)
# Tests give their own table and lock.
[ -n "${TACSIM_SETUP_TABLE:-}" ] && PACKAGES=$(cat "$TACSIM_SETUP_TABLE")
LOCK=${TACSIM_SETUP_LOCK:-/tmp/tacsim-setup.lock}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=build
groups=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=${2:?--build needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) groups+=("$1"); shift ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=(program)
case $build in /*) ;; *) build=$root/$build ;; esac
npmdir=$build/report-npm

wanted() {  # group: is it asked for?
  local g; for g in "${groups[@]}"; do [ "$g" = "$1" ] && return 0; done; return 1
}
for g in "${groups[@]}"; do
  [ "$g" = npm ] && continue
  awk -v g="$g" '$1 == g { f = 1 } END { exit !f }' <<<"$PACKAGES" \
    || { echo "tools/setup.sh: unknown group '$g' (groups: npm $(awk 'NF { print $1 }' <<<"$PACKAGES" | sort -u | tr '\n' ' '))" >&2; exit 2; }
done

present() {  # check
  case $1 in
    cmd:*) command -v "${1#cmd:}" >/dev/null 2>&1 ;;
    *) compgen -G "$1" >/dev/null ;;
  esac
}

missing=(); why=()
scan() {
  missing=(); why=()
  local g pkg check
  while read -r g pkg check; do
    [ -n "$g" ] && wanted "$g" || continue
    present "$check" && continue
    [[ " ${missing[*]} " == *" $pkg "* ]] && continue
    missing+=("$pkg")
    [[ " ${why[*]} " == *" ${WHY[$g]:-for $g} "* ]] || why+=("${WHY[$g]:-for $g}")
  done <<<"$PACKAGES"
}

npm_current() {
  local stamp=$npmdir/node_modules/.package-lock.json f
  [ -e "$stamp" ] || return 1
  for f in package.json package-lock.json; do
    [ "$stamp" -nt "$root/tools/report/$f" ] && cmp -s "$root/tools/report/$f" "$npmdir/$f" || return 1
  done
}
npm_wanted() { wanted program || wanted npm; }

# The quick look: nothing to do, nothing said.
scan
if [ ${#missing[@]} -eq 0 ] && { ! npm_wanted || npm_current; }; then exit 0; fi

# Something is missing: one copy at a time installs it, then the others see it
# present.
if [ -w "$LOCK" ] || [ ! -e "$LOCK" ]; then exec 9>>"$LOCK"; else exec 9<"$LOCK"; fi \
  || { echo "tools/setup.sh: cannot open the lock $LOCK" >&2; exit 1; }
flock 9

fail() {  # what failed, log file, command to run
  echo "tools/setup.sh: $1" >&2
  [ -s "$2" ] && tail -n 5 "$2" | sed 's/^/  /' >&2
  echo "Run this, then try again:" >&2
  echo "  $3" >&2
  exit 1
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT

scan
if [ ${#missing[@]} -gt 0 ]; then
  list=${missing[*]}
  reasons=$(IFS=,; echo "${why[*]}" | sed 's/,/ and /g')
  by_hand="sudo apt-get update && sudo apt-get install -y $list"
  if [ "$(id -u)" = 0 ]; then
    sudo=(); by_hand="apt-get update && apt-get install -y $list"
  elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo); [ -t 0 ] || sudo=(sudo -n)
  else
    fail "these Debian packages are missing and this user is neither root nor has sudo: $list" /dev/null \
      "su -c 'apt-get update && apt-get install -y $list'"
  fi
  # Packages of another architecture (NAME:ARCH) need that architecture known
  # to dpkg first.
  arches=$(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*:\(.*\)$/\1/p' | sort -u)
  for arch in $arches; do
    dpkg --print-foreign-architectures 2>/dev/null | grep -qx "$arch" && continue
    by_hand="sudo dpkg --add-architecture $arch && $by_hand"
    "${sudo[@]}" dpkg --add-architecture "$arch" >"$log" 2>&1 \
      || fail "could not add the architecture $arch to dpkg" "$log" "$by_hand"
  done
  echo "Installing $list ($reasons)"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >"$log" 2>&1 \
    || fail "apt-get update failed (no route to the package archive, or no permission)" "$log" "$by_hand"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $list >"$log" 2>&1 \
    || fail "apt-get install failed (a package not found, or no permission)" "$log" "$by_hand"
  scan
  [ ${#missing[@]} -eq 0 ] || fail "still missing after the install: ${missing[*]}" "$log" "$by_hand"
fi

if npm_wanted && ! npm_current; then
  echo "Installing the report's plotting libraries (npm ci from tools/report/package-lock.json) into $npmdir"
  by_hand="mkdir -p $npmdir && cp $root/tools/report/package.json $root/tools/report/package-lock.json $npmdir/ && (cd $npmdir && npm ci --ignore-scripts --no-audit --no-fund)"
  mkdir -p "$npmdir" && cp "$root/tools/report/package.json" "$root/tools/report/package-lock.json" "$npmdir/" \
    || fail "cannot write $npmdir" /dev/null "$by_hand"
  (cd "$npmdir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error) >"$log" 2>&1 \
    || fail "npm ci failed (no route to the npm registry?)" "$log" "$by_hand"
  touch "$npmdir/node_modules/.package-lock.json"
fi
exit 0

#!/bin/bash
# R CMD check of the R package in r/ (its tests and its vignette, which run
# this build's program on the bundled and reference inputs), without network
# and without the PDF manual. Skipped (exit status 77) when R, or a package
# that the check needs, is missing.
# Usage: package_check.sh SOURCE_DIR path/to/tacsim
set -uo pipefail
src=$(cd "$1" && pwd)
exe=$(realpath "$2")
if ! command -v R > /dev/null; then
  echo "SKIPPED: no R (Debian: r-base-core; bash tools/setup.sh test)"; exit 77
fi
for pkg in testthat knitr rmarkdown jsonlite ggplot2; do
  if ! Rscript -e "quit(status = !requireNamespace('$pkg', quietly = TRUE))" > /dev/null 2>&1; then
    echo "SKIPPED: the R package $pkg is missing (bash tools/setup.sh test)"; exit 77
  fi
done
if ! command -v pandoc > /dev/null; then
  echo "SKIPPED: no pandoc for the vignette (bash tools/setup.sh test)"; exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tacsim-rcheck-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TACSIM_PROGRAM=$exe TACSIM_SOURCE_DIR=$src
# No network: no CRAN lookups, and the check's remote parts off.
export _R_CHECK_CRAN_INCOMING_=false _R_CHECK_CRAN_INCOMING_REMOTE_=false
export R_LIBS_USER=$work/lib
cd "$work" || exit 1
# The build knits the vignette (running the program); the check then leaves
# the vignette alone rather than running its code twice more.
if ! R CMD build "$src/r" > build.log 2>&1; then
  cat build.log; echo "FAILED: R CMD build (the vignette)"; exit 1
fi
R CMD check --no-manual --ignore-vignettes tacsim_*.tar.gz > check.log 2>&1
status=$?
cat check.log
if [ $status -ne 0 ] || grep -q '^Status: .*\(ERROR\|WARNING\)' check.log; then
  for f in tacsim.Rcheck/tests/testthat.Rout.fail tacsim.Rcheck/00install.out; do
    [ -f "$f" ] && { echo "--- $f"; tail -n 60 "$f"; }
  done
  echo "FAILED: R CMD check"; exit 1
fi
# The bundled example of the package is the repository's.
for f in bio.inn opt.inn; do
  cmp -s "$src/examples/$f" "$src/r/inst/example/$f" \
    || { echo "FAILED: r/inst/example/$f differs from examples/$f"; exit 1; }
done
exit 0

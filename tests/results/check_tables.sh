#!/bin/bash
# Runs every reference run with --iterations in a folder of its own, checks
# that the legacy files keep their bytes, and has check_tables.py read the
# tables back and compare them with the legacy files. Usage:
# check_tables.sh path/to/tacsim
set -euo pipefail
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../golden/data"
work=$(mktemp -d "${TMPDIR:-/tmp}/tacsim-tables-XXXXXX")
trap 'rm -rf "$work"' EXIT
dirs=()
for case in "$data"/*/; do
  name=$(basename "$case")
  mkdir "$work/$name"
  find "$case" -maxdepth 1 -type f -exec cp {} "$work/$name/" \;
  status=0
  (cd "$work/$name" && "$exe" --iterations >stdout.txt 2>stderr.txt) || status=$?
  want=$(head -n1 "$case/expected/status" | tr -d '\r')
  if [ "$status" != "$want" ]; then
    echo "FAILED: $name: exit status $status, expected $want" >&2
    exit 1
  fi
  # A run with options that stops before its first option set writes nothing
  # into the folder (the argument-less run still leaves its scratch file).
  wrote=$(cd "$work/$name" && for f in *; do
            [ -e "$case/$f" ] || [ "$f" = stdout.txt ] || [ "$f" = stderr.txt ] || echo "$f"; done)
  # Given an argument, the program ends its error-stream lines with LF alone
  # and writes the reason for a stop there instead of on standard output,
  # starting with the file, line and record it stopped at: what the two
  # streams say together, line by line and that start aside, is the same.
  if [ "$want" != 0 ] && ! cmp -s <(cat "$case/expected/stdout.txt" "$case/expected/stderr.txt" | tr -d '\r') \
                                  <(cat "$work/$name/stdout.txt" "$work/$name/stderr.txt" | tr -d '\r' \
                                    | perl -pe 's/^\S+ line \d+ \(.*?\)://'); then
    echo "FAILED: $name: standard output and error stream differ from the argument-less run's" >&2
    exit 1
  fi
  if ! cmp -s <(tr -d '\r' < "$case/expected/stderr.txt") <(tr -d '\r' < "$work/$name/stderr.txt") && [ "$want" = 0 ]; then
    echo "FAILED: $name: the error stream differs from the argument-less run's" >&2
    exit 1
  fi
  for f in "$case"/expected/*; do
    b=$(basename "$f")
    [ "$b" = status ] || [ "$b" = stderr.txt ] && continue
    [ "$b" = stdout.txt ] && [ "$want" != 0 ] && continue
    if [ "$want" != 0 ] && [ -z "$wrote" ] && [ "$b" != stdout.txt ] && [ "$b" != stderr.txt ]; then
      continue
    fi
    if ! cmp -s "$f" "$work/$name/$b"; then
      echo "FAILED: $name: $b differs from the argument-less run's" >&2
      exit 1
    fi
  done
  [ -n "$wrote" ] && dirs+=("$work/$name")
done
python3 "$here/check_tables.py" "${dirs[@]}"

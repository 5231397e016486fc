#!/bin/bash
# tools/setup.sh against a fake package manager: what it installs when a
# file or command is missing, silence when all is present, the command to run
# when it cannot install, npm ci when the report's libraries are missing, and
# one install when two copies start at once.
set -uo pipefail
setup=$(cd "$(dirname "$0")/../.." && pwd)/tools/setup.sh
lock=$(cd "$(dirname "$0")/../.." && pwd)/tools/report/package-lock.json
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A PATH of the ordinary tools the script uses and the fakes, nothing else
# (so no sudo unless a case adds it).
mkdir -p "$t/bin" "$t/files"
for tool in bash awk cat sort tr sed tail mktemp rm mkdir cp cmp touch flock env dirname sleep; do
  ln -s "$(command -v "$tool")" "$t/bin/$tool"
done
cat > "$t/bin/apt-get" <<FAKE
#!/bin/bash
echo "apt-get \$*" >> "$t/apt.log"
[ "\$1" = install ] || exit 0
sleep "\${FAKE_APT_DELAY:-0}"
for p in "\$@"; do
  case \$p in -*|install) ;; pkg-unknown) echo "E: Unable to locate package \$p" >&2; exit 100 ;;
    *) touch "$t/files/\$p" ;; esac
done
FAKE
cat > "$t/bin/id" <<FAKE
#!/bin/bash
echo "\${FAKE_UID:-0}"
FAKE
cat > "$t/sudo" <<FAKE
#!/bin/bash
echo "sudo \$*" >> "$t/apt.log"
[ "\$1" = -n ] && shift
exec "\$@"
FAKE
cat > "$t/bin/npm" <<FAKE
#!/bin/bash
echo "npm \$*" >> "$t/apt.log"
mkdir -p node_modules && touch node_modules/.package-lock.json
FAKE
chmod +x "$t/bin/apt-get" "$t/bin/id" "$t/sudo" "$t/bin/npm"

cat > "$t/table" <<TABLE
program  pkg-a        $t/files/pkg-a
program  pkg-shell    cmd:bash
test     pkg-b        $t/files/pkg-*b
test     pkg-unknown  $t/files/pkg-unknown
extra    pkg-a        $t/files/pkg-a
TABLE

run() {  # expected status, then setup.sh's arguments; sets out and err
  local want=$1; shift
  : > "$t/apt.log"
  PATH=$t/bin TACSIM_SETUP_TABLE=$t/table TACSIM_SETUP_LOCK=$t/lock \
    "$t/bin/bash" "$setup" --build "$t/build" "$@" > "$t/out" 2> "$t/err" < /dev/null
  local status=$?
  out=$(cat "$t/out"); err=$(cat "$t/err"); calls=$(cat "$t/apt.log")
  [ "$status" = "$want" ] || fail "setup.sh $*: status $status, expected $want; $out $err"
}
# The report's libraries present: the same package files and a newer stamp.
npm_present() {
  mkdir -p "$t/build/report-npm/node_modules"
  cp "$(dirname "$lock")/package.json" "$lock" "$t/build/report-npm/"
  touch "$t/build/report-npm/node_modules/.package-lock.json"
}

# Not root and no sudo: nothing is run, the command is given.
npm_present
FAKE_UID=1000 run 1 program
[ -z "$calls" ] || fail "without root or sudo it ran: $calls"
[[ $err == *"su -c 'apt-get update && apt-get install -y pkg-a'"* ]] || fail "no command to run: $err"

# Root, one file missing in the group asked for: update, then one install of
# exactly that package, said in one line.
run 0 program
[ "$calls" = $'apt-get update -qq\napt-get install -y -qq pkg-a' ] || fail "root install: $calls"
[ "$out" = "Installing pkg-a (to build and run tacsim)" ] || fail "root install said: $out"

# All present: nothing run, nothing said.
run 0 program
[ -z "$out$err$calls" ] || fail "all present, yet: $out $err $calls"

# Through sudo (without a terminal, sudo must not ask): a pattern as check.
ln -s "$t/sudo" "$t/bin/sudo"
rm -f "$t/files/pkg-a"
FAKE_UID=1000 run 0 program
[[ $calls == "sudo -n env DEBIAN_FRONTEND=noninteractive apt-get update -qq"* ]] || fail "sudo: $calls"
rm "$t/bin/sudo"

# A package the archive does not know: the archive's words and the command.
run 1 test
[[ $err == *"Unable to locate package pkg-unknown"* && $err == *"apt-get install -y pkg-b pkg-unknown"* ]] \
  || fail "unknown package: $err"

# An unknown group is refused; an optional group installs only when named.
run 2 tests
rm -f "$t/files/pkg-a"
run 0 extra
[ "$out" = "Installing pkg-a (for extra)" ] || fail "optional group: $out"

# The report's libraries missing: npm ci into the build folder, then silence.
rm -rf "$t/build"
run 0 npm
[[ $calls == "npm ci "* && -e $t/build/report-npm/package-lock.json ]] || fail "npm ci: $calls"
run 0 npm
[ -z "$out$calls" ] || fail "npm present, yet: $out $calls"

# Two copies at once: one installs, the other waits and finds it present.
rm -f "$t/files/pkg-a"; : > "$t/apt.log"
for i in 1 2; do
  FAKE_APT_DELAY=1 PATH=$t/bin TACSIM_SETUP_TABLE=$t/table TACSIM_SETUP_LOCK=$t/lock \
    "$t/bin/bash" "$setup" --build "$t/build" program > "$t/out$i" 2>&1 < /dev/null &
done
wait
[ "$(grep -c '^apt-get install' "$t/apt.log")" = 1 ] || fail "two copies: $(cat "$t/apt.log")"

[ "$failures" = 0 ] && echo "setup.sh: all cases pass"
exit $((failures > 0))

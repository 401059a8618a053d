#!/usr/bin/env bash
# scripts/run-demo.sh starts each time on a fresh copy of the demo files: what
# a run left in its scratch directory is gone, and a directory it did not make
# is never emptied.
# Usage: check_run_demo.sh SOURCE_DIR
set -uo pipefail
src=$1
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A stand-in for usbisp that lists the directory it is given.
cat >"$work/lister" <<'LISTER'
#!/bin/sh
[ "$1" = --dir ] && ls -A "$2" | LC_ALL=C sort
LISTER
chmod +x "$work/lister"
expected='.usbisp-run
BENCH.JSON
DEMO7620.BIN
DEMO7620.adr
DEVICE.TXT
SERIAL.TXT'

export USBISP_RUN_DIR=$work/run
first=$("$src/scripts/run-demo.sh" "$work/lister" 2>/dev/null)
[ "$first" = "$expected" ] || fail "a first run sees: $first"
echo "left over" >"$work/run/PRODUCTION.LOG"
echo "0x01 0x0123 0x0000" >"$work/run/SERIAL.TXT"
second=$("$src/scripts/run-demo.sh" "$work/lister" 2>/dev/null)
[ "$second" = "$expected" ] || fail "a second run sees: $second"
cmp -s "$work/run/SERIAL.TXT" "$src/demo/files/SERIAL.TXT" || fail "SERIAL.TXT was not made afresh"

mkdir "$work/mine" && echo keep >"$work/mine/notes.txt"
export USBISP_RUN_DIR=$work/mine
if "$src/scripts/run-demo.sh" "$work/lister" >/dev/null 2>&1; then
    fail "a directory run-demo.sh did not make was taken"
fi
[ "$(cat "$work/mine/notes.txt")" = keep ] || fail "a directory run-demo.sh did not make was emptied"
exit $status

#!/usr/bin/env bash
# The second step of scripts/wine32-probe.sh on any machine: stand-ins for
# wine, wineserver and the cross compiler on PATH, a wine that refuses a
# WINEPREFIX that is not absolute (as the real one does), and the directory
# given relative, as make gives it. Each row is what the stand-in's Windows
# program does and the decision the probe must write.
# Usage: probe_test.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

cat >"$work/bin/wine" <<'WINE'
#!/usr/bin/env bash
case "$WINEPREFIX" in
    /*) ;;
    *) echo "wine: invalid directory $WINEPREFIX in WINEPREFIX: not an absolute path" >&2; exit 1 ;;
esac
if [ "$1" = wineboot ]; then
    mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/system.reg"
    exit 0
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine: no prefix at $WINEPREFIX" >&2; exit 1; }
case "$PROBE_RUNS" in
    yes) printf 'probe32: 32-bit Windows code runs\r\n' ;;
    no) echo "wine: could not load kernel32.dll, status c0000135" >&2; exit 53 ;;
esac
WINE
cat >"$work/bin/wineserver" <<'SERVER'
#!/bin/sh
exit 0
SERVER
# The cross compiler writes the program it is asked for.
cat >"$work/bin/i686-w64-mingw32-g++-win32" <<'CXX'
#!/usr/bin/env bash
while [ $# -gt 0 ]; do
    [ "$1" = -o ] && { echo "MZ" >"$2"; exit 0; }
    shift
done
exit 1
CXX
chmod +x "$work/bin"/*

# what the program does | result | reason
rows=$(cat <<'ROWS'
yes | 32 | 32-bit Windows programs run under Wine
no | 64 | a 32-bit Windows program does not run under Wine (exit status 53:  wine: could not load kernel32.dll, status c0000135 )
ROWS
)
status=0
n=0
while IFS='|' read -r runs result reason; do
    runs=$(echo $runs) result=$(echo $result) reason=$(echo "$reason" | sed 's/^ //; s/ $//')
    n=$((n + 1))
    mkdir -p "$work/tree$n"
    said=$(cd "$work/tree$n" && PATH="$work/bin:$PATH" PROBE_RUNS=$runs \
           "$src/scripts/wine32-probe.sh" --windows-step build/wine32-probe 2>&1) || {
        echo "row $n: the probe failed: $said"
        status=1
        continue
    }
    probe=$work/tree$n/build/wine32-probe
    [ "$(cat "$probe/result" 2>/dev/null)" = "$result" ] ||
        { echo "row $n: result $(cat "$probe/result" 2>/dev/null), not $result ($said)"; status=1; }
    [ "$(cat "$probe/reason" 2>/dev/null)" = "$reason" ] ||
        { echo "row $n: reason \"$(cat "$probe/reason" 2>/dev/null)\", not \"$reason\""; status=1; }
    [ -f "$probe/wine-prefix/system.reg" ] ||
        { echo "row $n: no Wine prefix made in $probe"; status=1; }
done <<<"$rows"
[ $status = 0 ] && echo "wine32 probe, second step: $n rows passed"
exit $status

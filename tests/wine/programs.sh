#!/usr/bin/env bash
# Which Windows programs the Wine tests run, as scripts/wine32-probe.sh decided
# during make windows: the 32-bit build where 32-bit Windows programs run
# under Wine, else the 64-bit build of the same sources.
# Usage: programs.sh dir WIN_BUILD WIN64_BUILD        the directory to run
#        programs.sh describe WIN_BUILD WIN64_BUILD   one sentence for people
set -euo pipefail
mode=$1 win=$2 win64=$3
probe=$win/wine32-probe
if [ ! -f "$probe/result" ]; then
    echo "no decision of the wine32 probe in $probe: run make windows" >&2
    exit 1
fi
result=$(cat "$probe/result")
reason=$(cat "$probe/reason")
case "$mode:$result" in
    dir:32) echo "$win" ;;
    dir:64) echo "$win64" ;;
    describe:32)
        echo "Wine tests: the 32-bit UsbIsp.exe and UsbIspBench.exe of $win under 32-bit Wine ($reason)." ;;
    describe:64)
        echo "Wine tests: the 64-bit build of the same sources ($win64) under 64-bit Wine, because"
        echo "  $reason; the 32-bit programs of $win were checked by their imports and manifests." ;;
    *) echo "usage: $0 dir|describe WIN_BUILD WIN64_BUILD (probe said \"$result\")" >&2; exit 2 ;;
esac

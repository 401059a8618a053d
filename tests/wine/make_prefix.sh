#!/usr/bin/env bash
# Creates the Wine prefix of this test run (slow: done once per run).
set -euo pipefail
prefix=$1
command -v wine >/dev/null || { echo "wine is missing: run scripts/install-deps.sh wine" >&2; exit 1; }
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i
wineserver -w
[ -f "$prefix/system.reg" ]

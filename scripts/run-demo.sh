#!/usr/bin/env bash
# Starts the main window in the terminal on the built-in demo bench, in a
# scratch directory (./run, or $USBISP_RUN_DIR) made afresh with a copy of the
# demo files, so that the repository stays clean and no log or counter of an
# earlier run is left. A USBISP_RUN_DIR this script did not make (it has no
# .usbisp-run mark) is never emptied; ./run is git's to ignore and ours.
# Usage: run-demo.sh [USBISP] [more arguments for usbisp, e.g. --bench FILE]
set -euo pipefail
binary=${1:-build/usbisp}
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${USBISP_RUN_DIR:-$root/run}
mark=.usbisp-run
if [ -e "$scratch" ]; then
    if [ -n "${USBISP_RUN_DIR:-}" ] && [ ! -e "$scratch/$mark" ] &&
        [ -n "$(ls -A "$scratch" 2>/dev/null)" ]; then
        echo "run-demo.sh: $scratch is not a scratch directory of this script; give another" \
            "USBISP_RUN_DIR" >&2
        exit 2
    fi
    rm -rf "$scratch"
fi
mkdir -p "$scratch"
: >"$scratch/$mark"
cp "$root"/demo/files/* "$scratch"/
echo "usbisp: working directory $scratch" >&2
exec "$binary" --dir "$scratch" "${@:2}"

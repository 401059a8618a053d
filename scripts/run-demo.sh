#!/usr/bin/env bash
# Starts the main window in the terminal on the built-in demo bench, in a
# scratch directory (./run, or $USBISP_RUN_DIR) holding a fresh copy of the
# demo files, so that the repository stays clean.
# Usage: run-demo.sh [USBISP] [more arguments for usbisp, e.g. --bench FILE]
set -euo pipefail
binary=${1:-build/usbisp}
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${USBISP_RUN_DIR:-$root/run}
mkdir -p "$scratch"
cp "$root"/demo/files/* "$scratch"/
echo "usbisp: working directory $scratch"
exec "$binary" --dir "$scratch" "${@:2}"

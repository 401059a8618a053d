#!/usr/bin/env bash
# Starts the main window in the terminal on the built-in demo bench, in a
# scratch directory holding a fresh copy of the demo files.
set -euo pipefail
binary=${1:-build/usbisp}
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${USBISP_RUN_DIR:-$root/run}
mkdir -p "$scratch"
cp "$root"/demo/files/* "$scratch"/ 2>/dev/null || true
echo "usbisp: working directory $scratch"
exec "$binary" --dir "$scratch" "${@:2}"

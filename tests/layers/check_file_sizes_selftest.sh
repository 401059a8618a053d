#!/usr/bin/env bash
# The size check on a small tree: a file over the limit is refused, the same
# file with its reason in the opening comment is taken, and a reason further
# down than the opening comment does not count.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src/core" "$tree/frontends/face"
lines() { for ((i = 0; i < $1; i++)); do echo "int x$i;"; done; }

lines 5 >"$tree/src/core/short.cpp"
"$check" "$tree" 5 || { echo "a file at the limit was refused"; exit 1; }

lines 6 >"$tree/frontends/face/long.cpp"
if "$check" "$tree" 5 2>/dev/null; then echo "a file over the limit was taken"; exit 1; fi

{ echo "// The face's long table."; echo "// Longer than 400 lines: one table."; lines 6; } \
    >"$tree/frontends/face/long.cpp"
"$check" "$tree" 5 || { echo "a reason in the opening comment was not taken"; exit 1; }

{ lines 6; echo "// Longer than 400 lines: too late."; } >"$tree/frontends/face/long.cpp"
if "$check" "$tree" 5 2>/dev/null; then echo "a reason below the code was taken"; exit 1; fi
echo "the size check refuses and takes as it should"

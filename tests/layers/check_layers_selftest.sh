#!/usr/bin/env bash
# check_layers.sh must refuse every include against the layer order and let
# every one along it pass. Each row is a file of a small source tree, what it
# includes, and whether the check passes (0) or fails (1) a tree with that
# one include.
# usage: check_layers_selftest.sh <check_layers.sh>
set -uo pipefail
check=${1:?usage: check_layers_selftest.sh CHECK_LAYERS}
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT

rows='
0 src/ui/main.cpp               firmware/firmware.h
1 src/firmware/firmware.cpp     ui/core.h
0 src/firmware/firmware.cpp     platform/platform.h
1 src/firmware/firmware.cpp     platform/sim/bench.h
1 src/firmware/firmware.cpp     emulator/controller.h
1 src/view/view.h               emulator/controller.h
1 src/platform/platform.h       emulator/controller.h
1 src/ui/main.cpp               station/station.h
0 src/emulator/controller.cpp   emulator/controller.h
0 src/emulator/controller.cpp   platform/byte_order.h
1 src/emulator/controller.cpp   platform/sim/bench.h
1 src/emulator/controller.cpp   platform/linux/clock.h
1 src/emulator/controller.cpp   device/command_set.h
1 src/emulator/controller.cpp   reader/gadget.h
0 src/platform/sim/bench.cpp    emulator/controller.h
0 src/platform/sim/bench.cpp    platform/sim/bench.h
0 src/platform/sim/bench.cpp    platform/platform.h
1 src/platform/sim/bench.cpp    platform/linux/clock.h
1 src/platform/sim/bench.cpp    firmware/firmware.h
1 src/platform/linux/clock.cpp  emulator/controller.h
1 src/platform/win32/files.cpp  emulator/controller.h
1 src/gadgets/thing.cpp         platform/platform.h
'

failures=0
n=0
while read -r expected file target; do
    [ -n "$expected" ] || continue
    n=$((n + 1))
    tree=$scratch/$n
    mkdir -p "$tree/$(dirname "$file")"
    printf '#include "%s"\n' "$target" >"$tree/$file"
    status=0
    output=$("$check" "$tree" 2>&1) || status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "row $n: $file including $target: the check exited $status, not $expected"
        echo "$output" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
done <<<"$rows"

if [ "$failures" -ne 0 ]; then
    echo "layers self-test: $failures of $n rows wrong"
    exit 1
fi
echo "layers self-test: $n rows as expected"

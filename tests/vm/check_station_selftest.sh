#!/usr/bin/env bash
# check_station.sh must pass a station session only when every reader was
# programmed with a number of its own and the log, SERIAL.TXT and each
# reader's firmware say so. Each row below alters the results a good station
# session leaves (made here on the bench, no guest needed) and says whether
# the check must pass (0) or fail (1) them.
# Usage: check_station_selftest.sh USBISP
set -uo pipefail

if [ $# -ne 1 ]; then
    echo "usage: check_station_selftest.sh USBISP" >&2
    exit 2
fi
usbisp=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d) || exit 1
[ -d "$scratch" ] || exit 1
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT

session=$here/sessions/station

# The firmware and serial number the main window gives number N on the bench.
stamp() {
    local dir=$scratch/stamp-$1
    mkdir -p "$dir"
    cp -r "$here/../cases/fixtures/rom7311/." "$dir/"
    printf '0x57 0x1 0x%x ' "$1" >"$dir/SERIAL.TXT"
    cp "$session"/bench.json "$session"/reader*.bin "$dir/"
    printf 'click ISP_Ena\nclick WIN9xISP\ndump 1 STAMPED.BIN\nclick Close\n' |
        "$usbisp" --bench "$dir/bench.json" --script - --dir "$dir" >"$dir/transcript.txt"
    grep -o 'SERIAL NUMBER: [0-9A-F]\{12\}' "$dir/transcript.txt" | head -n 1 | cut -c16- \
        >"$dir/serial"
}
for number in 291 292 293 294; do stamp "$number"; done

# A good session's results: readers 1 and 2 on ports 1-1 and 1-2 (the
# second one got its number first), 3 and 4 after them.
pristine=$scratch/pristine
mkdir -p "$pristine/dir"
cp -r "$here/../cases/fixtures/rom7311/." "$pristine/dir/"
printf '0x57 0x1 0x127 ' >"$pristine/dir/SERIAL.TXT"
echo 0 >"$pristine/station.status"
: >"$pristine/station.err"
printf 'station start 0 program\nstation end 9000 programmed=4 verified=0 failed=0 void=0 per-hour=1600\n' \
    >"$pristine/station.out"
line() {  # port number
    printf '{"event":"reader","time":"t","port":"%s","reader":1,"serial":"%s","pc":1,"cnt":%s,"result":"programmed","durationMs":100}\n' \
        "$1" "$(cat "$scratch/stamp-$2/serial")" "$2"
}
{
    printf '{"event":"counter","time":"t","pc":1,"cnt":291}\n'
    line 1-2 291
    line 1-1 292
    line 1-1 293
    line 1-2 294
    printf '{"event":"summary","time":"t","programmed":4}\n'
} >"$pristine/dir/PRODUCTION.LOG"
cp "$scratch/stamp-292/STAMPED.BIN" "$pristine/reader-1.bin"
cp "$scratch/stamp-291/STAMPED.BIN" "$pristine/reader-2.bin"
cp "$scratch/stamp-293/STAMPED.BIN" "$pristine/reader-3.bin"
cp "$scratch/stamp-294/STAMPED.BIN" "$pristine/reader-4.bin"

# expected status | what differs | the alteration (a command run in the results)
rows=(
    "0|nothing|true"
    "1|the station's exit status|echo 2 >station.status"
    "1|a line on the station's standard error|echo 'usbisp: something' >station.err"
    "1|a reader failed|sed -i '0,/\"result\":\"programmed\"/s//\"result\":\"failed\"/' dir/PRODUCTION.LOG"
    "1|a reader's line is missing|sed -i '/\"cnt\":293,/d' dir/PRODUCTION.LOG"
    "1|a number on two readers in the log|sed -i 's/\"serial\":\"[0-9A-F]*3\"/\"serial\":\"'\"\$(cat ../stamp-294/serial)\"'\"/' dir/PRODUCTION.LOG"
    "1|every reader on a port of its own|sed -i '0,/\"port\":\"1-1\"/s//\"port\":\"1-3\"/' dir/PRODUCTION.LOG"
    "1|SERIAL.TXT not advanced|printf '0x57 0x1 0x126 ' >dir/SERIAL.TXT"
    "1|a reader with its firmware as it was|cp $session/reader3.bin reader-3.bin"
    "1|two readers with the same number|cp reader-1.bin reader-4.bin"
    "1|a reader that wrote no firmware|rm reader-2.bin"
    "1|the end line counts a failure|sed -i 's/failed=0/failed=1/' station.out"
    "1|the guest could not carry it out|echo 'the station did not start' >failed"
)

failures=0
for row in "${rows[@]}"; do
    IFS='|' read -r want what change <<<"$row"
    results=$scratch/results
    rm -rf "$results"
    cp -r "$pristine" "$results"
    (cd "$results" && eval "$change") || { echo "cannot alter: $what" >&2; failures=$((failures + 1)); continue; }
    "$here/check_station.sh" "$session" "$results" "$usbisp" "$scratch/check" >"$scratch/out" 2>&1
    got=$?
    [ "$got" -ne 0 ] && got=1
    if [ "$got" -ne "$want" ]; then
        echo "check_station.sh with $what: status $got, not $want" >&2
        sed 's/^/  /' "$scratch/out" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "check_station.sh: ${#rows[@]} cases as they should be"
[ "$failures" -eq 0 ]

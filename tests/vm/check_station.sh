#!/usr/bin/env bash
# Checks a vm session of the production station (a plan with "station"
# lines): usbisp --station --real, with virtual readers plugged in, unplugged
# and replaced. The station's own transcript is not the bench's (USB port
# paths, real times, readers truly at once), so the check is of what it
# leaves: every reader programmed, each with its own serial number, each
# holding exactly the firmware the main window programs with that number on
# the bench, the production log complete, SERIAL.TXT advanced by as many.
# Usage: check_station.sh SESSION_DIR RESULT_DIR USBISP WORK_DIR
set -uo pipefail

if [ $# -ne 4 ]; then
    echo "usage: check_station.sh SESSION_DIR RESULT_DIR USBISP WORK_DIR" >&2
    exit 2
fi

session=${1%/}
result=$2
usbisp=$3
work=$4
name=$(basename "$session")
here=$(cd "$(dirname "$0")" && pwd)
failures=0

fail() {
    echo "$name: $*" >&2
    failures=$((failures + 1))
}

if [ ! -d "$result" ]; then
    echo "$name: the guest left no results" >&2
    exit 1
fi
if [ -s "$result/failed" ]; then
    echo "$name: the guest could not carry the session out:" >&2
    sed 's/^/  /' "$result/failed" >&2
    exit 1
fi

rm -rf "$work"
mkdir -p "$work/bench" "$work/start"
find "$session" -maxdepth 1 -type f -exec cp {} "$work/bench/" \;
if [ -f "$session/fixtures" ]; then
    while read -r folder; do
        case $folder in '' | '#'*) continue ;; esac
        cp -r "$here/../../$folder/." "$work/start/"
    done <"$session/fixtures"
fi
[ -d "$session/files" ] && cp -r "$session/files/." "$work/start/"

readers=$(awk '$1 == "reader" { print $2 }' "$session/plan")
count=$(wc -w <<<"$readers")

if [ "$(cat "$result/station.status" 2>/dev/null)" != 0 ]; then
    fail "the station ended with status $(cat "$result/station.status" 2>/dev/null)"
fi
if [ -s "$result/station.err" ]; then
    fail "the station's standard error is not empty:"
    sed 's/^/  /' "$result/station.err" >&2
fi
if ! grep -qE "^station end [0-9]+ programmed=$count verified=0 failed=0 void=0 " \
    "$result/station.out"; then
    fail "the station did not end with $count readers programmed: $(tail -n 1 "$result/station.out")"
fi

# What the main window programs on the bench with each number the station
# had to give: the serial number it shows and the firmware it leaves.
read -r _ pc first <"$work/start/SERIAL.TXT"
pc=$((pc))
first=$((first))
printf 'click ISP_Ena\nclick WIN9xISP\ndump 1 STAMPED.BIN\nclick Close\n' >"$work/script.txt"
expected_serials=""
for ((i = 0; i < count; i++)); do
    dir=$work/number-$i
    cp -r "$work/start" "$dir"
    printf '0x57 0x%x 0x%x ' "$pc" $((first + i)) >"$dir/SERIAL.TXT"
    "$usbisp" --bench "$work/bench/bench.json" --script "$work/script.txt" --dir "$dir" \
        >"$dir/transcript.txt" 2>&1
    serial=$(grep -o 'SERIAL NUMBER: [0-9A-F]\{12\}' "$dir/transcript.txt" | head -n 1 | cut -c16-)
    if [ -z "$serial" ] || [ ! -f "$dir/STAMPED.BIN" ]; then
        fail "the bench's main window did not program number $((first + i))"
        continue
    fi
    echo "$serial" >"$dir/serial"
    expected_serials+="$serial"$'\n'
done

# The log: a line per reader, each programmed, the serials those numbers give.
log=$result/dir/PRODUCTION.LOG
reader_lines=$(grep '"event":"reader"' "$log" 2>/dev/null)
if [ "$(grep -c . <<<"$reader_lines")" -ne "$count" ]; then
    fail "the log has $(grep -c . <<<"$reader_lines") reader lines, not $count"
fi
if grep -v '"result":"programmed"' <<<"$reader_lines" | grep -q .; then
    fail "a reader in the log was not programmed:"
    grep -v '"result":"programmed"' <<<"$reader_lines" | sed 's/^/  /' >&2
fi
logged=$(grep -o '"serial":"[0-9A-F]*"' <<<"$reader_lines" | cut -d'"' -f4 | sort)
if [ "$logged" != "$(sort <<<"${expected_serials%$'\n'}")" ]; then
    fail "the log's serial numbers are not the $count numbers from SERIAL.TXT on:" \
        $logged
fi
# The readers that replaced the first ones came in on their ports.
ports=$(grep -o '"port":"[^"]*"' <<<"$reader_lines" | cut -d'"' -f4 | sort | uniq -c |
        awk '{ print $1 }' | sort -u)
if [ "$ports" != 2 ]; then
    fail "the readers' ports are not two ports with two readers each:" \
        "$(grep -o '"port":"[^"]*"' <<<"$reader_lines" | tr '\n' ' ')"
fi
expected_counter=$(printf '0x57 0x%x 0x%x ' "$pc" $((first + count)))
if [ "$(cat "$result/dir/SERIAL.TXT" 2>/dev/null)" != "$expected_counter" ]; then
    fail "SERIAL.TXT holds '$(cat "$result/dir/SERIAL.TXT")', not '$expected_counter'"
fi

# Each virtual reader holds the firmware of one of the numbers, none twice.
matched=""
for reader in $readers; do
    firmware=$result/reader-$reader.bin
    if [ ! -f "$firmware" ]; then
        fail "virtual reader $reader wrote out no firmware"
        continue
    fi
    found=""
    for ((i = 0; i < count; i++)); do
        if cmp -s "$firmware" "$work/number-$i/STAMPED.BIN"; then found=$i; fi
    done
    if [ -z "$found" ]; then
        fail "virtual reader $reader holds firmware the main window programs with none of the numbers"
    elif grep -qx "$found" <<<"$matched"; then
        fail "virtual reader $reader holds the same number as another reader"
    fi
    matched+="$found"$'\n'
done

[ "$failures" -eq 0 ]

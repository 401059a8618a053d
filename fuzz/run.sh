#!/usr/bin/env bash
# Runs every fuzzer of fuzz/ for SECONDS each and prints, per fuzzer, the
# executions, the executions a second and the findings. Before fuzzing, each fuzzer runs the inputs kept
# in fuzz/regressions/NAME/ (each once: a crash found earlier must stay fixed).
# Seeds come from the demo files and the test data (gathered afresh each run,
# so that a new test file is a new seed) and from fuzz/seeds/NAME/.
#
# usage: fuzz/run.sh BUILD_DIR SECONDS
# FUZZERS="usb_reader image" runs only these (make fuzz FUZZERS=...).
# The corpus grows in BUILD_DIR/fuzz-corpus/NAME; a crash, leak or time-out is
# kept in BUILD_DIR/fuzz-findings/NAME/. Exit status 1 when anything was found.
set -uo pipefail
build=${1:?usage: run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: run.sh BUILD_DIR SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Seeds of one fuzzer, one path a line.
seeds() {
    case $1 in
        device_txt) find demo tests -type f -iname device.txt ;;
        serial_txt) find demo tests -type f -iname serial.txt ;;
        address_file) find demo tests -type f -iname '*.adr' ;;
        bench_file) find tests -type f -iname bench.json ;;
        action_script) find tests/cases -type f -name script.txt ;;
        production_log) find tests/station -type f \( -name log.txt -o -name before.log \) ;;
        report_log) find tests/station -type f \( -name '*.LOG' -o -name log.txt \) ;;
        identity | image | uevent | usb_reader | recording) ;;  # made below, or in fuzz/seeds
    esac
    [ -d "fuzz/seeds/$1" ] && find "fuzz/seeds/$1" -type f
    return 0
}

# An image seed: a hardware revision, the address record, the image.
image_seed() {
    local triple=$1 adr=$2 rom=$3 out=$4
    { printf "$triple"; cat "$adr" "$rom"; } >"$out"
}

status=0
printf '%-16s %12s %10s %9s\n' fuzzer executions per-second findings
all="device_txt serial_txt address_file identity image bench_file action_script uevent usb_reader
     recording production_log report_log"
for name in ${FUZZERS:-$all}; do
    fuzzer="$build/fuzz/${name}_fuzzer"
    corpus="$build/fuzz-corpus/$name"
    findings="$build/fuzz-findings/$name"
    log="$build/fuzz-logs/$name.log"
    mkdir -p "$corpus" "$findings" "$(dirname "$log")"
    if [ ! -x "$fuzzer" ]; then
        echo "$fuzzer is missing: run make fuzz"
        exit 1
    fi
    n=0
    while IFS= read -r seed; do
        n=$((n + 1))
        cp "$seed" "$corpus/seed-$n"
    done < <(seeds "$name")
    if [ "$name" = image ]; then
        image_seed '\x76\x20\x43' demo/files/DEMO7620.adr demo/files/DEMO7620.BIN "$corpus/seed-demo"
        image_seed '\x73\x11\x00' tests/cases/serial/save_fails_next_run_refused/files/ROM.adr \
            tests/cases/serial/save_fails_next_run_refused/files/ROM.BIN "$corpus/seed-7311"
    fi

    found=0
    regressions=("fuzz/regressions/$name"/*)
    if [ -e "${regressions[0]}" ]; then
        if ! "$fuzzer" -timeout=10 "${regressions[@]}" >"$log" 2>&1; then
            echo "$name: a kept regression input fails again (see $log)"
            found=1
        fi
    fi
    before=$(find "$findings" -type f | wc -l)
    touch "$log.start"
    start=$(date +%s%N)
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" >>"$log" 2>&1
    elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    after=$(find "$findings" -type f | wc -l)
    found=$((found + after - before))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    # Over the whole run, the corpus's first reading included.
    rate=?
    [ -n "$runs" ] && [ "$elapsed_ms" -gt 0 ] && rate=$((runs * 1000 / elapsed_ms))
    printf '%-16s %12s %10s %9s\n' "$name" "${runs:-?}" "$rate" "$found"
    if [ "$found" -ne 0 ]; then
        status=1
        find "$findings" -type f -newer "$log.start" | sed 's/^/    /'
    fi
done
exit $status

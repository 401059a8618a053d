#!/usr/bin/env bash
# Checks one vm session on the host: every run the guest made through the
# kernel against the bench's run of the same bench file and script, and the
# files the session left against the bench's. tests/vm/README.md describes a
# session's folder. Usage: check.sh SESSION_DIR RESULT_DIR USBISP WORK_DIR
set -uo pipefail

if [ $# -ne 4 ]; then
    echo "usage: check.sh SESSION_DIR RESULT_DIR USBISP WORK_DIR" >&2
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

# A production station's session has checks of its own.
if grep -q '^station ' "$session/plan"; then
    exec "$here/check_station.sh" "$@"
fi

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
mkdir -p "$work/bench" "$work/dir" "$work/dumps"
# The bench's files (bench files, firmware) and the program's directory.
find "$session" -maxdepth 1 -type f -exec cp {} "$work/bench/" \;
if [ -f "$session/fixtures" ]; then
    while read -r folder; do
        case $folder in '' | '#'*) continue ;; esac
        cp -r "$here/../../$folder/." "$work/dir/"
    done <"$session/fixtures"
fi
[ -d "$session/files" ] && cp -r "$session/files/." "$work/dir/"
# The directory the recorded runs are replayed over, as the session began.
cp -r "$work/dir" "$work/replay-dir"

# The readers the guest plugged in, by their number on the bench.
readers=$(awk '$1 == "reader" { print $2 }' "$session/plan")

# The firmware file of each reader of a bench, in bench order (each reader
# names its firmware "@FILE" beside the bench file).
firmware_files() {
    grep -o '"firmware": *"@[^"]*"' "$1" | sed 's/.*"@\(.*\)"/\1/'
}

# Each plugged reader's firmware on the bench: at first the one its bench
# entry names, then what the last run over bench.json left.
index=0
for file in $(firmware_files "$work/bench/bench.json"); do
    index=$((index + 1))
    cp "$work/bench/$file" "$work/dumps/reader-$index.bin"
done

# The bench's script for a run: the guest's actions, with the firmware of
# every plugged reader dumped before the window ends (dump leaves no line in
# the transcript). A run over another bench, which need not have the
# readers, dumps nothing.
bench_script() {
    local dumps="" reader
    if [ "$2" = bench.json ]; then
        for reader in $readers; do dumps+="dump $reader VMDUMP$reader.BIN"$'\n'; done
    fi
    awk -v dumps="$dumps" '
        { lines[++n] = $0 }
        /^[ \t]*(click Close|cancel)[ \t]*$/ { last = n }
        END {
            for (i = 1; i <= n; i++) {
                if (i == last) printf "%s", dumps
                print lines[i]
            }
            if (!last) printf "%s", dumps
        }' "$1"
}

rules=$session/kernel.txt
[ -f "$rules" ] || rules=/dev/null
used=$work/rules-used
: >"$used"
# What Wine makes differ, for every wine line (tests/vm/wine.txt; another
# file in VMTEST_WINE_DIFFERENCES, for check_selftest.sh).
wine_rules=${VMTEST_WINE_DIFFERENCES:-$here/wine.txt}
wine_used=$work/wine-rules-used
: >"$wine_used"

# A wine line is a run too: the Windows program under Wine, worked by
# WineDriver.exe with SCRIPT; the bench runs its replay= script, and the
# transcript checked against the bench's is that of the program's recording
# replayed on the bench (below). What the driver saw must be its driver=
# file, written by hand.
run=0
while read -r verb script rest; do
    [ "$verb" = run ] || [ "$verb" = wine ] || continue
    run=$((run + 1))
    bench=bench.json
    stderr_file=""
    status=0
    user=root
    previous=""
    actions=$script
    for word in $rest; do
        [ "$previous" = as ] && user=$word
        previous=$word
        case $word in
            bench=*) bench=${word#bench=} ;;
            stderr=*) stderr_file=$session/${word#stderr=} ;;
            status=*) status=${word#status=} ;;
            replay=*) actions=${word#replay=} ;;
        esac
    done
    out=$result/run-$run
    if [ "$verb" = wine ]; then
        driver_file=$(printf '%s\n' $rest | sed -n 's/^driver=//p')
        if [ ! -f "$out.driver" ]; then
            fail "run $run ($script): the guest did not make it"
            continue
        fi
        if [ "$actions" = "$script" ] || [ -z "$driver_file" ]; then
            fail "run $run ($script): a wine line names its replay= and driver= files"
            continue
        fi
        if ! diff -u --label "$driver_file" --label "WineDriver.exe in the guest" "$session/$driver_file" \
            <(tr -d '\r' <"$out.driver") >&2; then
            fail "run $run ($script): the Windows program did not do what $driver_file says"
            sed 's/^/  /' "$out.wine" 2>/dev/null | tail -n 20 >&2
        fi
        if [ "$(cat "$out.status")" != 0 ]; then
            fail "run $run: WineDriver.exe ended with status $(cat "$out.status")"
        fi
    elif [ ! -f "$out.out" ]; then
        fail "run $run ($script): the guest did not make it"
        continue
    fi
    bench_script "$session/$actions" "$bench" >"$work/script-$run.txt"
    timeout 120 "$usbisp" --bench "$work/bench/$bench" --script "$work/script-$run.txt" --trace-io \
        --dir "$work/dir" >"$work/bench-$run.txt" 2>"$work/bench-$run.err"
    bench_status=$?
    if [ "$bench_status" -ne 0 ] || [ -s "$work/bench-$run.err" ]; then
        fail "run $run: the bench's run failed (status $bench_status):"
        sed 's/^/  /' "$work/bench-$run.err" >&2
        continue
    fi
    # Each reader starts the next run with the firmware it holds now, as the
    # virtual reader, which lives on through the whole session, does.
    index=0
    for file in $(firmware_files "$work/bench/bench.json"); do
        index=$((index + 1))
        dump=$work/dir/VMDUMP$index.BIN
        [ -f "$dump" ] || continue
        cp "$dump" "$work/bench/$file"
        mv "$dump" "$work/dumps/reader-$index.bin"
    done
    rm -f "$work"/dir/VMDUMP*.BIN

    # What only the kernel can make differ, as the session names it; and
    # for the Windows program, what Wine does.
    if ! awk -v rules="$rules" -v used="$used" -f "$here/differences.awk" "$work/bench-$run.txt" \
        >"$work/expected-$run.txt"; then
        fail "kernel.txt cannot be read"
        continue
    fi
    if [ "$verb" = wine ]; then
        if ! awk -v rules="$wine_rules" -v used="$wine_used" -f "$here/differences.awk" \
            "$work/expected-$run.txt" >"$work/expected-$run.wine" ||
            ! mv "$work/expected-$run.wine" "$work/expected-$run.txt"; then
            fail "wine.txt cannot be read"
            rm -f "$work/expected-$run.txt"
        fi
        continue
    fi
    if ! diff -u --label "bench, with the session's differences" --label "guest: $script" \
        "$work/expected-$run.txt" "$out.out" >"$work/diff-$run.txt"; then
        fail "run $run ($script): the transcript differs from the bench's"
        head -n 60 "$work/diff-$run.txt" >&2
    fi
    if [ -n "$stderr_file" ]; then
        if ! diff -u --label expected --label "guest's standard error" "$stderr_file" "$out.err" >&2; then
            fail "run $run: standard error differs"
        fi
    elif [ -s "$out.err" ]; then
        fail "run $run: standard error is not empty:"
        sed 's/^/  /' "$out.err" >&2
    fi
    # A user's run is made without any capability (CAP_SYS_RAWIO above all).
    if [ "$user" != root ]; then
        capabilities=$(sed -n 's/^CapEff:[[:space:]]*//p' "$out.who" 2>/dev/null)
        if [ "$capabilities" != 0000000000000000 ]; then
            fail "run $run: $user ran with the capabilities '$capabilities'"
        fi
    fi
    if [ "$(cat "$out.status")" != "$status" ]; then
        fail "run $run: exit status $(cat "$out.status"), not $status"
    fi
done <"$session/plan"
if [ "$run" -eq 0 ]; then
    fail "the plan has no run"
fi
if [ -s "$result/run-$((run + 1)).out" ] || [ -s "$result/run-$((run + 1)).driver" ]; then
    fail "the guest made more runs than the plan has"
fi

# Each recorded run (record) replayed on the bench, the recording as the
# bench, with the same script: the guest's transcript but for the reasons
# only the kernel gives a failure, the same exit status; and once every run
# was recorded and replayed, the same directory as the guest's.
# A wine run's recording, replayed with its replay= script, must print the
# bench's transcript of that script, with the session's differences, and end
# as the bench's run did.
replayed=0
run=0
while read -r verb script rest; do
    [ "$verb" = run ] || [ "$verb" = wine ] || continue
    run=$((run + 1))
    out=$result/run-$run
    actions=$script
    if [ "$verb" = wine ]; then
        actions=$(printf '%s\n' $rest | sed -n 's/^replay=//p')
        # A wine line that could not be checked above is failed already.
        [ -n "$actions" ] && [ -f "$work/expected-$run.txt" ] || continue
    else
        case " $rest " in *" record "*) ;; *) continue ;; esac
    fi
    if [ ! -f "$out.rec.json" ]; then
        fail "run $run ($script): the guest left no recording"
        continue
    fi
    timeout 120 "$usbisp" --bench "$out.rec.json" --script "$session/$actions" --trace-io \
        --dir "$work/replay-dir" >"$work/replay-$run.txt" 2>"$work/replay-$run.err"
    replay_status=$?
    expected_status=$(cat "$out.status")
    [ "$verb" = wine ] && expected_status=0
    if [ "$replay_status" != "$expected_status" ]; then
        fail "run $run: the replay ended with status $replay_status, the guest's run with $expected_status:"
        sed 's/^/  /' "$work/replay-$run.err" >&2
    fi
    without_reasons() { sed -E 's/ reason="([^"\\]|\\.)*"$//' "$1"; }
    if [ "$verb" = wine ]; then
        if ! diff -u --label "bench, with the session's differences" \
            --label "replayed from the Windows program's recording" \
            <(without_reasons "$work/expected-$run.txt") <(without_reasons "$work/replay-$run.txt") \
            >"$work/replay-diff-$run.txt"; then
            fail "run $run ($script): the replay of the Windows program's recording differs from the bench"
            head -n 60 "$work/replay-diff-$run.txt" >&2
        fi
    elif ! diff -u --label "guest: $script" --label "replayed from its recording" \
        <(without_reasons "$out.out") <(without_reasons "$work/replay-$run.txt") \
        >"$work/replay-diff-$run.txt"; then
        fail "run $run ($script): the replay's transcript differs from the guest's"
        head -n 60 "$work/replay-diff-$run.txt" >&2
    fi
    replayed=$((replayed + 1))
    echo "$name: run $run replayed from its recording ($(wc -c <"$out.rec.json") bytes)"
done <"$session/plan"
if [ "$replayed" -gt 0 ] && [ "$replayed" -eq "$run" ]; then
    # SERIAL.LCK names the process that held the directory: another on each side.
    if ! diff -r -x SERIAL.LCK "$work/replay-dir" "$result/dir" >&2; then
        fail "the replays' directory differs from the guest's"
    fi
fi

# A named difference that never occurred is stale.
for block in $(awk '{ count[$1] += $2 } END { for (b in count) if (count[b] == 0) print b }' "$used"); do
    fail "difference $block of kernel.txt never occurred"
done
for block in $(awk '{ count[$1] += $2 } END { for (b in count) if (count[b] == 0) print b }' "$wine_used"); do
    fail "difference $block of tests/vm/wine.txt never occurred in a wine run"
done

# No reader met a sanitizer's finding.
for reader in $readers; do
    if grep -qE 'ERROR: AddressSanitizer|runtime error:' "$result/reader-$reader.log" 2>/dev/null; then
        fail "virtual reader $reader met a sanitizer's finding:"
        grep -A 12 -E 'ERROR: AddressSanitizer|runtime error:' "$result/reader-$reader.log" >&2
    fi
done

# The guest's own Bulk-Only host found every rule kept.
while read -r verb reader rest; do
    [ "$verb" = client ] || continue
    if [ "$(cat "$result/client-$reader.status" 2>/dev/null)" != 0 ]; then
        fail "the Bulk-Only client against reader $reader failed:"
        sed 's/^/  /' "$result/client-$reader.out" >&2 2>/dev/null
    fi
done <"$session/plan"

# The program's directory (SERIAL.TXT above all), and the firmware each
# virtual reader holds at the end, written out by it, against the bench's.
# SERIAL.LCK names the process that held the directory: another on each side.
if ! diff -r -x SERIAL.LCK "$work/dir" "$result/dir" >&2; then
    fail "the program's directory differs from the bench's"
fi
for reader in $readers; do
    # It served the host as the user reader, without any capability.
    who=$result/reader-$reader.who
    if [ "$(sed -n 's/^Uid:[[:space:]]*//p' "$who" 2>/dev/null | tr -s '[:space:]' ' ')" != "1002 1002 1002 1002 " ] ||
        [ "$(sed -n 's/^CapEff:[[:space:]]*//p' "$who" 2>/dev/null)" != 0000000000000000 ] ||
        [ "$(sed -n 's/^CapPrm:[[:space:]]*//p' "$who" 2>/dev/null)" != 0000000000000000 ]; then
        fail "virtual reader $reader did not serve as 1002 without capabilities: $(tr '\n' ' ' <"$who" 2>/dev/null)"
    fi
    if [ ! -f "$result/reader-$reader.bin" ]; then
        fail "virtual reader $reader wrote out no firmware"
    elif ! cmp "$work/dumps/reader-$reader.bin" "$result/reader-$reader.bin" >&2; then
        fail "virtual reader $reader holds other firmware than the bench's reader $reader"
    fi
done

[ "$failures" -eq 0 ]

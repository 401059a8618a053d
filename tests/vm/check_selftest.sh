#!/usr/bin/env bash
# check.sh must fail a session whenever the guest's results differ from the
# bench's, and pass it only when they agree up to the differences it names.
# Each row below alters a guest's results made on the bench itself and says
# whether check.sh must pass (0) or fail (1) them. No guest needed.
# Usage: check_selftest.sh USBISP
set -uo pipefail

if [ $# -ne 1 ]; then
    echo "usage: check_selftest.sh USBISP" >&2
    exit 2
fi
usbisp=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d) || exit 1
[ -d "$scratch" ] || exit 1
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT

# A session: one reader, programmed (so that SERIAL.TXT and the firmware
# change), over the demo's files.
session=$scratch/session
mkdir -p "$session"
cp "$here/../../demo/files/DEMO7620.BIN" "$session/reader1.bin"
echo demo/files >"$session/fixtures"
cat >"$session/bench.json" <<'JSON'
{"windows": "xp", "clock": "2003-11-18T09:30:00", "refusals": "check-condition",
 "readers": [{"letters": "E", "vid": "058f", "pid": "6362", "serial": "000000000001",
   "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
   "hardwareRevision": "76 20 43", "firmware": "@reader1.bin"}]}
JSON
printf 'click ISP_Ena\nclick WIN9xISP\nclick Close\n' >"$session/script.txt"
printf 'reader 1 1\nrun script.txt\n' >"$session/plan"

# What a guest that behaves exactly as the bench leaves.
pristine=$scratch/pristine
mkdir -p "$pristine/dir"
cp "$here/../../demo/files/." "$pristine/dir/" -r
cp "$session/reader1.bin" "$scratch/reader1.bin"
sed 's/reader1.bin/..\/reader1.bin/' "$session/bench.json" >"$pristine/bench.json"
printf 'click ISP_Ena\nclick WIN9xISP\ndump 1 FIRMWARE.BIN\nclick Close\n' >"$scratch/script.txt"
"$usbisp" --bench "$pristine/bench.json" --script "$scratch/script.txt" --trace-io \
    --dir "$pristine/dir" --record "$pristine/run-1.rec.json" >"$pristine/run-1.out" \
    2>"$pristine/run-1.err"
echo $? >"$pristine/run-1.status"
mv "$pristine/dir/FIRMWARE.BIN" "$pristine/reader-1.bin"
# Who served as the virtual reader: the user reader, without capabilities.
printf 'Uid:\t1002\t1002\t1002\t1002\nGid:\t1002\t1002\t1002\t1002\nGroups:\t\nCapPrm:\t0000000000000000\nCapEff:\t0000000000000000\n' \
    >"$pristine/reader-1.who"
rm "$pristine/bench.json"
io_line=$(grep -m 1 '^io ioctl.*cdb=06b1' "$pristine/run-1.out")
if [ -z "$io_line" ]; then
    echo "check_selftest: the bench's run has no transfer line" >&2
    exit 1
fi
changed_line=${io_line/ ok / fail }

# expected status | what is done to the results (in $r) or the session ($s)
rows=$(
    cat <<'ROWS'
0|true
1|sed -i '3s/^/x/' "$r/run-1.out"
1|sed -i '$d' "$r/run-1.out"
1|echo more >>"$r/run-1.out"
0|printf '# why\n- %s\n+ %s\n' "$IO" "$CHANGED" >"$s/kernel.txt"; awk '$0 == ENVIRON["IO"] { $0 = ENVIRON["CHANGED"] } 1' "$r/run-1.out" >"$r/t" && mv "$r/t" "$r/run-1.out"
1|printf '# why\n- %s\n+ %s\n' "$IO" "$CHANGED" >"$s/kernel.txt"
1|printf '# why\n- never printed\n+ either\n' >"$s/kernel.txt"
1|printf '+ no anchor\n' >"$s/kernel.txt"
0|printf '# dropped\n- end ok\n' >"$s/kernel.txt"; sed -i '$d' "$r/run-1.out"
1|echo "usbisp: a complaint" >"$r/run-1.err"
0|echo "usbisp: a complaint" >"$r/run-1.err"; echo "usbisp: a complaint" >"$s/complaint.txt"; sed -i 's/^run script.txt$/run script.txt stderr=complaint.txt/' "$s/plan"
1|echo 2 >"$r/run-1.status"
1|echo "0x57 0x1 0x999" >"$r/dir/SERIAL.TXT"
1|echo extra >"$r/dir/EXTRA.TXT"
1|printf '\377' | dd of="$r/reader-1.bin" bs=1 seek=100 conv=notrunc 2>/dev/null
1|rm "$r/reader-1.bin"
1|rm "$r/reader-1.who"
1|echo "==7==ERROR: AddressSanitizer: heap-buffer-overflow" >>"$r/reader-1.log"
1|echo "a.cpp:1:2: runtime error: load of misaligned address" >>"$r/reader-1.log"
0|echo "lun=0 len=36 dir=in cb=120000002400 in=36 status=0 residue=0" >>"$r/reader-1.log"
0|printf 'client 1 058f:6362 1\n' >>"$s/plan"; echo 0 >"$r/client-1.status"; echo "ok all" >"$r/client-1.out"
1|printf 'client 1 058f:6362 1\n' >>"$s/plan"; echo 1 >"$r/client-1.status"; echo "FAIL one" >"$r/client-1.out"
1|printf 'client 1 058f:6362 1\n' >>"$s/plan"
0|printf 'client disk 1d6b:0104 1\n' >>"$s/plan"; echo 0 >"$r/client-disk.status"; echo "skip one: why" >"$r/client-disk.out"
1|printf 'client disk 1d6b:0104 1\n' >>"$s/plan"; echo 1 >"$r/client-disk.status"; echo "FAIL one" >"$r/client-disk.out"
1|sed -i 's/^Uid:.*/Uid:\t0\t0\t0\t0/' "$r/reader-1.who"
1|sed -i 's/^Uid:.*/Uid:\t1002\t0\t1002\t1002/' "$r/reader-1.who"
1|sed -i 's/^CapEff:.*/CapEff:\t000001ffffffffff/' "$r/reader-1.who"
1|sed -i 's/^CapPrm:.*/CapPrm:\t0000000000200000/' "$r/reader-1.who"
1|echo "no gadget" >"$r/failed"
1|rm "$r/run-1.out"
1|cp "$r/run-1.out" "$r/run-2.out"
0|sed -i 's/^run script.txt$/run script.txt record/' "$s/plan"
1|sed -i 's/^run script.txt$/run script.txt record/' "$s/plan"; rm "$r/run-1.rec.json"
1|sed -i 's/^run script.txt$/run script.txt record/' "$s/plan"; sed -i '0,/"out":"2c000000/s//"out":"2c000200/' "$r/run-1.rec.json"
0|as_wine
1|as_wine; echo "exit 1" >"$r/run-1.driver"
1|as_wine; echo 1 >"$r/run-1.status"
1|as_wine; rm "$r/run-1.rec.json"
1|as_wine; sed -i '0,/"out":"2c000000/s//"out":"2c000200/' "$r/run-1.rec.json"
1|as_wine; sed -i 's/ driver=driver.txt//' "$s/plan"
1|as_wine; sed -i 's/ replay=script.txt//' "$s/plan"
1|as_wine; cp "$r/run-1.driver" "$r/run-2.driver"
1|as_wine; printf '# why\n- never printed\n+ either\n' >"$WINE_DIFFERENCES"
0|as_wine; printf '# why\n- end ok\n+ end ok\n' >"$WINE_DIFFERENCES"
1|as_wine; printf '# why\n- end ok\n+ end failed\n' >"$WINE_DIFFERENCES"
0|printf '# why\n- never printed\n+ either\n' >"$WINE_DIFFERENCES"
ROWS
)

# The run made by the Windows program under Wine instead (a wine line): what
# the driver saw, written by hand, and the recording, which is the bench's
# own, as the recordings of both programs share one format.
as_wine() {
    sed -i 's/^run script.txt$/wine windows.txt reader=1 replay=script.txt driver=driver.txt/' "$s/plan"
    printf 'tail 1021 "Success Number Of ISP: 1"\nexit 0\n' >"$s/driver.txt"
    cp "$s/driver.txt" "$r/run-1.driver"
    rm "$r/run-1.out" "$r/run-1.err"
}
export -f as_wine

failures=0
row=0
while IFS='|' read -r want action; do
    row=$((row + 1))
    s=$scratch/row-$row/session
    r=$scratch/row-$row/result
    mkdir -p "$s" "$r"
    cp -r "$session/." "$s/"
    cp -r "$pristine/." "$r/"
    # Wine's differences: none, unless the row writes some.
    WINE_DIFFERENCES=$scratch/row-$row/wine.txt
    : >"$WINE_DIFFERENCES"
    IO=$io_line CHANGED=$changed_line s=$s r=$r WINE_DIFFERENCES=$WINE_DIFFERENCES bash -ec "$action" || {
        echo "check_selftest: row $row: the alteration failed: $action" >&2
        failures=$((failures + 1))
        continue
    }
    VMTEST_WINE_DIFFERENCES=$WINE_DIFFERENCES \
        "$here/check.sh" "$s" "$r" "$usbisp" "$scratch/row-$row/work" >"$scratch/row-$row/log" 2>&1
    got=$?
    if [ "$got" -ne "$want" ]; then
        echo "check_selftest: row $row ($action): check.sh ended $got, not $want" >&2
        sed 's/^/  /' "$scratch/row-$row/log" >&2
        failures=$((failures + 1))
    fi
done <<<"$rows"
echo "check_selftest: $row rows, $failures wrong"
[ "$failures" -eq 0 ]

#!/usr/bin/env bash
# Runs one Wine test case: the driver works the Windows program under Xvfb in
# the run's Wine prefix, and what it saw is compared with the case's
# expected.txt, written by hand. The programs are those of the 32-bit build
# or, where this machine cannot run them, of the 64-bit build (programs.sh).
# A case with replay.txt recorded its run (/record REC.JSON): usbisp replays
# the recording with replay.txt, the same actions, and must print what its
# own run over the case's BENCH.JSON prints and leave the SERIAL.TXT the
# Windows program left.
# Usage: run_case.sh PREFIX WIN_BUILD WIN64_BUILD CASE_DIR WORK_DIR [USBISP]
set -euo pipefail
prefix=$1 win=$2 win64=$3 case_dir=$4 work=$5 usbisp=${6:-}
bin=$("$(dirname "$0")/programs.sh" dir "$win" "$win64")

for tool in wine xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh wine" >&2; exit 1; }
done
for exe in UsbIsp.exe UsbIspBench.exe WineDriver.exe; do
    [ -f "$bin/$exe" ] || { echo "$bin/$exe is missing: run make windows" >&2; exit 1; }
done

# Say which programs ran, and hold the build to the probe's word.
format=$(x86_64-w64-mingw32-objdump -f "$bin/UsbIsp.exe" | sed -n 's/.*file format //p')
case "$bin:$format" in
    "$win:pei-i386") echo "running the 32-bit programs of $bin" ;;
    "$win64:pei-x86-64") echo "running the 64-bit programs of $bin" ;;
    *) echo "$bin/UsbIsp.exe is $format, not what its build should hold" >&2; exit 1 ;;
esac

rm -rf "$work"
mkdir -p "$work"
cp "$bin"/UsbIsp.exe "$bin"/UsbIspBench.exe "$bin"/WineDriver.exe "$work"/
[ -d "$case_dir/files" ] && cp -r "$case_dir/files/." "$work"/
cp "$case_dir/script.txt" "$work"/

export WINEPREFIX=$prefix WINEDEBUG=-all
# No ASPI layer: the machine under test has none installed.
export WINEDLLOVERRIDES="wnaspi32=d;mscoree,mshtml="
cd "$work"
# The driver asks for the screenshot with SHOT.REQ and waits for SHOT.DONE.
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    (while [ ! -f SHOT.REQ ]; do sleep 0.2; done
     import -window root screenshot.png || true
     touch SHOT.DONE) &
    watcher=$!
    status=0
    # Standard error, which the program inherits, holds what Wine reports of
    # it (the traced calls); the driver reads it back.
    timeout 600 wine WineDriver.exe script.txt > actual.txt 2> WINE.LOG || status=$?
    kill $watcher 2>/dev/null || true
    wineserver -w
    exit $status' || { echo "the driver failed:"; tr -d '\r' < actual.txt; cat WINE.LOG; exit 1; }

# The Windows console writes its lines with "\r\n".
tr -d '\r' < actual.txt > seen.txt
diff -u "$case_dir/expected.txt" seen.txt
[ -f "$case_dir/replay.txt" ] || exit 0

[ -x "$usbisp" ] || { echo "usbisp is missing: the case replays with it" >&2; exit 1; }
[ -s REC.JSON ] || { echo "the program wrote no recording" >&2; exit 1; }
mkdir native replayed
cp -r "$case_dir/files/." native/
cp -r "$case_dir/files/." replayed/
"$usbisp" --bench native/BENCH.JSON --script "$case_dir/replay.txt" --trace-io --dir native \
    > native.txt
"$usbisp" --bench REC.JSON --script "$case_dir/replay.txt" --trace-io --dir replayed \
    > replayed.txt 2> replayed.err || { echo "the replay failed:"; cat replayed.err; exit 1; }
[ ! -s replayed.err ] || { echo "the replay said:"; cat replayed.err; exit 1; }
diff -u --label "usbisp over BENCH.JSON" --label "usbisp over the Windows program's recording" \
    native.txt replayed.txt
cmp SERIAL.TXT replayed/SERIAL.TXT
echo "replayed the Windows program's recording ($(wc -c < REC.JSON) bytes) with usbisp"

#!/usr/bin/env bash
# Drives the terminal window through tmux, on a bench without real time in a
# scratch directory: the start-up summary, the main window with its controls
# and the device report, a programming run to its success lines, the mouse,
# a message box, a too small terminal, the terminal given back after Escape
# and after Ctrl-C, and the window over real readers (--real). The program
# runs in a UTF-8 locale, as most terminals are, with frames drawn as lines.
# Usage: window_test.sh USBISP DEMO_FILES_DIR TMUX
set -euo pipefail
usbisp=$1
demo=$2
tmux_bin=${3:-}
if [ -z "$tmux_bin" ] || [ ! -x "$tmux_bin" ]; then
    echo "tmux not found: install it with scripts/install-deps.sh native" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/usbisp-tui-XXXXXX")
socket=$work/tmux.sock
cleanup() {
    "$tmux_bin" -S "$socket" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Our own tmux server and settings, whatever the user's terminal and tmux are.
unset TMUX
cat >"$work/tmux.conf" <<'CONF'
set -g default-terminal screen
set -g status off
set -g remain-on-exit on
CONF
tmux() { "$tmux_bin" -S "$socket" -f "$work/tmux.conf" "$@"; }

mkdir "$work/dir"
cp "$demo"/* "$work/dir/"
# The demo bench without real time; the reader holds the demo firmware.
cat >"$work/dir/bench.json" <<'JSON'
{
  "windows": "xp",
  "clock": "2003-11-18T09:30:00",
  "drives": "C",
  "readers": [
    {
      "letters": "E",
      "vid": "058f", "pid": "6362",
      "manufacturer": "Generic", "product": "USB Card Reader", "serial": "000000000001",
      "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
      "firmwareRevision": "01 02 03 03 05 14 01 02",
      "firmwareRevisionOrg": "01 02 35 14",
      "usb20FirmwareRevision": "01 02 03 03 05 14 01 02",
      "hardwareRevision": "76 20 43",
      "firmware": "@DEMO7620.BIN"
    }
  ]
}
JSON

screen() { tmux capture-pane -p -t "$1"; }

fail() {
    echo "FAIL: $1" >&2
    echo "--- screen of $2 ---" >&2
    screen "$2" >&2 || true
    exit 1
}

# Waits until every text shows on the pane's screen, up to a deadline.
wait_for() {
    local pane=$1
    shift
    local deadline=$((SECONDS + 15))
    while true; do
        local shot missing=""
        shot=$(screen "$pane")
        for text in "$@"; do
            if ! grep -qF -- "$text" <<<"$shot"; then
                missing=$text
                break
            fi
        done
        [ -z "$missing" ] && return 0
        [ $SECONDS -ge $deadline ] && fail "\"$missing\" did not show" "$pane"
        sleep 0.1
    done
}

wait_gone() {
    local pane=$1 text=$2
    local deadline=$((SECONDS + 15))
    while grep -qF -- "$text" <<<"$(screen "$pane")"; do
        [ $SECONDS -ge $deadline ] && fail "\"$text\" did not go" "$pane"
        sleep 0.1
    done
}

wait_file() {
    local file=$1 pane=$2
    local deadline=$((SECONDS + 15))
    until [ -s "$file" ]; do
        [ $SECONDS -ge $deadline ] && fail "$file was not written" "$pane"
        sleep 0.1
    done
}

# Canonical input and echo are on again ("-icanon" or "-echo" means off).
modes_restored() {
    ! grep -qE '(^|[[:space:]])-(icanon|echo)([[:space:]]|;|$)' "$1"
}

# A left click at a screen cell (0-based), as an xterm-style terminal reports
# it: press, then release.
click() {
    local pane=$1 x=$2 y=$3
    local cx cy
    cx=$(printf "\\$(printf '%03o' $((x + 33)))")
    cy=$(printf "\\$(printf '%03o' $((y + 33)))")
    tmux send-keys -t "$pane" -l $'\e[M'" $cx$cy"
    tmux send-keys -t "$pane" -l $'\e[M'"#$cx$cy"
}

# Column and row of a text on the screen.
locate() {
    screen "$1" | awk -v t="$2" '{ i = index($0, t); if (i) { print i - 1, NR - 1; exit } }'
}

# The pane's shell outlives the program (also its Ctrl-C), then records the
# exit status and the terminal's modes.
cat >"$work/run.sh" <<RUN
trap 'true' INT
cd '$work/dir'
export LC_ALL=C.UTF-8
'$usbisp' --bench bench.json --dir .
echo \$? > '$work/status'
stty -a > '$work/stty'
RUN
run="bash '$work/run.sh'"
tmux new-session -d -s main -x 100 -y 40 "$run"

# Start-up: the update data summary, before the main window.
wait_for main "User ISP Update Data Dialog" "ISP USB ROMCODE: DEMO7620.BIN" "[  OK  ]"
if grep -qF "WIN9xISP" <<<"$(screen main)"; then fail "main window shown before the summary's OK" main; fi
tmux send-keys -t main Enter

# The main window with every control, its title and the device report.
wait_for main "[ NOVU ] USB Device upgrade F/W  AP  Version 3.08" \
    "Device Sel  :" "Device Name :" "Flash Reader    [E:]" "Inq.ProductName" "[ ] SelfDriverSel" \
    "Manufacture" "[ ] ISP_Ena" "[ ] ISP_MS F/W" "[ WIN9xISP ]" "[ WIN9xVER ]" \
    "Static" "[ GetInfo ]" "[ UserISPInfo ]" "[ Close ]" "F5 replug" \
    "====  Device String And Inquiry Information     =====" \
    " Str Product Name     :USB Card Reader" " Device VID-PID       :[058f]-[6362]" \
    " Total Device Plug In : 1 "

# The frames are lines, as in xterm and the Linux console, also here under
# tmux (TERM=screen) in a UTF-8 locale: not the letters of the VT100 line set
# ("lqqqk", "x").
shot=$(screen main)
grep -qF "┌─ [ NOVU ] USB Device upgrade F/W  AP  Version 3.08 ──" <<<"$shot" ||
    fail "the main window's frame is not drawn with lines" main
grep -qF "│ Device Sel  :" <<<"$shot" || fail "the main window's side is not a line" main
grep -qF "│ ┌─Manufacture──" <<<"$shot" || fail "the group frames are not drawn with lines" main
if grep -qE 'lqq|qqk|^x ' <<<"$shot"; then fail "frames drawn as letters" main; fi

# In the C locale curses draws them with the VT100 line set, switched on
# (SO) and off (SI) around them, which tmux shows as lines; capture-pane -e
# keeps the switch.
tmux new-session -d -s plain -x 100 -y 40 "cd '$work/dir' && LC_ALL=C '$usbisp' --bench bench.json --dir .; sleep 60"
wait_for plain "User ISP Update Data Dialog"
grep -qF $'\x0elq' <<<"$(tmux capture-pane -p -e -t plain)" ||
    fail "the frames in the C locale are not drawn with the line set" plain
tmux kill-session -t plain

# Programming without "ISP_Ena": the refusal box; Escape closes it.
tmux send-keys -t main Tab Tab Tab Tab Tab
tmux send-keys -t main Enter
wait_for main "ISP_E2: Before ISP, Please select the [ISP_ena] first!!!"
tmux send-keys -t main Escape
wait_gone main "ISP_E2"

# "ISP_Ena" by keyboard, then a programming run to its success lines.
tmux send-keys -t main BTab BTab Space
wait_for main "[x] ISP_Ena"
tmux send-keys -t main Tab Tab Enter
wait_for main "SUCCESS! ISP STATUS:9c [Firmware jump into ISP now]" \
    "SUCCESS! ISP STATUS:a5 [Write Data sucessfull]" \
    "SUCCESS! ISP STATUS:5a [Verify Data sucessfull]" \
    "Success Number Of ISP: 1" "Error   Number Of ISP: 0" "Total   Number Of ISP: 1"
[ "$(cat "$work/dir/SERIAL.TXT")" = "0x57 0x1 0x101 " ] || fail "SERIAL.TXT not advanced" main

# The mouse: "ISP_MS F/W" ticks, and "WIN9xVER" then shows the E9 box.
read -r x y < <(locate main "ISP_MS F/W")
click main "$x" "$y"
wait_for main "[x] ISP_MS F/W"
read -r x y < <(locate main "[ WIN9xVER ]")
click main "$((x + 2))" "$y"
wait_for main "ISP_E9: ISP must run under win98 or WinMe with DRIVER Install."
tmux send-keys -t main Enter
wait_gone main "ISP_E9"

# Too small a terminal gets a message; back to size, the window again.
tmux resize-window -t main -x 50 -y 12
wait_for main "The terminal is too small"
tmux resize-window -t main -x 100 -y 40
wait_for main "[ NOVU ] USB Device upgrade F/W  AP  Version 3.08" "[x] ISP_MS F/W"

# Escape ends the window; the terminal is given back as it was.
tmux send-keys -t main Escape
wait_file "$work/status" main
[ "$(cat "$work/status")" = 0 ] || fail "exit status $(cat "$work/status") after Escape" main
wait_file "$work/stty" main
modes_restored "$work/stty" || fail "terminal modes not restored" main
if grep -qF "WIN9xISP" <<<"$(screen main)"; then fail "window left on the screen" main; fi

# Ctrl-C at the start-up box: the program ends and gives the terminal back.
rm -f "$work/status" "$work/stty"
tmux new-session -d -s intr -x 100 -y 40 "$run"
wait_for intr "User ISP Update Data Dialog"
tmux send-keys -t intr C-c
wait_file "$work/status" intr
[ "$(cat "$work/status")" = 130 ] || fail "exit status $(cat "$work/status") after Ctrl-C" intr
wait_file "$work/stty" intr
modes_restored "$work/stty" || fail "terminal modes not restored" intr

# Real readers (--real), wherever there are any: the window over the Linux
# layer starts, shows what it found, answers F5 with how to replug by hand, and
# Escape ends it.
rm -f "$work/status" "$work/stty"
sed "s|--bench bench.json|--real|" "$work/run.sh" >"$work/run_real.sh"
tmux new-session -d -s real -x 100 -y 40 "bash '$work/run_real.sh'"
wait_for real "User ISP Update Data Dialog" "OS            : Windows XP"
tmux send-keys -t real Enter
wait_for real " Total Device Plug In :" "F5 replug"
tmux send-keys -t real F5
wait_for real "unplug the reader and plug it in again"
tmux send-keys -t real Escape
wait_file "$work/status" real
[ "$(cat "$work/status")" = 0 ] || fail "exit status $(cat "$work/status") of --real" real
wait_file "$work/stty" real
modes_restored "$work/stty" || fail "terminal modes not restored after --real" real

# Started where there is no DEVICE.TXT, as the installed program: standard
# error names --dir and the installed demo files, before the window and again
# after it. The lines about a --real drive that is not there end the report.
mkdir -p "$work/inst/bin" "$work/inst/share/usbisp/demo" "$work/empty"
cp "$usbisp" "$work/inst/bin/usbisp"
rm -f "$work/status"
tmux new-session -d -s nodev -x 100 -y 40 \
    "cd '$work/empty' && '$work/inst/bin/usbisp' --real --drive E=/dev/sg-usbisp-none --dir . \
     2>'$work/nodev.err'; echo \$? >'$work/status'; sleep 60"
wait_for nodev "Cannot open [DEVICE.TXT]"
note="/dev/sg-usbisp-none (E:): there is no such device; going on without E:"
# Escape closes the start-up boxes one by one; the main window comes after.
for _ in 1 2 3 4 5 6 7 8; do
    grep -qF -- "$note" <<<"$(screen nodev)" && break
    [ -s "$work/status" ] && fail "the window ended before its report named the drive" nodev
    tmux send-keys -t nodev Escape
    sleep 0.5
done
wait_for nodev "$note"
tmux send-keys -t nodev Escape
wait_file "$work/status" nodev
demo_dir=$(cd "$work/inst/share/usbisp/demo" && pwd -P)
hint="usbisp: there is no DEVICE.TXT in .: give --dir the directory with DEVICE.TXT, SERIAL.TXT and \
the ROM code file; the demo files are in $demo_dir (copy them to a directory of your own)"
[ "$(grep -c -xF -- "$hint" "$work/nodev.err")" = 2 ] ||
    fail "standard error without DEVICE.TXT: $(cat "$work/nodev.err")" nodev

echo "tui window test passed"

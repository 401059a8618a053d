#!/usr/bin/env bash
# Makes the two pictures of the README, on the demo bench with a fixed clock:
#   OUT_DIR/main-window.png      UsbIspBench.exe under Wine after a
#                                programming run, worked by the Wine tests'
#                                driver in a virtual desktop under Xvfb;
#   OUT_DIR/terminal-window.png  usbisp's terminal window after the same run,
#                                driven through tmux and shown by xterm.
# Usage: screenshots.sh USBISP WIN_BUILD WIN64_BUILD OUT_DIR
set -euo pipefail
usbisp=$(realpath "$1") win=$2 win64=$3 out=$4
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
bin=$(cd "$("$root/tests/wine/programs.sh" dir "$win" "$win64")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/usbisp-shots-XXXXXX")
socket=$work/tmux.sock
cleanup() {
    tmux -S "$socket" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The demo files and bench, at a fixed time and without real-time waits, so
# that the pictures show the same serial number on every run.
demo() {
    mkdir -p "$1"
    cp "$root"/demo/files/* "$1"/
    sed 's/"realtime": true,/"clock": "2003-11-18T09:30:00", "realtime": false,/' \
        "$root/demo/files/BENCH.JSON" >"$1/BENCH.JSON"
}

# --- The main window under Wine ---
demo "$work/wine"
cp "$bin/UsbIspBench.exe" "$bin/WineDriver.exe" "$work/wine/"
cat >"$work/wine/script.txt" <<'SCRIPT'
start UsbIspBench.exe
click ISP_Ena
click WIN9xISP
shot
click Close
exit
SCRIPT
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1
# Wine's own fonts (fonts-wine), Marlett for the caption buttons among them,
# are found where Windows keeps its fonts.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# A virtual desktop: there Wine draws the windows' frames and captions itself.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x560 /f >/dev/null 2>&1
wineserver -w
(cd "$work/wine" && xvfb-run -a -s "-screen 0 640x560x24" bash -c '
    (while [ ! -f SHOT.REQ ]; do sleep 0.2; done
     sleep 1
     import -window root desktop.png
     touch SHOT.DONE) &
    timeout 300 wine WineDriver.exe script.txt > driver.txt
    wineserver -w') || { echo "the driver failed:"; cat "$work/wine/driver.txt"; exit 1; }
# The desktop's plain background goes; the window stays.
convert "$work/wine/desktop.png" -trim +repage -strip "$out/main-window.png"
echo "made $out/main-window.png"

# --- The terminal window ---
demo "$work/tui"
unset TMUX
# The program inside sees an xterm, as it would in xterm itself: for "screen"
# the terminal library draws the window's lines as plain letters.
cat >"$work/tmux.conf" <<'CONF'
set -g default-terminal xterm
set -g status off
CONF
tmux() { command tmux -S "$socket" -f "$work/tmux.conf" "$@"; }
wait_for() {
    local deadline=$((SECONDS + 20))
    until tmux capture-pane -p -t shot | grep -qF -- "$1"; do
        [ $SECONDS -lt $deadline ] || { echo "\"$1\" did not show" >&2; tmux capture-pane -p -t shot >&2; exit 1; }
        sleep 0.1
    done
}
tmux new-session -d -s shot -x 100 -y 40 "cd '$work/tui' && '$usbisp' --bench BENCH.JSON --dir ."
wait_for "[  OK  ]"
tmux send-keys -t shot Enter
wait_for "[ WIN9xISP ]"
# To "ISP_Ena" and tick it, then on to "WIN9xISP".
tmux send-keys -t shot Tab Tab Tab Space
wait_for "[x] ISP_Ena"
tmux send-keys -t shot Tab Tab Enter
wait_for "Total   Number Of ISP: 1"
# A UTF-8 client: tmux then draws the window's lines as box-drawing characters.
LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
    xterm -T usbisp -geometry 100x40+0+0 -fa 'DejaVu Sans Mono' -fs 10 -bg black -fg grey90 \
          -e tmux -u -S '$socket' attach -t shot &
    sleep 3
    import -window usbisp '$work/terminal.png'
    kill %1" 2>/dev/null
convert "$work/terminal.png" -strip "$out/terminal-window.png"
echo "made $out/terminal-window.png"

#!/usr/bin/env bash
# The station under the operator's signals, as real processes on a bench in
# real time: headless, INT, TERM and HUP each stop it as q does (no further
# reader, the runs under way end, the summary is written, exit status 0 when
# every reader was done, and standard error says so); on the board (through
# tmux) one q ends it once its runs are over, Ctrl-C stops it as q does, and a
# second signal ends it at once by that signal, the terminal given back each
# time. Signals at random moments are kill_restart_test.cpp's.
# Usage: signals_test.sh USBISP FIXTURES_DIR TMUX
set -euo pipefail
usbisp=$1
fixtures=$2
tmux_bin=${3:-}
if [ -z "$tmux_bin" ] || [ ! -x "$tmux_bin" ]; then
    echo "tmux not found: install it with scripts/install-deps.sh native" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/usbisp-signals-XXXXXX")
socket=$work/tmux.sock
cleanup() {
    "$tmux_bin" -S "$socket" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
unset TMUX
cat >"$work/tmux.conf" <<'CONF'
set -g default-terminal screen
set -g status off
set -g remain-on-exit on
CONF
tmux() { "$tmux_bin" -S "$socket" -f "$work/tmux.conf" "$@"; }

# Eight ports in real time, two seconds from a result to the unplug: there is
# always a run under way or a reader to unplug when a signal comes.
bench=$work/bench.json
cat >"$bench" <<'JSON'
{"windows": "xp", "clock": "2003-11-18T09:30:00", "realtime": true,
 "readers": [{"inquiry": {"vendor": "Generic", "product": "Flash Reader"},
              "hardwareRevision": "73 11 00"}],
 "station": {"ports": 8, "handling": 2000, "line": {"readers": 10000, "kinds": [1]}}}
JSON

fail() {
    echo "FAIL: $1" >&2
    if [ -f "$work/dir/PRODUCTION.LOG" ]; then
        echo "--- the log's last lines ---" >&2
        tail -n 3 "$work/dir/PRODUCTION.LOG" >&2
    fi
    exit 1
}

fresh_dir() {
    rm -rf "$work/dir"
    mkdir "$work/dir"
    cp "$fixtures"/rom7311/* "$work/dir/"
}

# Waits up to 20 s until the file holds the text.
wait_in_file() {
    local deadline=$((SECONDS + 20))
    until grep -qF -- "$2" "$1" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "no \"$2\" in $1"
        sleep 0.1
    done
}

# The station's run ended with the summary in its log.
summary_written() {
    tail -n 1 "$work/dir/PRODUCTION.LOG" | grep -qF '"event":"summary"' ||
        fail "$1: the log does not end with the summary"
}

# Headless: one signal stops it as q does.
for signal in INT TERM HUP; do
    fresh_dir
    rm -f "$work/out"  # not to find the last run's lines before this one's
    "$usbisp" --station --headless --bench "$bench" --dir "$work/dir" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_in_file "$work/out" " programmed "
    kill -s "$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "headless $signal: exit status $status, not 0"
    tail -n 1 "$work/out" | grep -q '^station end ' || fail "headless $signal: no end line"
    grep -qF "usbisp: stopping: no further reader is taken" "$work/err" ||
        fail "headless $signal: standard error does not say it stops"
    summary_written "headless $signal"
done

# The board, in a pane of its own, under a shell that writes its exit status
# (128+n after signal n; tmux itself may lose it) and lets Ctrl-C through.
cat >"$work/board.sh" <<SH
trap : INT TERM HUP
"$usbisp" --station --bench "$bench" --dir "$work/dir" 2>"$work/err"
echo \$? >"$work/status.new"
mv "$work/status.new" "$work/status"
SH
start_board() {
    fresh_dir
    rm -f "$work/status"
    tmux kill-server 2>/dev/null || true
    tmux new-session -d -s board -x 100 -y 30 "exec /bin/sh $work/board.sh"
    local deadline=$((SECONDS + 20))
    until tmux capture-pane -p -t board | grep -qF "programming ["; do
        [ $SECONDS -lt $deadline ] || fail "the board shows no programming"
        sleep 0.1
    done
    pid=$(pgrep -P "$(tmux display -p -t board '#{pane_pid}')")
}

# Waits for the station to end; its exit status.
board_end() {
    local deadline=$((SECONDS + 20))
    until [ -f "$work/status" ]; do
        [ $SECONDS -lt $deadline ] || fail "$1: the station did not end"
        sleep 0.1
    done
    cat "$work/status"
}

# One q, then nothing: it ends once its runs are over.
start_board
tmux send-keys -t board q
end=$(board_end "board q")
[ "$end" = 0 ] || fail "board q: it ended with $end, not status 0"
summary_written "board q"

# Ctrl-C is INT from the terminal; the terminal is given back.
start_board
tmux send-keys -t board C-c
end=$(board_end "board Ctrl-C")
[ "$end" = 0 ] || fail "board Ctrl-C: it ended with $end, not status 0"
summary_written "board Ctrl-C"
[ "$(tmux display -p -t board '#{alternate_on}')" = 0 ] ||
    fail "board Ctrl-C: the terminal was not given back"

# A second signal ends it at once, by that signal. Both come while it is
# stopped, so that the second cannot miss the runs under way.
start_board
kill -STOP "$pid"
kill -HUP "$pid"
kill -INT "$pid"
kill -CONT "$pid"
end=$(board_end "board second signal")
[ "$end" = $((128 + 2)) ] || fail "board second signal: it ended with $end, not by SIGINT"
[ "$(tmux display -p -t board '#{alternate_on}')" = 0 ] ||
    fail "board second signal: the terminal was not given back"
echo "signals: all stopped as expected"

#!/usr/bin/env bash
# Decides which Windows programs the Wine tests run: the 32-bit ones that ship
# (build-windows) wherever this machine can run them under 32-bit Wine, else
# the 64-bit build of the same sources (build-windows64) under 64-bit Wine.
#
# Two steps, the cheap one first:
#  1. Does this machine run 32-bit x86 code at all? A five-instruction static
#     i386 program says so in a few milliseconds (some kernels have the 32-bit
#     system calls switched off, and then it fails with "Exec format error").
#  2. Only then: 32-bit Wine (wine32:i386) is installed when missing, and a
#     small 32-bit Windows program must run under Wine and report itself.
#
# Writes the decision to DIR/result ("32" or "64") and the reason to
# DIR/reason, and prints one line saying which.
# Usage: wine32-probe.sh DIR
#        wine32-probe.sh --windows-step DIR   step 2 alone with the Wine on PATH,
#                                             installing nothing (for its test)
set -euo pipefail
step=all
if [ "${1:-}" = --windows-step ]; then
    step=windows
    shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
# Wine takes only an absolute WINEPREFIX; make passes a directory relative to
# the source tree.
dir=$(cd "$1" && pwd)

decide() {
    echo "$1" >"$dir/result"
    echo "$2" >"$dir/reason"
    if [ "$1" = 32 ]; then
        echo "wine32 probe: $2: the Wine tests run the 32-bit programs"
    else
        echo "wine32 probe: $2: the Wine tests run the 64-bit build instead"
    fi
}

# Step 2: a small 32-bit Windows program must run under Wine and say so.
windows_step() {
    i686-w64-mingw32-g++-win32 -O2 -static -o "$dir/probe32.exe" "$root/tests/wine/probe32.cpp"
    export WINEPREFIX=$dir/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # The prefix is made once and kept; making it prints lines of its own.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        timeout 600 wine wineboot -i >"$dir/wineboot.log" 2>&1 || true
        wineserver -w 2>/dev/null || true
    fi
    local status=0 output detail
    output=$(timeout 300 wine "$dir/probe32.exe" 2>"$dir/probe32.err" | tr -d '\r') || status=$?
    wineserver -w 2>/dev/null || true
    if [ "$status" = 0 ] && [ "$output" = "probe32: 32-bit Windows code runs" ]; then
        decide 32 "32-bit Windows programs run under Wine"
    else
        detail=$({ echo "$output"; cat "$dir/probe32.err"; } | tr -s '\n' ' ' | head -c 200)
        decide 64 "a 32-bit Windows program does not run under Wine (exit status $status: $detail)"
    fi
}

if [ $step = windows ]; then
    windows_step
    exit 0
fi

# Step 1: exit(32) through the i386 system call gate.
cat >"$dir/exit32.s" <<'ASM'
        .globl _start
_start: movl $1, %eax
        movl $32, %ebx
        int $0x80
ASM
as --32 -o "$dir/exit32.o" "$dir/exit32.s"
ld -m elf_i386 -static -o "$dir/exit32" "$dir/exit32.o"
status=0
error=$("$dir/exit32" 2>&1) || status=$?
if [ "$status" != 32 ]; then
    error=${error##*: }
    decide 64 "this machine does not run 32-bit x86 code (${error:-exit status $status})"
    exit 0
fi

# Step 2, once 32-bit Wine is there.
if ! USBISP_WINE32=1 "$root/scripts/install-deps.sh" wine; then
    decide 64 "32-bit Wine (wine32:i386) could not be installed"
    exit 0
fi
windows_step

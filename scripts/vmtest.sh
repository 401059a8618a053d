#!/usr/bin/env bash
# make vmtest: usbisp --real through a real Linux kernel. Boots Debian's
# kernel in QEMU (TCG only: this machine's /dev/kvm cannot run the guest) with
# a busybox initramfs; its /init plugs virtual readers and plain disks into
# dummy_hcd and runs each session of tests/vm/sessions; the host then checks
# every session against the bench (tests/vm/check.sh).
# A session whose plan has wine lines runs the real UsbIsp.exe of WIN_BUILD
# under 32-bit Wine in the guest (scripts/vm-wine.sh), shared over 9p.
# Usage: vmtest.sh BUILD VM_BUILD [WIN_BUILD]   (BUILD holds usbisp,
# usbisp-reader and tests/vm/usbisp-bot-client)
set -euo pipefail

if [ $# -ne 2 ] && [ $# -ne 3 ]; then
    echo "usage: vmtest.sh BUILD VM_BUILD [WIN_BUILD]" >&2
    exit 2
fi

build=$1
vm=$2
windows=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
sessions=$here/tests/vm/sessions
usbisp=$build/usbisp
reader=$build/frontends/reader/usbisp-reader
client=$build/tests/vm/usbisp-bot-client
# Boot and all sessions take about two minutes, the Windows program's
# session half of it (more where the guest makes the Wine prefix); a guest
# that hangs is stopped after this long.
guest_seconds=${VMTEST_GUEST_SECONDS:-1200}

seconds() { awk -v from="$1" -v to="$2" 'BEGIN { printf "%.1f", to - from }'; }

started=$(date +%s.%N)
mkdir -p "$vm"
"$here/scripts/vm-kernel.sh" "$vm/kernel-cache" "$vm/kernel"
# VMTEST_SESSIONS="discovery two_readers" runs only these.
if [ -n "${VMTEST_SESSIONS:-}" ]; then
    rm -rf "$vm/sessions"
    mkdir -p "$vm/sessions"
    for name in $VMTEST_SESSIONS; do
        if [ ! -d "$sessions/$name" ]; then
            echo "vmtest: there is no session $name" >&2
            exit 2
        fi
        cp -r "$sessions/$name" "$vm/sessions/"
    done
    sessions=$vm/sessions
fi
# VMTEST_SANITIZED_READER: usbisp-reader built with the sanitizers, for the
# sessions that ask for it.
"$here/scripts/vm-initramfs.sh" "$vm/kernel" "$usbisp" "$reader" "$sessions" "$vm/initramfs.cpio" "$client" \
    ${VMTEST_SANITIZED_READER:+"$VMTEST_SANITIZED_READER"}

# The Windows program's Wine, when a session asks for it.
share=()
if grep -qs '^wine ' "$sessions"/*/plan; then
    for exe in UsbIsp.exe WineDriver.exe; do
        if [ -z "$windows" ] || [ ! -f "$windows/$exe" ]; then
            echo "vmtest: a session runs the Windows program, and ${windows:-no Windows build} has no $exe (make windows)" >&2
            exit 1
        fi
    done
    "$here/scripts/vm-wine.sh" "$vm/wine-cache" "$vm/wine"
    mkdir -p "$vm/wine/programs"
    cp "$windows/UsbIsp.exe" "$windows/WineDriver.exe" "$vm/wine/programs/"
    share=(-virtfs "local,path=$vm/wine,mount_tag=wine,security_model=none")
fi

console=$vm/console.log
channel=$vm/results.b64
rm -f "$console" "$channel"
rm -rf "$vm/results" "$vm/check"
console_tail() {
    echo "--- the guest's console, last lines ($console) ---" >&2
    tail -n "${1:-40}" "$console" >&2 || true
}

# The uncompressed kernel boots through its PVH entry, without the
# decompressor; cryptomgr.notests skips the crypto self-tests, seconds under
# TCG.
booted=$(date +%s.%N)
status=0
timeout --kill-after=10 "$guest_seconds" \
    qemu-system-x86_64 -accel tcg -machine pc -cpu qemu64 -smp 1 -m 1024 \
        -nodefaults -display none -no-reboot \
        -kernel "$vm/kernel/vmlinux" -initrd "$vm/initramfs.cpio" \
        -append "console=ttyS0 panic=-1 quiet cryptomgr.notests" \
        -serial "file:$console" -serial "file:$channel" ${share[@]+"${share[@]}"} </dev/null || status=$?
finished=$(date +%s.%N)
if [ "$status" -ne 0 ]; then
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "vmtest: the guest did not power off within $guest_seconds s" >&2
    else
        echo "vmtest: QEMU ended with status $status" >&2
    fi
    console_tail
    exit 1
fi

# The results come as base64 between two marks; without the end mark the
# guest stopped while sending.
if ! grep -qx -- '--- end ---' "$channel" 2>/dev/null; then
    echo "vmtest: the guest sent no complete results" >&2
    console_tail
    exit 1
fi
mkdir -p "$vm/results"
sed -n '/^--- results ---$/,/^--- end ---$/p' "$channel" | sed '1d;$d' | tr -d '\r' |
    base64 -d | tar -x -C "$vm/results"

failed=0
count=0
for session in "$sessions"/*/; do
    name=$(basename "$session")
    count=$((count + 1))
    if "$here/tests/vm/check.sh" "$session" "$vm/results/$name" "$usbisp" "$vm/check/$name"; then
        echo "vmtest: $name: ok"
    else
        echo "vmtest: $name: FAILED" >&2
        failed=$((failed + 1))
    fi
done
ended=$(date +%s.%N)
echo "vmtest: $count sessions, $failed failed; the guest ran $(seconds "$booted" "$finished") s" \
    "(boot and sessions), the whole test $(seconds "$started" "$ended") s"
if [ "$failed" -ne 0 ]; then
    console_tail 60
    exit 1
fi

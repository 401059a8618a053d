#!/usr/bin/env bash
# The 32-bit Wine of the vm's guest, in which the real UsbIsp.exe talks to a
# virtual reader through the guest's kernel. Debian's wine32 and every i386
# package it depends on are fetched with apt-get into CACHE (with a state of
# their own: nothing is installed on this machine, whose apt and dpkg are
# left as they are) and unpacked into OUT/root, a root the guest mounts
# read-only over 9p and chroots into. The guest's kernel runs 32-bit code
# whether or not this machine does.
#
# OUT/prefix is the Wine prefix (win32, the null display driver: the guest
# has no X server). Where this machine runs the root's Wine (32-bit code, a
# chroot) it is made here in seconds; elsewhere the guest makes it on its
# first run, over 9p, and it is kept for the runs after.
#
# Done again only when the packages change. VMTEST_WINE_PREFIX=guest leaves
# the prefix to the guest here too (to try that path).
# Usage: vm-wine.sh CACHE OUT
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: vm-wine.sh CACHE OUT" >&2
    exit 2
fi

mkdir -p "$1" "$2"
cache=$(cd "$1" && pwd)
out=$(cd "$2" && pwd)
root=$out/root

apt_options=(-o "Dir::State=$cache/state" -o "Dir::State::status=$cache/state/status"
             -o "Dir::Cache=$cache/cache" -o APT::Architecture=i386 -o APT::Architectures::=i386
             -o Debug::NoLocking=1 -o APT::Install-Recommends=false)
mkdir -p "$cache/state/lists/partial" "$cache/cache/archives/partial"
touch "$cache/state/status"
# The package lists once a day at most; the packages once.
if [ -z "$(find "$cache/state/lists" -name '*Packages*' -mtime -1 2>/dev/null | head -n 1)" ]; then
    apt-get "${apt_options[@]}" update -qq >"$cache/update.log" 2>&1 || {
        echo "vm-wine.sh: apt-get update failed:" >&2
        tail -n 5 "$cache/update.log" >&2
        exit 1
    }
fi
apt-get "${apt_options[@]}" install --download-only -y -qq wine32 >"$cache/download.log" 2>&1 || {
    echo "vm-wine.sh: cannot fetch wine32 for i386:" >&2
    tail -n 5 "$cache/download.log" >&2
    exit 1
}
packages=$(cd "$cache/cache/archives" && ls ./*.deb | LC_ALL=C sort | sha256sum | cut -c1-16)

if [ ! -f "$out/packages" ] || [ "$(cat "$out/packages")" != "$packages" ] || [ ! -x "$root/usr/lib/wine/wine" ]; then
    rm -rf "$root" "$out/prefix" "$out/packages"
    mkdir -p "$root"
    for deb in "$cache"/cache/archives/*.deb; do dpkg-deb -x "$deb" "$root"; done
    # What the packages' scripts would have done: libwine's copy of the
    # MinGW zlib as a Wine builtin DLL, and the loader's cache.
    zlib=$root/usr/i686-w64-mingw32/lib/zlib1.dll
    {
        head -c 64 "$zlib"
        printf 'Wine builtin DLL'
        head -c 16 /dev/zero
        tail -c +97 "$zlib"
    } >"$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    echo 'include /etc/ld.so.conf.d/*.conf' >"$root/etc/ld.so.conf"
    "$(command -v ldconfig || echo /sbin/ldconfig)" -r "$root"
    # The root has no shell: the guest's static busybox serves, and the
    # places the guest mounts on.
    mkdir -p "$root/bin" "$root/proc" "$root/dev" "$root/sys" "$root/tmp" "$root/work" "$root/prefix"
    cp /bin/busybox "$root/bin/busybox"
    for tool in sh env cat ls mkdir ln rm sleep; do ln -sf busybox "$root/bin/$tool"; done
    echo "$packages" >"$out/packages"
fi

# The prefix's settings, which the guest applies too where it makes it.
cat >"$root/prefix.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"

EOF

# Makes the prefix here when this machine runs the root's Wine.
if [ ! -f "$out/prefix/ready" ] && [ "$(id -u)" -eq 0 ] && [ "${VMTEST_WINE_PREFIX:-}" != guest ] &&
    chroot "$root" /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    rm -rf "$out/prefix"
    mkdir -p "$out/prefix"
    if unshare -m sh -c '
        root=$1 prefix=$2
        mount -t proc proc "$root/proc" && mount -t tmpfs tmpfs "$root/tmp" &&
            mount --bind "$prefix" "$root/prefix" || exit 1
        wine() {
            chroot "$root" env -i PATH=/bin HOME=/tmp WINEPREFIX=/prefix/wine WINEARCH=win32 \
                WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver32 WINEDLLOVERRIDES="mscoree,mshtml=" \
                /usr/lib/wine/wine "$@"
        }
        wine wineboot -i && wine regedit /S "Z:\\prefix.reg" &&
            chroot "$root" env -i HOME=/tmp WINEPREFIX=/prefix/wine /usr/lib/wine/wineserver32 -w' \
        sh "$root" "$out/prefix" >"$out/prefix.log" 2>&1; then
        touch "$out/prefix/ready"
    else
        echo "vm-wine.sh: the Wine prefix could not be made here; the guest makes it" >&2
        rm -rf "$out/prefix"
    fi
fi
mkdir -p "$out/prefix"

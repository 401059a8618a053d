#!/usr/bin/env bash
# Unpacks the guest's kernel from the Debian package in CACHE into OUT (never
# installed): OUT/vmlinux, the uncompressed kernel, which QEMU boots through
# its PVH entry without the decompressor's seconds under TCG, and
# OUT/modules, the kernel's module tree. Done again only when the package
# changes. Usage: vm-kernel.sh CACHE OUT
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: vm-kernel.sh CACHE OUT" >&2
    exit 2
fi

cache=$1
out=$2
deb=$(compgen -G "$cache/linux-image-*-amd64_*.deb" | sort | tail -n 1 || true)
if [ -z "$deb" ]; then
    echo "vm-kernel.sh: no kernel package in $cache (scripts/install-deps.sh vm $cache fetches it)" >&2
    exit 1
fi
if [ -f "$out/package" ] && [ "$(cat "$out/package")" = "$(basename "$deb")" ] &&
    [ -f "$out/vmlinux" ]; then
    exit 0
fi

rm -rf "$out"
mkdir -p "$out"
dpkg-deb -x "$deb" "$out/tree"
vmlinuz=$(compgen -G "$out/tree/boot/vmlinuz-*" | head -n 1)
release=${vmlinuz##*/vmlinuz-}

# The compressed kernel sits inside the boot image behind the setup code: find
# the first stream that decompresses into an ELF image.
unpacked=""
for kind in xz zstd gzip; do
    case $kind in
        xz) magic='\xfd7zXZ\x00'; tool=(xz -dc --single-stream) ;;
        zstd) magic='\x28\xb5\x2f\xfd'; tool=(zstd -dcq) ;;
        gzip) magic='\x1f\x8b\x08'; tool=(gzip -dc) ;;
    esac
    command -v "${tool[0]}" >/dev/null || continue
    for offset in $(LC_ALL=C grep -obUaP "$magic" "$vmlinuz" | cut -d: -f1); do
        tail -c +$((offset + 1)) "$vmlinuz" | "${tool[@]}" >"$out/vmlinux" 2>/dev/null || true
        if [ "$(head -c 4 "$out/vmlinux" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
            unpacked=$kind
            break 2
        fi
    done
done
if [ -z "$unpacked" ]; then
    echo "vm-kernel.sh: found no compressed ELF kernel in $vmlinuz" >&2
    exit 1
fi
mv "$out/tree/lib/modules/$release" "$out/modules"
cp "$out/tree/boot/config-$release" "$out/config"
rm -rf "$out/tree"
echo "$release" >"$out/release"
basename "$deb" >"$out/package"

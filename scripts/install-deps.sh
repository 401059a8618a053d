#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are
# missing. Usage: install-deps.sh [native|cross|wine|package|screenshots|fuzz|all]
#        install-deps.sh vm [KERNEL_CACHE]
set -euo pipefail

# libpq-dev: the line's database client; postgresql: the server the tests
# start for themselves (initdb and pg_ctl in a temporary directory).
native=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
        libncurses-dev tmux libpq-dev postgresql)
cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
# The Windows program's tests: Wine under a virtual X server, a screenshot
# tool, and xmllint for the manifests. Where a machine cannot run 32-bit x86
# code the tests run a 64-bit build of the same sources under 64-bit Wine.
# USBISP_WINE32=1 adds 32-bit Wine (wine32:i386): scripts/wine32-probe.sh
# sets it where the machine runs 32-bit code; its first step needs the host's
# assembler and linker (binutils).
wine=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
      wine wine64 xvfb xauth imagemagick libxml2-utils binutils)
# The fuzzers: clang with its libFuzzer and sanitizer runtimes.
fuzz=(clang libclang-rt-dev)
if [ "${USBISP_WINE32:-0}" = 1 ]; then
    wine+=(wine32:i386)
fi
# make package: the Debian package's tools (dpkg-shlibdeps, the man page
# check) and the zip.
packaging=(dpkg-dev groff-base zip unzip lintian)
# make screenshots: a terminal under the virtual X server with a font, and
# the fonts of Wine (the caption buttons are drawn with its Marlett).
screenshots=(xvfb xauth imagemagick tmux xterm fonts-dejavu-core fonts-wine)
# make vmtest: QEMU for the guest, a static busybox for its initramfs, kmod's
# modinfo for the modules' dependencies. The guest's kernel is Debian's own
# package, fetched with apt-get download into KERNEL_CACHE (never installed;
# fetch_kernel below).
vm=(qemu-system-x86 busybox-static kmod)

case "${1:-all}" in
    native) wanted=("${native[@]}") ;;
    cross) wanted=("${cross[@]}") ;;
    wine) wanted=("${wine[@]}") ;;
    package) wanted=("${packaging[@]}") ;;
    screenshots) wanted=("${screenshots[@]}") ;;
    fuzz) wanted=("${fuzz[@]}") ;;
    vm) wanted=("${vm[@]}") ;;
    all) wanted=("${native[@]}" "${cross[@]}" "${wine[@]}" "${packaging[@]}" "${screenshots[@]}"
                 "${fuzz[@]}" "${vm[@]}") ;;
    *) echo "usage: $0 [native|cross|wine|package|screenshots|fuzz|vm|all]" >&2; exit 2 ;;
esac

# The kernel package of the vm's guest: the one Debian's linux-image-amd64
# depends on now, kept in the cache once fetched, so that later runs use the
# same kernel and need no network. Prints nothing when the cache has it.
fetch_kernel() {
    local cache=$1
    mkdir -p "$cache"
    if compgen -G "$cache/linux-image-*-amd64_*.deb" >/dev/null; then return 0; fi
    local name
    name=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
    if [ -z "$name" ] && [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq
        name=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
    fi
    if [ -z "$name" ]; then
        echo "install-deps.sh: apt knows no linux-image-amd64 (run apt-get update)" >&2
        return 1
    fi
    echo "fetching the guest kernel: $name"
    # apt-get download writes into the current directory; a partial file
    # must never look like a cached package.
    local partial="$cache/partial"
    rm -rf "$partial" && mkdir -p "$partial"
    (cd "$partial" && apt-get download -qq "$name" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
    if ! compgen -G "$partial/linux-image-*-amd64_*.deb" >/dev/null; then
        echo "install-deps.sh: apt-get download $name failed" >&2
        return 1
    fi
    mv "$partial"/linux-image-*-amd64_*.deb "$cache"/ && rmdir "$partial"
}

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    if [ "${1:-}" = vm ] && [ -n "${2:-}" ]; then fetch_kernel "$2"; fi
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "usbisp needs these Debian packages: ${missing[*]}" >&2
    echo "install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [ "${1:-}" = vm ] && [ -n "${2:-}" ]; then fetch_kernel "$2"; fi

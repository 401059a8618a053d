#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are
# missing. Usage: install-deps.sh [native|cross|wine|fuzz|all]
set -euo pipefail

native=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
        libncurses-dev tmux)
cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
# The Windows program's tests: Wine under a virtual X server, and a screenshot
# tool. The machines that run the suite cannot execute 32-bit x86 code, so the
# tests run a 64-bit build of the same sources under 64-bit Wine; the 32-bit
# program is checked by its imports. Set USBISP_WINE32=1 to add 32-bit Wine
# (wine32:i386) where the machine can run it.
wine=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
      wine wine64 xvfb xauth imagemagick)
# The fuzzers: clang with its libFuzzer and sanitizer runtimes.
fuzz=(clang libclang-rt-dev)
if [ "${USBISP_WINE32:-0}" = 1 ]; then
    wine+=(wine32:i386)
fi

case "${1:-all}" in
    native) wanted=("${native[@]}") ;;
    cross) wanted=("${cross[@]}") ;;
    wine) wanted=("${wine[@]}") ;;
    fuzz) wanted=("${fuzz[@]}") ;;
    all) wanted=("${native[@]}" "${cross[@]}" "${wine[@]}" "${fuzz[@]}") ;;
    *) echo "usage: $0 [native|cross|wine|fuzz|all]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

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

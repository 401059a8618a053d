#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are
# missing. Usage: install-deps.sh [native|cross|all]
set -euo pipefail

native=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
        libncurses-dev tmux)
cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)

case "${1:-all}" in
    native) wanted=("${native[@]}") ;;
    cross) wanted=("${cross[@]}") ;;
    all) wanted=("${native[@]}" "${cross[@]}") ;;
    *) echo "usage: $0 [native|cross|all]" >&2; exit 2 ;;
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"

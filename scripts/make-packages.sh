#!/usr/bin/env bash
# Builds the two packages into OUT_DIR:
#   usbisp-VERSION-win32.zip  the 32-bit Windows programs: UsbIsp.exe and
#                             README.TXT at the top, and in DEMO\ the bench
#                             program with a sample BENCH.JSON and the demo
#                             files (kept apart, so that no one programs a
#                             real reader with the demo firmware by mistake);
#   usbisp_VERSION_ARCH.deb   the native usbisp and the virtual reader
#                             usbisp-reader (built beside it) with their man
#                             pages, the demo files and bench, the bench
#                             file's reference, the bash completion, the
#                             copyright and the changelog, its library
#                             dependencies declared.
# The 64-bit Windows build only serves the tests and is never packaged.
# Usage: make-packages.sh USBISP WIN_BUILD OUT_DIR
# USBISP_PACKAGES=deb builds the Debian package alone (no Windows build
# needed).
set -euo pipefail
usbisp=$1 win=$2 out=$3
reader=$(dirname "$usbisp")/frontends/reader/usbisp-reader
packages=${USBISP_PACKAGES:-zip deb}
root=$(cd "$(dirname "$0")/.." && pwd)
umask 022
[ -x "$reader" ] || { echo "$reader is missing: build usbisp-reader" >&2; exit 1; }

version=$("$usbisp" --version | sed -n 's/^usbisp //p')
[ -n "$version" ] || { echo "$usbisp --version names no version" >&2; exit 1; }
wanted() { [[ " $packages " == *" $1 "* ]]; }
for exe in UsbIsp.exe UsbIspBench.exe; do
    wanted zip || break
    [ -f "$win/$exe" ] || { echo "$win/$exe is missing: run make windows" >&2; exit 1; }
    format=$(i686-w64-mingw32-objdump -f "$win/$exe" | sed -n 's/.*file format //p')
    [ "$format" = pei-i386 ] || { echo "$win/$exe is $format: only 32-bit programs ship" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Every file carries the time of the last commit, so that the same sources
# give the same packages.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH=$epoch
# Windows' Notepad of those days shows a text only with CR LF line ends.
crlf() { sed 's/\r*$/\r/' "$@"; }

# The zip for Windows.
if wanted zip; then
name=usbisp-$version-win32
zip_root=$work/zip/$name
mkdir -p "$zip_root/DEMO"
i686-w64-mingw32-strip -o "$zip_root/UsbIsp.exe" "$win/UsbIsp.exe"
i686-w64-mingw32-strip -o "$zip_root/DEMO/UsbIspBench.exe" "$win/UsbIspBench.exe"
sed "s/@VERSION@/$version/" "$root/packaging/README.TXT" | crlf >"$zip_root/README.TXT"
crlf "$root/demo/files/BENCH.JSON" >"$zip_root/DEMO/BENCH.JSON"
crlf "$root/demo/files/DEVICE.TXT" >"$zip_root/DEMO/DEVICE.TXT"
# SERIAL.TXT is the program's own file, kept byte for byte like the ROM code.
cp "$root/demo/files/SERIAL.TXT" "$root/demo/files/DEMO7620.BIN" "$root/demo/files/DEMO7620.adr" \
    "$zip_root/DEMO/"
find "$work/zip" -exec touch -h -d "@$epoch" {} +
rm -f "$out/$name.zip"
(cd "$work/zip" && find "$name" | LC_ALL=C sort | zip -X -q -D "$out/$name.zip" -@)
echo "built $out/$name.zip"
fi
wanted deb || exit 0

# The Debian package of the native build.
arch=$(dpkg --print-architecture)
deb=$work/deb
mkdir -p "$deb/usr/share/man/man1"
for program in usbisp usbisp-reader; do
    [ "$program" = usbisp ] && binary=$usbisp || binary=$reader
    install -D -m 0755 "$binary" "$deb/usr/bin/$program"
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$deb/usr/bin/$program"
    sed "s/@VERSION@/$version/" "$root/packaging/$program.1" |
        gzip -9n >"$deb/usr/share/man/man1/$program.1.gz"
done
install -D -m 0644 -t "$deb/usr/share/usbisp/demo" "$root"/demo/files/*
install -D -m 0644 "$root/packaging/copyright" "$deb/usr/share/doc/usbisp/copyright"
install -D -m 0644 "$root/packaging/lintian-overrides" "$deb/usr/share/lintian/overrides/usbisp"
# A native package's changelog: one entry for this version, dated by the
# last commit.
{
    echo "usbisp ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version."
    echo
    echo " -- usbisp developers <usbisp@example.org>  $(LC_ALL=C date -u -R -d "@$epoch")"
} | gzip -9n >"$deb/usr/share/doc/usbisp/changelog.gz"
install -D -m 0644 -t "$deb/usr/share/doc/usbisp" "$root/docs/bench.md"
install -D -m 0644 -t "$deb/usr/share/bash-completion/completions" \
    "$root/packaging/completion/usbisp" "$root/packaging/completion/usbisp-reader"

# The libraries the binary needs, as the packages that hold them and the
# versions their symbols ask for. The default build links the C++ library in
# (it starts faster) and takes the C library, curses and libpq as shared
# libraries; a wholly static build needs none, and the package says so by
# having no Depends.
mkdir -p "$work/source/debian"
printf 'Source: usbisp\n\nPackage: usbisp\nArchitecture: any\n' >"$work/source/debian/control"
depends=$(cd "$work/source" && dpkg-shlibdeps -O "$deb/usr/bin/usbisp" "$deb/usr/bin/usbisp-reader" 2>/dev/null |
          sed -n 's/^shlibs:Depends=//p')
if [ -z "$depends" ] && readelf -l "$deb/usr/bin/usbisp" "$deb/usr/bin/usbisp-reader" | grep -q 'INTERP'; then
    echo "dpkg-shlibdeps found no dependencies of the dynamic programs" >&2
    exit 1
fi

mkdir -p "$deb/DEBIAN"
(cd "$deb" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$deb/DEBIAN/md5sums"
{
    echo "Package: usbisp"
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: usbisp developers <usbisp@example.org>"
    echo "Installed-Size: $(du -sk --exclude=DEBIAN "$deb" | cut -f1)"
    [ -z "$depends" ] || echo "Depends: $depends"
    cat <<CONTROL
Section: utils
Priority: optional
Description: service the controller of USB card readers
 Reads the identity of USB card readers and USB-to-ATA bridges, programs
 and verifies their controller firmware and stamps serial numbers. It has
 three faces on Linux:
  - usbisp: the program's window in the terminal over an emulated machine
    with its card readers (the bench), and headless scripted runs that print
    a transcript;
  - usbisp --real: the real card readers of this machine through the SCSI
    generic driver, in the window or in scripted runs;
  - usbisp --station: a production station that programs every reader
    plugged in at once, with one serial counter and a production log.
 The demo files and bench are in /usr/share/usbisp/demo, the bench file's
 reference in /usr/share/doc/usbisp/bench.md.
CONTROL
} >"$deb/DEBIAN/control"
find "$deb" -exec touch -h -d "@$epoch" {} +
debfile=$out/usbisp_${version}_$arch.deb
rm -f "$debfile"
dpkg-deb --root-owner-group -Zxz --build "$deb" "$debfile" >/dev/null
echo "built $debfile"

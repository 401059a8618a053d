#!/usr/bin/env bash
# Checks the packages of make package against lists written by hand:
# the Debian package's files, owners and modes, its Depends (every library
# the binary loads is declared), its man page (renders cleanly, documents
# every option, script action and transcript event); the zip's files, its
# CR LF texts, its programs (32-bit, Windows 98 imports, manifests, no
# instruction beyond the Pentium Pro), and that its sample bench and demo
# files work together.
# Usage: check_packages.sh PACKAGE_DIR SOURCE_DIR [WIN_BUILD]
set -euo pipefail
dir=$1 src=$2
win=${3:-$src/build-windows}
here=$src/tests/package
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

shopt -s nullglob
debs=("$dir"/usbisp_*.deb)
zips=("$dir"/usbisp-*-win32.zip)
if [ ${#debs[@]} -ne 1 ] || [ ${#zips[@]} -ne 1 ]; then
    echo "expected one .deb and one .zip in $dir: run make package"
    exit 1
fi
deb=${debs[0]} zip=${zips[0]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- The Debian package ---
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "usbisp_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "$(basename "$deb") does not name version $version and this machine's architecture"
[ "$(dpkg-deb -f "$deb" Package)" = usbisp ] || fail "the package is not called usbisp"
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/deb_contents.txt"
diff -u "$here/deb_contents.txt" "$work/deb_contents.txt" || fail "the .deb holds other files"

dpkg-deb -x "$deb" "$work/root"
usbisp=$work/root/usr/bin/usbisp
[ "$("$usbisp" --version)" = "usbisp $version" ] || fail "the packaged usbisp is not version $version"
for file in BENCH.JSON DEMO7620.BIN DEMO7620.adr DEVICE.TXT SERIAL.TXT; do
    cmp -s "$src/demo/files/$file" "$work/root/usr/share/usbisp/demo/$file" ||
        fail "the .deb's demo/$file differs from the repository's"
done
for file in usbisp usbisp-reader; do
    cmp -s "$src/packaging/completion/$file" "$work/root/usr/share/bash-completion/completions/$file" ||
        fail "the .deb's bash completion of $file differs from the repository's"
done
cmp -s "$src/docs/bench.md" "$work/root/usr/share/doc/usbisp/bench.md" ||
    fail "the .deb's bench.md differs from the repository's"
# The description names the three faces.
description=$(dpkg-deb -f "$deb" Description)
for face in "usbisp:" "usbisp --real:" "usbisp --station:"; do
    grep -qF -- "$face" <<<"$description" || fail "the description does not name $face"
done

# Depends names the expected packages, each with a lower version bound (none
# for the statically linked program of the default build)...
depends=$(dpkg-deb -f "$deb" Depends)
tr ',' '\n' <<<"$depends" | sed 's/^ *//' | sed '/^$/d' >"$work/depends"
sed 's/ .*//' "$work/depends" | LC_ALL=C sort >"$work/depends_names"
if readelf -l "$usbisp" | grep -q INTERP; then
    diff -u "$here/deb_depends.txt" "$work/depends_names" || fail "Depends: $depends"
else
    [ ! -s "$work/depends_names" ] || fail "a static program with Depends: $depends"
fi
grep -vE '^[a-z0-9.+-]+ \(>= [^)]+\)$' "$work/depends" && fail "a dependency without a version bound"
# ...and every library the binary itself needs comes from a package it names
# (what those libraries load in turn, libpq's TLS and Kerberos, their own
# packages depend on).
needed=$(readelf -d "$usbisp" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
while read -r lib path; do
    grep -qxF "$lib" <<<"$needed" || continue
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null) ||
        { fail "no package holds $path ($lib)"; continue; }
    package=${owner%%:*}
    grep -qx "$package" "$work/depends_names" || fail "$lib comes from $package, which Depends does not name"
done < <(ldd "$usbisp" | awk '$2 == "=>" && $3 ~ /^\// { print $1, $3 }')

# The man page: renders without a warning, and documents what the program
# offers: every option of --help, every script action, every event kind that
# the hand-written transcripts of the suite use.
zcat "$work/root/usr/share/man/man1/usbisp.1.gz" >"$work/usbisp.1"
groff -t -man -ww -z "$work/usbisp.1" 2>"$work/groff" || fail "groff failed on the man page"
[ -s "$work/groff" ] && fail "the man page gives warnings: $(cat "$work/groff")"
grep -q '@VERSION@' "$work/usbisp.1" && fail "the man page still says @VERSION@"
sed 's/\\-/-/g' "$work/usbisp.1" >"$work/page"
documented() {  # a macro line of the page names this word as a term
    grep -qE "^\.(B|BI|BR|RB|TP|TQ)( .*)?[ \"]$1([ \"]|$)" "$work/page" ||
        grep -qE "^\.(B|BI|BR)[ ]$1([ \"]|$)" "$work/page"
}
help=$("$usbisp" --help)
# The options: those of the usage lines and those the option table starts
# its lines with.
for option in $({ grep -E '^(usage: | +)usbisp ' <<<"$help" | grep -oE -- '(^| |\[)--?[a-z][a-z-]*'
                  grep -oE -- '^ +--?[a-z][a-z-]*' <<<"$help"; } | tr -d ' [' | LC_ALL=C sort -u); do
    documented "$option" || fail "the man page does not document $option"
done
# The actions are listed under --script in the help, up to --trace-io.
# A remark in parentheses, over one line or several, names no action.
actions=$(sed -n '/--script FILE  /,/--trace-io/p' <<<"$help" | sed '1d;$d' | tr '\n' ' ' |
          sed 's/([^)]*)//g' | tr -s ' ' '\n' | grep -xE '[a-z]+')
[ -n "$actions" ] || fail "no script actions found in --help"
for action in $actions; do
    documented "$action" || fail "the man page does not document the action $action"
done
# The cases' transcripts and the pieces they include (lines that start with
# "@", such as "@include" and "@repeat", are the case runner's, not the
# program's).
for event in $(cat "$src"/tests/cases/*/*/expected.txt "$src"/tests/cases/pieces/* |
               awk '$1 !~ /^@/ { print $1 }' | LC_ALL=C sort -u); do
    documented "$event" || fail "the man page does not document the transcript event $event"
done

# usbisp-reader: its version, and a man page that renders cleanly and
# documents every option of its --help.
reader=$work/root/usr/bin/usbisp-reader
[ "$("$reader" --version)" = "usbisp-reader $version" ] ||
    fail "the packaged usbisp-reader is not version $version"
zcat "$work/root/usr/share/man/man1/usbisp-reader.1.gz" >"$work/usbisp-reader.1"
groff -t -man -ww -z "$work/usbisp-reader.1" 2>"$work/groff-reader" ||
    fail "groff failed on usbisp-reader's man page"
[ -s "$work/groff-reader" ] && fail "usbisp-reader's man page gives warnings: $(cat "$work/groff-reader")"
grep -q '@VERSION@' "$work/usbisp-reader.1" && fail "usbisp-reader's man page still says @VERSION@"
sed 's/\\-/-/g' "$work/usbisp-reader.1" >"$work/reader-page"
for option in $("$reader" --help | grep -oE -- '--[a-z][a-z-]*' | LC_ALL=C sort -u); do
    grep -qE "^\.(B|BI|BR|RB|TP)( .*)?[ \"]$option([ \"]|$)" "$work/reader-page" ||
        fail "usbisp-reader's man page does not document $option"
done
# The package as Debian's checker sees it: no errors.
if command -v lintian >/dev/null; then
    lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 ||
        fail "lintian finds errors: $(grep '^E:' "$work/lintian")"
else
    fail "lintian is missing: scripts/install-deps.sh package"
fi

# --- The zip for Windows ---
unzip -Z1 "$zip" | LC_ALL=C sort >"$work/zip_contents.txt"
sed "s/@VERSION@/$version/" "$here/zip_contents.txt" | diff -u - "$work/zip_contents.txt" ||
    fail "the zip holds other files"
unzip -q -d "$work/zip" "$zip"
top=$work/zip/usbisp-$version-win32
for text in README.TXT DEMO/DEVICE.TXT DEMO/BENCH.JSON; do
    lines=$(wc -l <"$top/$text")
    [ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$top/$text")" = "$lines" ] &&
        [ "$(tail -c 1 "$top/$text" | od -An -c | tr -d ' ')" = '\n' ] ||
        fail "$text does not end every line with CR LF"
done
grep -q "^usbisp $version for Windows"$'\r$' "$top/README.TXT" || fail "README.TXT does not name version $version"
for exe in "$top/UsbIsp.exe" "$top/DEMO/UsbIspBench.exe"; do
    format=$(i686-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p')
    [ "$format" = pei-i386 ] || fail "$(basename "$exe") is $format, not a 32-bit program"
done
"$src/tests/wine/check_imports.sh" "$src/tests/wine/win98_imports.txt" "$top/UsbIsp.exe" \
    "$top/DEMO/UsbIspBench.exe" || fail "the zip's programs import what Windows 98 lacks"
"$src/tests/wine/check_manifest.sh" "$top/UsbIsp.exe" requireAdministrator \
    "$top/DEMO/UsbIspBench.exe" asInvoker || fail "the zip's programs lost their manifests"
# The zip's programs are stripped: their code is read through the built
# programs they were stripped from.
"$src/tests/wine/check_cpu.sh" i686 "$top/UsbIsp.exe=$win/UsbIsp.exe" \
    "$top/DEMO/UsbIspBench.exe=$win/UsbIspBench.exe" ||
    fail "the zip's programs need more than a Pentium Pro"
grep -q "Pentium Pro" "$top/README.TXT" || fail "README.TXT does not name the processor the programs need"
# The sample bench holds the demo firmware: a verification finds it equal.
"$usbisp" --script "$here/demo_verify.txt" --bench "$top/DEMO/BENCH.JSON" --dir "$top/DEMO" \
    >"$work/demo.txt" 2>&1 || fail "the demo run failed: $(cat "$work/demo.txt")"
grep -qF 'SUCCESS! Verify STATUS:5a [Verify Data sucessfull]' "$work/demo.txt" ||
    fail "the demo bench and files of the zip do not verify: $(tail -5 "$work/demo.txt")"
exit $status

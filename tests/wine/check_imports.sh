#!/usr/bin/env bash
# Lists the imports of each program with objdump and refuses every one that
# is not on the allow-list of functions Windows 98 has, and every wide-
# character or MoveFileEx call whatever the list says: the wide file calls of
# the C library (_wfopen, _wopen, ...) included, which Windows 98's C library
# exports but which always fail there.
# Usage: check_imports.sh ALLOW_LIST EXE...
set -euo pipefail
allow=$1
shift
# The C library's calls that take a file or directory name in wide characters.
wide_files='(f?open|sopen|fsopen|freopen|stat|creat|remove|rename|unlink|access|chmod|mkdir|rmdir|chdir|getcwd|fullpath|findfirst|findnext|system|exec|spawn|popen|tmpnam|tempnam|mktemp)'

status=0
for exe in "$@"; do
    [ -f "$exe" ] || { echo "$exe is missing: run make windows"; exit 1; }
    imports=$(i686-w64-mingw32-objdump -p "$exe" |
              awk '/DLL Name:/ { dll = toupper($3) }
                   /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll "!" $3 }' | sort -u)
    [ -n "$imports" ] || { echo "$exe: no imports found"; exit 1; }
    while read -r entry; do
        name=${entry#*!}
        if ! grep -qxF "$entry" "$allow"; then
            echo "$exe imports $entry, which Windows 98 does not have"
            status=1
        elif [[ $entry != MSVCRT.DLL!* && $name == *W ]] || [[ $name == MoveFileEx* ]] ||
            [[ $entry =~ ^MSVCRT\.DLL!_w$wide_files ]]; then
            echo "$exe imports $entry"
            status=1
        fi
    done <<< "$imports"
done
exit $status

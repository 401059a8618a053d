#!/usr/bin/env bash
# Reads the application manifest embedded in each program (resource 1 of type
# 24) and checks it: well-formed XML; an identity and a common controls 6
# dependency for the program's own processor; the execution level asked for;
# and the trustInfo element in the asm.v2 namespace, declared once, the form
# that Windows XP reads (it refuses trustInfo without it, and Service Pack 2
# mishandles an element declaring its namespace twice).
# Usage: check_manifest.sh EXE LEVEL [EXE LEVEL]...
set -euo pipefail
status=0
fail() {
    echo "$exe: $1"
    status=1
}
# The value of an XPath expression over the manifest, namespaces ignored.
value() { xmllint --xpath "$1" "$manifest" 2>/dev/null || true; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
while [ $# -ge 2 ]; do
    exe=$1 level=$2
    shift 2
    [ -f "$exe" ] || { echo "$exe is missing: run make windows"; exit 1; }
    manifest=$work/$(basename "$exe").manifest
    # The resource compiler lists the resource as quoted lines of a BEGIN/END
    # block; undo its quoting ("" for ", \n for a line break).
    i686-w64-mingw32-windres -i "$exe" -O rc |
        awk '/^1 24 / { inside = 1; next }
             inside && /^END/ { exit }
             inside && /^  "/ { line = substr($0, 4, length($0) - 4)
                                gsub(/""/, "\"", line); sub(/\\n$/, "", line); print line }' >"$manifest"
    [ -s "$manifest" ] || { fail "no manifest resource (1, type 24)"; continue; }
    xmllint --noout "$manifest" || { fail "the manifest is not well-formed XML"; continue; }

    format=$(i686-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p')
    [ "$format" = pei-i386 ] || fail "is $format, not a 32-bit program"
    [ "$(value "string(/*[local-name()='assembly']/*[local-name()='assemblyIdentity']/@processorArchitecture)")" = X86 ] ||
        fail "the identity does not name the X86 processor"
    [ "$(value "string(//*[local-name()='requestedExecutionLevel']/@level)")" = "$level" ] ||
        fail "the execution level is not $level"
    [ "$(value "string(//*[local-name()='requestedExecutionLevel']/@uiAccess)")" = false ] ||
        fail "uiAccess is not false"
    [ "$(value "namespace-uri(//*[local-name()='trustInfo'])")" = urn:schemas-microsoft-com:asm.v2 ] ||
        fail "trustInfo is not in the asm.v2 namespace"
    [ "$(grep -c 'xmlns' <(grep -o '<trustInfo[^>]*>' "$manifest" | tr ' ' '\n'))" = 1 ] ||
        fail "trustInfo does not declare its namespace exactly once"
    controls="//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity'][@name='Microsoft.Windows.Common-Controls']"
    [ "$(value "string($controls/@version)")" = 6.0.0.0 ] || fail "no dependency on common controls 6.0.0.0"
    [ "$(value "string($controls/@processorArchitecture)")" = X86 ] || fail "common controls not for X86"
    [ "$(value "string($controls/@publicKeyToken)")" = 6595b64144ccf1df ] ||
        fail "common controls with the wrong public key token"
done
exit $status

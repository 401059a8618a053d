#!/usr/bin/env bash
# Disassembles the code of each 32-bit Windows program, the C runtime and the
# C++ runtime it links included, and refuses every instruction the processor
# CPU does not have (tests/wine/x86_instructions.txt says which processor
# brought each one), and every byte sequence in the code that is no
# instruction at all.
#
# The linker puts more than code into .text: after the code come the
# constructor and destructor lists (from __CTOR_LIST__ on) and the exception
# tables. Only the code before __CTOR_LIST__ is read, which needs the symbol
# table: a stripped program (as the zip ships it) is named with the built one
# it was stripped from, PROGRAM=BUILT, and its .text must be that one's byte
# for byte.
#
# Usage: check_cpu.sh i386|i486|i586|i686 PROGRAM[=BUILT]...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
table=${USBISP_X86_TABLE:-$here/x86_instructions.txt}
cpu=$1
shift
case $cpu in
    i386 | i486 | i586 | i686) ;;
    *) echo "unknown processor $cpu (i386, i486, i586 or i686)" >&2; exit 2 ;;
esac
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "$objdump is missing: run make windows" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for named in "$@"; do
    program=${named%%=*}
    built=${named#*=}
    for file in "$program" "$built"; do
        [ -f "$file" ] || { echo "$file is missing: run make windows"; exit 1; }
    done
    if [ "$program" != "$built" ]; then
        i686-w64-mingw32-objcopy -O binary -j .text "$program" "$work/shipped.text"
        i686-w64-mingw32-objcopy -O binary -j .text "$built" "$work/built.text"
        if ! cmp -s "$work/shipped.text" "$work/built.text"; then
            echo "$program: its code differs from that of $built"
            status=1
            continue
        fi
    fi
    end=$(i686-w64-mingw32-nm "$built" 2>/dev/null | awk '$3 == "__CTOR_LIST__" { print $1 }')
    if [ -z "$end" ]; then
        echo "$built: no symbol __CTOR_LIST__, so no end of the code (a stripped program needs =BUILT)"
        status=1
        continue
    fi
    "$objdump" -d -M intel --no-show-raw-insn --stop-address="0x$end" "$built" >"$work/code.txt"
    # One line per instruction beyond the processor: the instruction, its
    # address and the function it is in.
    awk -v cpu="$cpu" -v table="$table" '
        BEGIN {
            rank["i386"] = 1; rank["i486"] = 2; rank["i586"] = 3; rank["i686"] = 4
            rank["later"] = 9
            while ((getline row < table) > 0) {
                if (row ~ /^[ \t]*(#|$)/) continue
                n = split(row, f, /[ \t]+/)
                if (!(f[2] in rank)) { print "bad row in " table ": " row; exit 2 }
                level[f[1]] = rank[f[2]]
                if (n >= 3) only[f[1]] = f[3]
            }
            split("lock rep repz repnz repe repne data16 data32 addr16 addr32 cs ds es fs gs ss notrack",
                  p, " ")
            for (i in p) prefix[p[i]] = 1
        }
        /^[0-9a-f]+ <.*>:$/ { where = substr($2, 2, length($2) - 3); next }
        /^ *[0-9a-f]+:\t/ {
            address = $1; sub(/:$/, "", address)
            text = substr($0, index($0, "\t") + 1)
            n = split(text, word, /[ \t]+/)
            i = 1
            while (i < n && word[i] in prefix) i++
            name = word[i]
            if (name == "nop" && i < n) name = "nop+operand"
            if (name == "(bad)" || name == ".byte" || name == "") {
                print "no instruction: " text, address, where
            } else if (!(name in level)) {
                print "unknown to the table: " name, address, where
            } else if (level[name] > rank[cpu] && !(name in only && index(where, only[name]))) {
                print name, address, where
            }
        }' "$work/code.txt" >"$work/beyond.txt" || { cat "$work/beyond.txt"; exit 2; }
    if [ -s "$work/beyond.txt" ]; then
        # Each offending instruction once, with how often and where first.
        awk -v program="$program" -v cpu="$cpu" '
            { key = $0; sub(/ [0-9a-f]+ [^ ]*$/, "", key)
              if (!(key in count)) { first[key] = $(NF - 1) " in " $NF; order[++n] = key }
              count[key]++ }
            END { for (i = 1; i <= n; i++)
                      printf "%s: %s (%d times; first at 0x%s), beyond the %s\n",
                             program, order[i], count[order[i]], first[order[i]], cpu }
        ' "$work/beyond.txt"
        status=1
    fi
done
exit $status

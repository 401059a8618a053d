#!/usr/bin/env bash
# The processor check itself: each row assembles a small 32-bit Windows
# program and runs check_cpu.sh on it for one processor; the row says whether
# the check must pass it, and what a refusal must name.
# Usage: check_cpu_test.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# processor | instructions (";" between lines) | pass or the text of the refusal
rows=$(cat <<'ROWS'
i686 | mov eax, [ebx+4]; bswap eax; cmpxchg8b [esi]; rdtsc | pass
i586 | cmove eax, ebx | cmove (1 times
i686 | cmove eax, ebx; fcomip st, st(1); fcmovb st, st(2); ud2 | pass
i486 | cpuid | cpuid (1 times
i586 | nop DWORD PTR [eax] | nop+operand (1 times
i686 | nop DWORD PTR [eax]; nop; xchg ax, ax | pass
i386 | rep bsf eax, ebx; pause; lock xadd [ecx], eax | xadd (1 times
i686 | movaps xmm0, xmm1 | unknown to the table: movaps
i686 | emms | unknown to the table: emms
i686 | ldmxcsr [eax] | unknown to the table: ldmxcsr
i686 | fisttp DWORD PTR [eax] | unknown to the table: fisttp
i686 | popcnt eax, ebx | unknown to the table: popcnt
i686 | sysenter | unknown to the table: sysenter
i686 | rdrand eax | rdrand (1 times
i686 | .byte 0x0f, 0x04 | no instruction
ROWS
)

status=0
n=0
while IFS='|' read -r cpu code want; do
    cpu=$(echo $cpu) want=$(echo "$want" | sed 's/^ *//; s/ *$//')
    n=$((n + 1))
    {
        echo ".intel_syntax noprefix"
        echo ".text"
        echo ".globl _start"
        echo "_start:"
        tr ';' '\n' <<<"$code"
        echo "ret"
    } >"$work/row$n.s"
    i686-w64-mingw32-as -o "$work/row$n.o" "$work/row$n.s"
    i686-w64-mingw32-ld -e _start -o "$work/row$n.exe" "$work/row$n.o"
    result=0
    said=$("$here/check_cpu.sh" "$cpu" "$work/row$n.exe" 2>&1) || result=$?
    if [ "$want" = pass ]; then
        [ $result = 0 ] || { echo "row $n ($code on the $cpu): refused: $said"; status=1; }
    elif [ $result = 0 ]; then
        echo "row $n ($code on the $cpu): passed, should name \"$want\""
        status=1
    elif [[ $said != *"$want"* ]]; then
        echo "row $n ($code on the $cpu): says \"$said\", not \"$want\""
        status=1
    fi
done <<<"$rows"

# std::random_device's own functions may hold RDRAND: it runs them only after
# CPUID has reported the instruction.
cat >"$work/random.s" <<'ASM'
.intel_syntax noprefix
.text
.globl _start
_start:
    call __ZNSt12_GLOBAL__N_112__x86_rdrandEPv
    ret
.globl __ZNSt12_GLOBAL__N_112__x86_rdrandEPv
__ZNSt12_GLOBAL__N_112__x86_rdrandEPv:
    rdrand eax
    ret
ASM
i686-w64-mingw32-as -o "$work/random.o" "$work/random.s"
i686-w64-mingw32-ld -e _start -o "$work/random.exe" "$work/random.o"
"$here/check_cpu.sh" i686 "$work/random.exe" || { echo "RDRAND refused inside random_device"; status=1; }

# A stripped program is checked through the program it was stripped from, and
# must hold the same code.
i686-w64-mingw32-strip -o "$work/stripped.exe" "$work/row1.exe"
"$here/check_cpu.sh" i686 "$work/stripped.exe=$work/row1.exe" ||
    { echo "the stripped twin of a sound program refused"; status=1; }
if said=$("$here/check_cpu.sh" i686 "$work/stripped.exe" 2>&1); then
    echo "a stripped program passed without its built twin"
    status=1
fi
if said=$("$here/check_cpu.sh" i686 "$work/stripped.exe=$work/row3.exe" 2>&1) ||
    [[ $said != *"its code differs"* ]]; then
    echo "a stripped program passed as the twin of other code: $said"
    status=1
fi
[ $status = 0 ] && echo "check_cpu: $n rows and the twin checks passed"
exit $status

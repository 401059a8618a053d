# Applies a session's kernel.txt to a bench transcript: each block of "- "
# lines (consecutive bench lines) followed by "+ " lines (what the kernel's
# run shows instead, none to drop them) replaces every occurrence. Other
# lines of kernel.txt (comments saying why, blank lines) separate blocks.
# Appends "BLOCK COUNT" per block to the file `used`.
# Usage: awk -v rules=kernel.txt -v used=FILE -f differences.awk TRANSCRIPT
BEGIN {
    blocks = 0
    mode = ""
    while ((getline line < rules) > 0) {
        if (line ~ /^- /) {
            if (mode != "-") {
                blocks++
                minus[blocks] = 0
                plus[blocks] = 0
            }
            minus[blocks]++
            from[blocks, minus[blocks]] = substr(line, 3)
            mode = "-"
        } else if (line ~ /^\+ /) {
            if (mode == "") {
                print rules ": a \"+ \" line must follow \"- \" lines: " line > "/dev/stderr"
                bad = 1
                exit 2
            }
            plus[blocks]++
            to[blocks, plus[blocks]] = substr(line, 3)
            mode = "+"
        } else {
            mode = ""
        }
    }
}

{ lines[++n] = $0 }

END {
    if (bad) exit 2
    i = 1
    while (i <= n) {
        found = 0
        for (b = 1; b <= blocks && !found; b++) {
            if (i + minus[b] - 1 > n) continue
            same = 1
            for (j = 1; j <= minus[b] && same; j++)
                if (lines[i + j - 1] != from[b, j]) same = 0
            if (!same) continue
            for (j = 1; j <= plus[b]; j++) print to[b, j]
            i += minus[b]
            count[b]++
            found = 1
        }
        if (!found) print lines[i++]
    }
    for (b = 1; b <= blocks; b++) print b, count[b] + 0 >> used
}

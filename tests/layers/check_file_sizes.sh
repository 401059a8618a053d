#!/usr/bin/env bash
# No source file of src/ or frontends/ grows past 400 lines unless its opening
# comment says why, in a line that starts "// Longer than 400 lines:". A room
# that size usually holds two jobs; the check makes the split, or the reason,
# a decision rather than an accident.
# Usage: check_file_sizes.sh ROOT [LIMIT]
set -euo pipefail
root=$1
limit=${2:-400}
status=0
while IFS= read -r file; do
    lines=$(wc -l <"$file")
    [ "$lines" -le "$limit" ] && continue
    # The opening comment: the lines before the first one that is not a comment.
    if awk '!/^\/\//{exit} /^\/\/ Longer than [0-9]+ lines:/{found=1} END{exit !found}' "$file"; then
        continue
    fi
    echo "${file#"$root"/}: $lines lines, over $limit, and its opening comment gives no reason" >&2
    status=1
done < <(find "$root/src" "$root/frontends" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
exit $status

#!/usr/bin/env bash
# Fails when a source file includes against the layer order: every layer of
# src/ may include only itself and the layers below it, the platform's
# implementations (sim/, win32/, linux/) only the platform interface, and
# nothing in src/ includes a front end.
#
# usage: check_layers.sh <project root>
set -euo pipefail
root="${1:-.}"
cd "$root"

# From the bottom up.
layers=(platform view app updatedata device discovery access firmware ui)
rank() {
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}

status=0
while IFS= read -r file; do
    rel="${file#src/}"
    layer="${rel%%/*}"
    own=$(rank "$layer")
    if [ "$own" -lt 0 ]; then
        echo "$file: src/$layer is not a known layer"
        status=1
        continue
    fi
    impl=""
    case "$rel" in
        platform/*/*) impl="${rel#platform/}"; impl="${impl%%/*}" ;;
    esac
    while IFS= read -r line; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
        top="${target%%/*}"
        [ "$top" = "$target" ] && continue  # a file beside it
        if [ -n "$impl" ]; then
            case "$target" in
                platform/"$impl"/* | platform/*.h) continue ;;
            esac
            echo "$file: the platform's $impl layer includes $target"
            status=1
            continue
        fi
        case "$target" in
            platform/*/*)
                echo "$file: includes the platform implementation $target"
                status=1
                continue
                ;;
        esac
        other=$(rank "$top")
        if [ "$other" -lt 0 ]; then
            echo "$file: includes $target, outside the core"
            status=1
        elif [ "$other" -gt "$own" ]; then
            echo "$file: $layer includes $target, a layer above it"
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

[ "$status" -eq 0 ] && echo "layers: every include points downwards"
exit "$status"

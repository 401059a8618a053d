#!/usr/bin/env bash
# Fails when a source file includes against the layer order: every layer of
# src/ may include only itself and the layers below it, the platform's
# implementations (sim/, win32/, linux/) only the platform interface, and
# nothing in src/ includes a front end. The device model (src/emulator) stands
# beside the platform: it includes only itself and the platform interface,
# only the bench (platform/sim) includes it, and the core knows neither.
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

# A header of the platform interface itself (platform/x.h), not of one of its
# implementations: a case pattern's * would match the slash of
# platform/sim/x.h too.
interface() {
    [[ "$1" == platform/* && "${1#platform/}" != */* ]]
}

# What a file of src/<rel> may include besides the layers below it: an exit
# status of 0 allows `target`, 1 refuses it with the line printed, 2 leaves
# it to the layer order.
allowed_beside_layers() {
    local file=$1 rel=$2 target=$3 impl=$4
    case "$rel" in
        emulator/*)
            case "$target" in
                emulator/*) return 0 ;;
            esac
            interface "$target" && return 0
            echo "$file: the device model includes $target"
            return 1
            ;;
    esac
    if [ -n "$impl" ]; then
        case "$target" in
            platform/"$impl"/*) return 0 ;;
            emulator/*) [ "$impl" = sim ] && return 0 ;;
        esac
        interface "$target" && return 0
        echo "$file: the platform's $impl layer includes $target"
        return 1
    fi
    case "$target" in
        platform/*/*)
            echo "$file: includes the platform implementation $target"
            return 1
            ;;
        emulator/*)
            echo "$file: includes the device model $target"
            return 1
            ;;
    esac
    return 2  # the layer order decides
}

status=0
while IFS= read -r file; do
    rel="${file#src/}"
    layer="${rel%%/*}"
    own=$(rank "$layer")
    if [ "$own" -lt 0 ] && [ "$layer" != emulator ]; then
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
        verdict=0
        allowed_beside_layers "$file" "$rel" "$target" "$impl" || verdict=$?
        if [ "$verdict" -eq 0 ]; then
            continue
        elif [ "$verdict" -eq 1 ]; then
            status=1
            continue
        fi
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

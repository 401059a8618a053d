#!/usr/bin/env bash
# The bash completion offers every option `usbisp --help` names, and completes
# an option's value with what it takes (a folder for --dir, the controllers
# of a udc folder for --udc).
# Usage: check_completion.sh SOURCE_DIR USBISP
set -uo pipefail
src=$1 usbisp=$2
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
# compopt only works while completion runs; here it is a no-op.
compopt() { :; }
complete() { :; }
# shellcheck source=/dev/null
source "$src/packaging/completion/usbisp"
# shellcheck source=/dev/null
source "$src/packaging/completion/usbisp-reader"

# Completes the last word of "$@" with function $1; the offers on stdout.
offers() {
    local fn=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$fn"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

options=$("$usbisp" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || fail "usbisp --help names no option"
offered=$(offers _usbisp usbisp --)
for option in $options; do
    grep -qx -- "$option" <<<"$offered" || fail "usbisp completion lacks $option"
done
[ "$(offers _usbisp usbisp --st)" = "--station" ] || fail "--st does not complete to --station"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/demo-dir" && touch "$work/demo-file"
[ "$(offers _usbisp usbisp --dir "$work/demo")" = "$work/demo-dir" ] ||
    fail "--dir offers more than folders: $(offers _usbisp usbisp --dir "$work/demo")"
[ "$(offers _usbisp usbisp --bench "$work/demo-f")" = "$work/demo-file" ] ||
    fail "--bench does not offer files"

reader_options="--bench --configfs --firmware-out --help --reader --trace --udc --version"
[ "$(offers _usbisp_reader usbisp-reader -- | tr '\n' ' ')" = "$reader_options " ] ||
    fail "usbisp-reader completion offers: $(offers _usbisp_reader usbisp-reader --)"
exit $status

#!/usr/bin/env bash
# Assembles the guest's initramfs: the static busybox, the modules that
# tests/vm/modules names with everything they depend on (in load order),
# usbisp (with the shared libraries it loads when it is not static),
# usbisp-reader and the guest's Bulk-Only host usbisp-bot-client, the guest's
# scripts and the sessions.
# With SANITIZED_READER, usbisp-reader built with the sanitizers goes in as
# usbisp-reader-sanitized, with the shared libraries it loads.
# Usage: vm-initramfs.sh KERNEL_DIR USBISP USBISP_READER SESSIONS_DIR OUT.cpio BOT_CLIENT
#            [SANITIZED_READER]
set -euo pipefail

if [ $# -ne 6 ] && [ $# -ne 7 ]; then
    echo "usage: vm-initramfs.sh KERNEL_DIR USBISP USBISP_READER SESSIONS_DIR OUT.cpio BOT_CLIENT" \
        "[SANITIZED_READER]" >&2
    exit 2
fi

kernel=$1
usbisp=$2
reader=$3
sessions=$4
out=$5
client=$6
sanitized=${7:-}
here=$(cd "$(dirname "$0")/.." && pwd)
guest=$here/tests/vm/guest
busybox=/bin/busybox

# Nothing in the guest but these files. Busybox must be static; usbisp needs
# libpq, which comes as a shared library only, so a program that is not
# static brings its dynamic loader and its libraries along, at their paths.
for program in "$busybox" "$usbisp" "$reader" "$client"; do
    if [ ! -x "$program" ]; then
        echo "vm-initramfs.sh: $program is missing" >&2
        exit 1
    fi
done
if readelf -lW "$busybox" | grep -q 'Requesting program interpreter'; then
    echo "vm-initramfs.sh: $busybox is not linked statically" >&2
    exit 1
fi
libraries() {
    ldd "$1" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'
}

root=$out.root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,modules,usr/bin,vm}
cp "$busybox" "$root/bin/busybox"
# Without their debugging sections: a third of the size, and the guest copies
# every byte of the initramfs under emulation.
strip -o "$root/usr/bin/usbisp" "$usbisp"
strip -o "$root/usr/bin/usbisp-reader" "$reader"
strip -o "$root/usr/bin/usbisp-bot-client" "$client"
for program in "$usbisp" "$reader" "$client"; do
    readelf -lW "$program" | grep -q 'Requesting program interpreter' || continue
    for library in $(libraries "$program"); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
done
if [ -n "$sanitized" ]; then
    cp "$sanitized" "$root/usr/bin/usbisp-reader-sanitized"
    # The loader and every library, at the paths the program names them by.
    for lib in $(libraries "$sanitized"); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
fi
cp "$guest/init" "$root/init"
cp "$guest"/*.sh "$root/vm/"
cp -r "$sessions" "$root/vm/sessions"
# The folders the sessions' fixtures name, at their place in the source tree.
for list in "$sessions"/*/fixtures; do
    [ -f "$list" ] || continue
    while read -r folder; do
        case $folder in '' | '#'*) continue ;; esac
        mkdir -p "$root/vm/tree/$folder"
        cp -r "$here/$folder/." "$root/vm/tree/$folder/"
    done <"$list"
done
# Two users without privileges: operator, outside the group "disk" that owns
# the sg nodes, and diskop, in it; and reader, whom the virtual readers serve
# as.
cat >"$root/etc/group" <<'EOF'
root:x:0:
disk:x:6:diskop
operator:x:1000:
diskop:x:1001:
reader:x:1002:
EOF
cat >"$root/etc/passwd" <<'EOF'
root:x:0:0:root:/:/bin/sh
operator:x:1000:1000:operator:/tmp:/bin/sh
diskop:x:1001:1001:diskop:/tmp:/bin/sh
reader:x:1002:1002:reader:/tmp:/bin/sh
EOF

# Modules by name: a dependency may spell its '-' as '_' or the other way.
declare -A file_of
while IFS= read -r file; do
    name=${file##*/}
    name=${name%.ko}
    file_of[${name//-/_}]=$file
done < <(find "$kernel/modules/kernel" -name '*.ko')

declare -A params state
order=()
visit() {
    local key=${1//-/_}
    case ${state[$key]:-} in
        done) return 0 ;;
        busy) echo "vm-initramfs.sh: modules depend on each other in a cycle at $1" >&2; exit 1 ;;
    esac
    local file=${file_of[$key]:-}
    if [ -z "$file" ]; then
        # Built into the kernel, or missing from it.
        if grep -q "/${1}.ko\$\|/${key}.ko\$" "$kernel/modules/modules.builtin"; then
            state[$key]=done
            return 0
        fi
        echo "vm-initramfs.sh: the kernel has no module $1" >&2
        exit 1
    fi
    state[$key]=busy
    local dep
    for dep in $(modinfo -F depends "$file" | tr ',' ' '); do visit "$dep"; done
    # A soft dependency that is a module of its own is loaded first too
    # ("pre: crc64"); one that names an algorithm's alias is left to the kernel.
    for dep in $(modinfo -F softdep "$file" | sed -n 's/.*pre: *//p'); do
        [ -n "${file_of[${dep//-/_}]:-}" ] && visit "$dep"
    done
    state[$key]=done
    order+=("$key")
}
while read -r name rest; do
    case $name in '' | '#'*) continue ;; esac
    params[${name//-/_}]=$rest
    visit "$name"
done <"$here/tests/vm/modules"
for key in "${order[@]}"; do
    cp "${file_of[$key]}" "$root/modules/$key.ko"
    echo "$key ${params[$key]:-}" >>"$root/modules/order"
done

(cd "$root" && find . -mindepth 1 | LC_ALL=C sort | "$busybox" cpio -o -H newc 2>/dev/null) >"$out"
rm -rf "$root"

# The guest's side of a wine line (busybox sh, sourced by /init after
# guest.sh, whose session state and helpers it uses).
#
# The real UsbIsp.exe under 32-bit Wine (scripts/vm-wine.sh: Debian's
# wine32 as a root of its own, shared by the host over 9p as "wine"), worked
# by WineDriver.exe with SCRIPT, which starts it with /record REC.JSON. Its
# drive E: is the first sg node of virtual reader N (dosdevices/e::), so the
# program's pass-through requests go through Wine's SG_IO, usb-storage and
# dummy_hcd to the reader. The driver's output lands in run-N.driver, its
# exit status in run-N.status, the recording in run-N.rec.json; the program
# runs in the session's directory, which keeps only what the program wrote.
WINE_SHARE=/wine
WINE_SECONDS=420   # one run of the driver; a fresh prefix takes longer
mounted() { grep -q "^[^ ]* $1 " /proc/mounts; }
mount_wine() {
    mounted "$WINE_SHARE" && return 0
    mkdir -p "$WINE_SHARE"
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose wine "$WINE_SHARE" ||
        { session_failed "the host shares no Wine (9p tag wine)"; return 1; }
    root=$WINE_SHARE/root
    [ -x "$root/usr/lib/wine/wine" ] || { session_failed "the shared Wine has no loader"; return 1; }
    mount -t proc proc "$root/proc" && mount --bind /dev "$root/dev" &&
        mount -t tmpfs tmpfs "$root/tmp" ||
        { session_failed "cannot mount the Wine root's file systems"; return 1; }
}

# The root's Wine, run in its chroot as root with the prefix at /prefix/wine,
# for at most WINE_SECONDS; without Wine's ASPI layer, as on the Wine tests'
# machine: an XP machine has none installed.
in_wine_root() {
    timeout "$WINE_SECONDS" chroot "$WINE_SHARE/root" env -i PATH=/bin HOME=/tmp WINEPREFIX=/prefix/wine WINEARCH=win32 \
        WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver32 \
        WINEDLLOVERRIDES="wnaspi32=d;mscoree,mshtml=" "$@"
}

# The prefix the host made (or an earlier guest) under an overlay whose
# changes stay in the guest; made here, over 9p and kept, where there is none.
mount_prefix() {
    root=$WINE_SHARE/root
    mounted "$root/prefix" && umount "$root/prefix"
    if [ ! -f "$WINE_SHARE/prefix/ready" ]; then
        note "$SESSION: making the Wine prefix"
        rm -rf "$WINE_SHARE/prefix/wine"
        mount --bind "$WINE_SHARE/prefix" "$root/prefix" &&
            in_wine_root /usr/lib/wine/wine wineboot -i >>"$OUT/wine.log" 2>&1 &&
            in_wine_root /usr/lib/wine/wine regedit /S 'Z:\prefix.reg' >>"$OUT/wine.log" 2>&1 &&
            in_wine_root /usr/lib/wine/wineserver32 -w &&
            touch "$WINE_SHARE/prefix/ready" &&
            umount "$root/prefix" ||
            { session_failed "the Wine prefix could not be made: $(tail -n 3 "$OUT/wine.log")"; return 1; }
        note "$SESSION: the Wine prefix is made"
    fi
    rm -rf /tmp/wine-changes
    mkdir -p /tmp/wine-changes/upper /tmp/wine-changes/work
    mount -t overlay overlay \
        -o "lowerdir=$WINE_SHARE/prefix,upperdir=/tmp/wine-changes/upper,workdir=/tmp/wine-changes/work" \
        "$root/prefix" || { session_failed "cannot lay the overlay over the Wine prefix"; return 1; }
}

run_windows() {
    script=$1
    reader=1
    for word in "$@"; do
        case $word in reader=*) reader=${word#reader=} ;; esac
    done
    RUNS=$((RUNS + 1))
    base=$OUT/run-$RUNS
    eval "udc=\${READER_UDC_$reader:-}"
    [ -n "$udc" ] || { session_failed "wine $script: no reader $reader"; return 1; }
    sg=$(sg_nodes_of "$udc" | head -n 1)
    [ -n "$sg" ] || { session_failed "wine $script: reader $reader has no sg node"; return 1; }
    mount_wine && mount_prefix || return 1
    root=$WINE_SHARE/root
    devices=$root/prefix/wine/dosdevices
    rm -f "$devices/e:" "$devices/e::"
    ln -s /tmp "$devices/e:" && ln -s "/dev/$sg" "$devices/e::" ||
        { session_failed "cannot give drive E: the node $sg"; return 1; }
    cp "$WINE_SHARE/programs/UsbIsp.exe" "$WINE_SHARE/programs/WineDriver.exe" "$SESSION_DIR/$script" "$WORK/"
    mount --bind "$WORK" "$root/work" || { session_failed "cannot bind the directory"; return 1; }
    note "$SESSION: run $RUNS ($script): UsbIsp.exe under Wine on /dev/$sg"
    in_wine_root sh -c "cd /work && /usr/lib/wine/wine WineDriver.exe $script" \
        </dev/null >"$base.driver" 2>"$base.wine"
    echo $? >"$base.status"
    in_wine_root /usr/lib/wine/wineserver32 -k 2>/dev/null
    umount "$root/work"
    [ -f "$WORK/REC.JSON" ] && mv "$WORK/REC.JSON" "$base.rec.json"
    rm -f "$WORK/UsbIsp.exe" "$WORK/WineDriver.exe" "$WORK/$script"
    note "$SESSION: run $RUNS ($script) ended with status $(cat "$base.status")"
}

# The guest's side of a session (busybox sh, sourced by /init): plugs in the
# devices its plan names, runs usbisp --real over them and keeps what came
# out in /out/SESSION for the host to check:
#   run-N.out, run-N.err, run-N.status   transcript, standard error and exit
#                                        status of the N-th run
#   dir/                                 the program's directory at the end
#   reader-N.bin                         the firmware virtual reader N holds at
#                                        the end, written out by the reader
#   run-N.who                            who a run as a user ran as
#   run-N.rec.json                       the recording of a run with record
#   run-N.driver                         what WineDriver.exe saw of a wine run
#   station.out, .err, .status           the production station's transcript,
#                                        standard error and exit status
#   usbmon.txt, reader-N.log             the buses' requests, the readers' output
#   failed                               why the session could not be carried
#                                        out, when it could not
# The plan's lines are described in tests/vm/README.md. Every wait is bounded.

CONFIGFS=/sys/kernel/config/usb_gadget
READY_SECONDS=20   # a device's disks after its UDC is bound
GONE_SECONDS=20    # a device's disks after its UDC is unbound
RUN_SECONDS=180    # one run of usbisp

note() {
    echo "vm: [$(cut -d' ' -f1 /proc/uptime)] $*" >/dev/console
    echo "$*" >>/out/log
}

# Stops the session: why goes to the host, and the rest of the plan is left.
session_failed() {
    note "$SESSION: $*"
    echo "$*" >>"$OUT/failed"
    return 1
}

# The sg nodes whose SCSI device hangs below dummy_hcd.N, in sg order.
sg_nodes_of() {
    for node in /sys/class/scsi_generic/sg*; do
        [ -e "$node" ] || continue
        case $(readlink -f "$node/device") in
            */dummy_hcd."$1"/*) echo "${node##*/}" ;;
        esac
    done | sort -t g -k 2 -n
}

# Waits until the device on UDC N has WANT disks, each with its block device
# (the disk driver has finished with it), or none when WANT is 0.
wait_disks() {
    udc=$1
    want=$2
    seconds=$3
    tenths=$((seconds * 10))
    while [ "$tenths" -gt 0 ]; do
        have=0
        complete=1
        for sg in $(sg_nodes_of "$udc"); do
            have=$((have + 1))
            ls /sys/class/scsi_generic/"$sg"/device/block/* >/dev/null 2>&1 || complete=0
        done
        if [ "$have" -eq "$want" ] && [ "$complete" -eq 1 ]; then
            return 0
        fi
        usleep 100000
        tenths=$((tenths - 1))
    done
    session_failed "dummy_udc.$udc: $have disks, not $want, after $seconds s"
}

# Takes the next free device controller into $udc (no subshell: the count
# must outlive the call).
take_udc() {
    # One a reader unplugged for good ("unplug") left free comes first.
    if [ -n "$FREE_UDCS" ]; then
        set -- $FREE_UDCS
        udc=$1
        shift
        FREE_UDCS="$*"
        return
    fi
    udc=$UDC_COUNT
    UDC_COUNT=$((UDC_COUNT + 1))
}

# A 2 MiB disk image with one FAT partition, at the path $1.
make_disk_image() {
    image=$1
    dd if=/dev/zero of="$image" bs=1024 count=2048 2>/dev/null
    dd if=/dev/zero of=/tmp/part.img bs=1024 count=1024 2>/dev/null
    mkdosfs /tmp/part.img >/dev/null
    dd if=/tmp/part.img of="$image" bs=512 seek=2048 conv=notrunc 2>/dev/null
    rm /tmp/part.img
    # The partition table: one FAT12 partition from sector 2048, 2048
    # sectors long; the boot signature.
    printf '\000\000\002\000\001\377\377\377\000\010\000\000\000\010\000\000' |
        dd of="$image" bs=1 seek=446 conv=notrunc 2>/dev/null
    printf '\125\252' | dd of="$image" bs=1 seek=510 conv=notrunc 2>/dev/null
}

# A plain USB disk: the kernel's own mass-storage function over 2 MiB files
# with one FAT partition each, answering INQUIRY as a fixed disk does; UNITS
# of them (default 1) as the units of one device. "mounted": the partition of
# its last unit is mounted.
plug_disk() {
    take_udc
    units=${2:-1}
    gadget=$CONFIGFS/disk$udc
    function=$gadget/functions/mass_storage.0
    mkdir "$gadget" &&
        echo 0x1d6b >"$gadget/idVendor" &&
        echo 0x0104 >"$gadget/idProduct" &&
        mkdir "$gadget/strings/0x409" &&
        echo "Plain USB disk" >"$gadget/strings/0x409/product" &&
        mkdir "$function" ||
        { session_failed "cannot make the disk's gadget on dummy_udc.$udc"; return 1; }
    lun=0
    while [ "$lun" -lt "$units" ]; do
        image=/tmp/disk$udc-$lun.img
        make_disk_image "$image"
        { [ "$lun" -eq 0 ] || mkdir "$function/lun.$lun"; } &&
            echo "$image" >"$function/lun.$lun/file" &&
            echo "ATA     FIXED DISK      1.00" >"$function/lun.$lun/inquiry_string" ||
            { session_failed "cannot make unit $lun of the disk on dummy_udc.$udc"; return 1; }
        lun=$((lun + 1))
    done
    mkdir "$gadget/configs/c.1" &&
        ln -s "$function" "$gadget/configs/c.1/" &&
        echo "dummy_udc.$udc" >"$gadget/UDC" ||
        { session_failed "cannot make the disk's gadget on dummy_udc.$udc"; return 1; }
    GADGETS="$GADGETS $gadget"
    DISK_UDC=$udc
    wait_disks "$udc" "$units" "$READY_SECONDS" && apply_access || return 1
    if [ "$1" = mounted ]; then
        last=$(sg_nodes_of "$udc" | tail -n 1)
        disk=$(ls /sys/class/scsi_generic/"$last"/device/block/)
        mkdir -p "/mnt/$disk"
        mount -t msdos "/dev/${disk}1" "/mnt/$disk" ||
            { session_failed "cannot mount /dev/${disk}1"; return 1; }
        MOUNTS="$MOUNTS /mnt/$disk"
    fi
}

# Virtual reader N of the session's bench, with UNITS logical units, on the
# next free UDC; it says "ready" once its UDC is bound. Its log (--trace) has
# a line for each command and each event of the bus. It serves as the user
# reader (root keeps only the gadget), which writes its firmware out into
# $OUT; who served is kept in reader-N.who for the host to check.
# With a third word "sanitized" the reader is the build with AddressSanitizer
# and UndefinedBehaviorSanitizer, whose findings end it and land in its log.
READER_USER=1002:1002
plug_reader() {
    reader=$1
    units=$2
    program=usbisp-reader
    [ "${3:-}" = sanitized ] && program=usbisp-reader-sanitized
    note "$SESSION: reader $reader is $program"
    take_udc
    log=$OUT/reader-$reader.log
    chgrp "${READER_USER#*:}" "$OUT" && chmod g+w "$OUT"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 LD_LIBRARY_PATH=/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu \
        $program --trace --bench "$SESSION_DIR/bench.json" --reader "$reader" --udc "dummy_udc.$udc" \
        --firmware-out "$OUT/reader-$reader.bin" --user "$READER_USER" </dev/null >"$log" 2>&1 &
    eval "READER_UDC_$reader=$udc READER_PID_$reader=$!"
    READER_PIDS="$READER_PIDS $!"
    READERS="$READERS $reader"
    READERS_REVERSED=" $reader$READERS_REVERSED"
    tenths=$((READY_SECONDS * 10))
    until grep -qx ready "$log"; do
        if [ "$tenths" -le 0 ] || ! kill -0 "$!" 2>/dev/null; then
            session_failed "virtual reader $reader did not say ready: $(tail -n 3 "$log")"
            return 1
        fi
        usleep 100000
        tenths=$((tenths - 1))
    done
    # The serving process is the one child of the reader's.
    for child in $(cat "/proc/$!/task/$!/children" 2>/dev/null); do
        grep -E '^(Uid|Gid|Groups|CapEff|CapPrm):' "/proc/$child/status" >"$OUT/reader-$reader.who"
    done
    wait_disks "$udc" "$units" "$READY_SECONDS" && apply_access
}

# The guest's own Bulk-Only host against virtual reader N (identifiers
# VID:PID, UNITS units): it takes the interface from usb-storage, tries the
# transport's rules and hostile lengths, and gives the interface back; the
# host checks its status. Then the reader's disks are back as before. N
# "disk": the last plain disk, the kernel's own function, as the reference.
run_client() {
    if [ "$1" = disk ]; then
        udc=${DISK_UDC:-}
        set -- "$1" "$2" "$3" disk
    else
        eval "udc=\${READER_UDC_$1:-}"
    fi
    [ -n "$udc" ] || { session_failed "client $1: no such device"; return 1; }
    usbisp-bot-client "$2" "$3" ${4:-} </dev/null >"$OUT/client-$1.out" 2>&1
    echo $? >"$OUT/client-$1.status"
    note "$SESSION: client against $1 ended with status $(cat "$OUT/client-$1.status")"
    wait_disks "$udc" "$3" "$READY_SECONDS" && apply_access
}

# The configfs UDC file of virtual reader N's gadget into $udc_file, its
# device controller's number into $udc.
find_reader_gadget() {
    eval "udc=\${READER_UDC_$1:-}"
    [ -n "$udc" ] || { session_failed "replug $1: no such reader"; return 1; }
    udc_file=$(grep -lx "dummy_udc.$udc" "$CONFIGFS"/*/UDC 2>/dev/null | head -n 1)
    [ -n "$udc_file" ] || { session_failed "replug $1: no gadget on dummy_udc.$udc"; return 1; }
}

# How many times virtual reader N has said (--trace) that it lost the bus.
unplugs_seen() {
    grep -c -x -E 'unbind|unplugged' "$OUT/reader-$1.log"
}

# Virtual reader N unplugged: its UDC unbound, its disks gone, and the reader
# aware of it. A cable pulled by hand leaves the reader unpowered for far
# longer than the reader needs to notice; a bind at once could come before
# it has read the unbind, which the function's event queue then drops.
# Remembers the UDC file and the number of units for plug_back.
unplug_reader() {
    find_reader_gadget "$1" || return 1
    eval "UNPLUGGED_FILE_$1=\$udc_file"
    eval "UNPLUGGED_UNITS_$1=$(sg_nodes_of "$udc" | wc -l)"
    seen=$(unplugs_seen "$1")
    echo "" >"$udc_file" || { session_failed "replug $1: cannot unbind"; return 1; }
    wait_disks "$udc" 0 "$GONE_SECONDS" || return 1
    tenths=$((GONE_SECONDS * 10))
    until [ "$(unplugs_seen "$1")" -gt "$seen" ]; do
        if [ "$tenths" -le 0 ]; then
            session_failed "virtual reader $1 did not notice its unplug within $GONE_SECONDS s"
            return 1
        fi
        usleep 50000
        tenths=$((tenths - 1))
    done
}

# Virtual reader N plugged in again: its UDC bound, its disks back.
plug_back() {
    eval "udc=\${READER_UDC_$1} udc_file=\${UNPLUGGED_FILE_$1} units=\${UNPLUGGED_UNITS_$1}"
    echo "dummy_udc.$udc" >"$udc_file" || { session_failed "replug $1: cannot bind"; return 1; }
    wait_disks "$udc" "$units" "$READY_SECONDS" && apply_access
}

replug_reader() {
    unplug_reader "$1" && plug_back "$1"
}

# What an operator does when the program asks: every reader unplugged, then
# plugged in again in the reverse order, each once the one before has its
# disks, so that they come back under each other's sg nodes.
replug_all_reversed() {
    for reader in $READERS; do unplug_reader "$reader" || return 1; done
    for reader in $READERS_REVERSED; do plug_back "$reader" || return 1; done
    note "$SESSION: replugged as asked:$READERS_REVERSED"
}

# Gives the sg nodes the group "disk" and mode 0660, as udev does, from the
# plan's "access group" on, to every node that appears.
apply_access() {
    [ "$ACCESS" = group ] || return 0
    for node in /dev/sg*; do
        [ -e "$node" ] || continue
        chgrp disk "$node" && chmod 0660 "$node"
    done
}

# Stops usbisp and lets it go on again, every few hundredths of a second,
# until it ends; counts the stops in $1. A stop in the middle of a request
# must neither send the command again nor fail it.
stop_and_continue() {
    stops=0
    target=""
    tenths=$((READY_SECONDS * 10))
    while [ -z "$target" ] && [ "$tenths" -gt 0 ]; do
        target=$(pidof usbisp)
        usleep 10000
        tenths=$((tenths - 1))
    done
    while kill -STOP $target 2>/dev/null; do
        stops=$((stops + 1))
        usleep 2000
        kill -CONT $target
        usleep 5000
    done
    echo "$stops" >"$1"
}

# run SCRIPT [as USER] [replug-when-asked] [stop-continue] [bench=...]
# [stderr=...]: the host reads the last two. With replug-when-asked, each
# time the program asks on standard error to unplug and plug in the readers,
# they are replugged; with stop-continue it is stopped and continued again
# and again.
run_usbisp() {
    script=$1
    user=root
    answer_replugs=no
    stop=no
    record=no
    shift
    while [ $# -gt 0 ]; do
        [ "$1" = as ] && [ $# -gt 1 ] && user=$2
        [ "$1" = replug-when-asked ] && answer_replugs=yes
        [ "$1" = stop-continue ] && stop=yes
        [ "$1" = record ] && record=yes
        shift
    done
    RUNS=$((RUNS + 1))
    base=$OUT/run-$RUNS
    command="timeout $RUN_SECONDS usbisp --real --script $SESSION_DIR/$script --trace-io --dir $WORK"
    # The host replays the recording on the bench.
    [ "$record" = yes ] && command="$command --record $base.rec.json"
    if [ "$user" = root ]; then
        $command </dev/null >"$base.out" 2>"$base.err" &
    else
        chown -R "$user" "$WORK"
        # Who the program runs as: the host checks it has no capability.
        su "$user" -s /bin/sh -c "grep -E '^(Uid|Groups|CapEff|CapPrm):' /proc/self/status" \
            </dev/null >"$base.who"
        su "$user" -s /bin/sh -c "$command" </dev/null >"$base.out" 2>"$base.err" &
    fi
    pid=$!
    if [ "$stop" = yes ]; then
        stop_and_continue "$base.stops" &
        stopper=$!
    fi
    answered=0
    while [ "$answer_replugs" = yes ] && kill -0 "$pid" 2>/dev/null; do
        asked=$(grep -c 'plug them in again' "$base.err")
        if [ "$asked" -gt "$answered" ]; then
            replug_all_reversed || break
            answered=$((answered + 1))
        else
            usleep 50000
        fi
    done
    wait "$pid"
    echo $? >"$base.status"
    if [ "$stop" = yes ]; then
        wait "$stopper"
        note "$SESSION: run $RUNS stopped and continued $(cat "$base.stops" 2>/dev/null) times"
    fi
    note "$SESSION: run $RUNS ($script) ended with status $(cat "$base.status")"
}

# Virtual reader N unplugged for good, as a finished reader leaves a
# production station: its process stopped (it unbinds and removes its gadget
# and writes its firmware out), its disks gone; its device controller takes
# the next reader plugged in.
retire_reader() {
    eval "udc=\${READER_UDC_$1:-} pid=\${READER_PID_$1:-}"
    [ -n "$pid" ] || { session_failed "unplug $1: no such reader"; return 1; }
    kill "$pid"
    tenths=$((GONE_SECONDS * 10))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$tenths" -le 0 ] && { session_failed "virtual reader $1 did not stop"; return 1; }
        usleep 100000
        tenths=$((tenths - 1))
    done
    wait_disks "$udc" 0 "$GONE_SECONDS" || return 1
    FREE_UDCS="$FREE_UDCS $udc"
}

# station ARGS ... station end: the production station (usbisp --station
# --real --headless) over the session's directory, in the background from the
# first of these lines to the second; its transcript, standard error and exit
# status in station.out, station.err and station.status.
start_station() {
    base=$OUT/station
    timeout "$RUN_SECONDS" usbisp --station --real --headless --dir "$WORK" "$@" \
        </dev/null >"$base.out" 2>"$base.err" &
    STATION_PID=$!
    tenths=$((READY_SECONDS * 10))
    until grep -q '^station start ' "$base.out" 2>/dev/null; do
        if [ "$tenths" -le 0 ] || ! kill -0 "$STATION_PID" 2>/dev/null; then
            session_failed "the station did not start: $(tail -n 3 "$base.err")"
            return 1
        fi
        usleep 100000
        tenths=$((tenths - 1))
    done
}

end_station() {
    [ -n "$STATION_PID" ] || { session_failed "station end: no station runs"; return 1; }
    wait "$STATION_PID"
    echo $? >"$OUT/station.status"
    STATION_PID=""
    note "$SESSION: the station ended with status $(cat "$OUT/station.status")"
}

# await N WORD: until N of the station's port lines say WORD ("programmed").
await_station() {
    tenths=$((RUN_SECONDS * 10))
    until [ "$(grep -c "^port [^ ]* $2 " "$OUT/station.out")" -ge "$1" ]; do
        if [ "$tenths" -le 0 ] || ! kill -0 "$STATION_PID" 2>/dev/null; then
            session_failed "the station has not $2 $1 readers: $(tail -n 2 "$OUT/station.err")"
            return 1
        fi
        usleep 100000
        tenths=$((tenths - 1))
    done
}

# Ends the session: readers told to stop (each writes its firmware out),
# partitions unmounted, gadgets unbound and removed, their disks gone.
unplug_all() {
    for mount in $MOUNTS; do umount "$mount"; done
    for pid in $READER_PIDS; do kill "$pid" 2>/dev/null; done
    for pid in $READER_PIDS; do
        tenths=$((GONE_SECONDS * 10))
        while kill -0 "$pid" 2>/dev/null && [ "$tenths" -gt 0 ]; do
            usleep 100000
            tenths=$((tenths - 1))
        done
        if kill -0 "$pid" 2>/dev/null; then
            kill -9 "$pid"
            session_failed "a virtual reader did not stop within $GONE_SECONDS s"
        fi
    done
    for gadget in $GADGETS; do
        echo "" >"$gadget/UDC" 2>/dev/null
        rm -f "$gadget"/configs/c.1/*.0
        rmdir "$gadget"/functions/*/lun.[1-9]* 2>/dev/null
        rmdir "$gadget"/configs/c.1/strings/* "$gadget"/configs/c.1 2>/dev/null
        rmdir "$gadget"/functions/* "$gadget"/strings/* "$gadget" 2>/dev/null
    done
    udc=0
    while [ "$udc" -lt "$UDC_COUNT" ]; do
        wait_disks "$udc" 0 "$GONE_SECONDS"
        udc=$((udc + 1))
    done
    rm -f /tmp/disk*.img
}

run_session() {
    SESSION_DIR=$1
    SESSION=${1##*/}
    OUT=/out/$SESSION
    WORK=/tmp/$SESSION
    RUNS=0
    UDC_COUNT=0
    READER_PIDS=""
    READERS=""
    READERS_REVERSED=""
    ACCESS=""
    GADGETS=""
    DISK_UDC=""
    MOUNTS=""
    FREE_UDCS=""
    STATION_PID=""
    mkdir -p "$OUT" "$WORK"
    if [ -f "$SESSION_DIR/fixtures" ]; then
        while read -r folder; do
            case $folder in '' | '#'*) continue ;; esac
            cp -r "/vm/tree/$folder/." "$WORK/"
        done <"$SESSION_DIR/fixtures"
    fi
    [ -d "$SESSION_DIR/files" ] && cp -r "$SESSION_DIR/files/." "$WORK/"
    # The bench's clock is the guest's: the serial numbers carry the date.
    clock=$(sed -n 's/.*"clock": *"\([0-9-]*\)T\([0-9:]*\)".*/\1 \2/p' "$SESSION_DIR/bench.json")
    [ -n "$clock" ] && date -s "$clock" >/dev/null
    note "session $SESSION"
    # Every request on the buses, for whoever looks into a failure (the
    # host does not check it).
    cat /sys/kernel/debug/usb/usbmon/0u >"$OUT/usbmon.txt" 2>/dev/null &
    usbmon=$!
    # The plan is this loop's standard input: the programs that the steps
    # start read /dev/null.
    while read -r verb args; do
        case $verb in
            '' | '#'*) continue ;;
            reader) plug_reader $args ;;
            disk) plug_disk $args ;;
            access) ACCESS=$args && apply_access ;;
            run) run_usbisp $args ;;
            wine) run_windows $args ;;
            client) run_client $args ;;
            replug) replug_reader $args ;;
            unplug) retire_reader $args ;;
            station) if [ "$args" = end ]; then end_station; else start_station $args; fi ;;
            await) await_station $args ;;
            *) session_failed "unknown plan line: $verb $args" ;;
        esac || break
    done <"$SESSION_DIR/plan"
    # A station the plan did not see to its end (a step failed) is stopped.
    [ -n "$STATION_PID" ] && kill "$STATION_PID" 2>/dev/null && end_station
    unplug_all
    kill "$usbmon" 2>/dev/null
    mkdir -p "$OUT/dir"
    cp -r "$WORK/." "$OUT/dir/"
    rm -rf "$WORK"
}

# The bytes the second serial port has sent so far.
sent_on_ttyS1() {
    count=$(sed -n 's/^1: .* tx:\([0-9]*\).*/\1/p' /proc/tty/driver/serial)
    echo "${count:-0}"
}

# The results, as base64 between two marks, on the second serial port. The
# machine must not power off before the UART has sent the last byte: the
# port's transmit count tells when it has.
send_results() {
    {
        echo "--- results ---"
        tar -c -C /out . | base64
        echo "--- end ---"
    } >/tmp/results.b64
    stty -F /dev/ttyS1 raw -echo
    sent_before=$(sent_on_ttyS1)
    size=$(wc -c </tmp/results.b64)
    cat /tmp/results.b64 >/dev/ttyS1
    tenths=$((GONE_SECONDS * 10))
    while [ "$tenths" -gt 0 ]; do
        [ $(($(sent_on_ttyS1) - sent_before)) -ge "$size" ] && return 0
        usleep 50000
        tenths=$((tenths - 1))
    done
    note "the results did not go out within $GONE_SECONDS s"
}

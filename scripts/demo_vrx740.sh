#!/usr/bin/env bash
# `bash scripts/demo.sh [--windows] VRX740SW`: builds, starts the simulated storage module
# on a pty linked as COM1 in a scratch directory (a sample configuration of
# three files holding records), writes a setup file, a sample configuration
# file and sample data files there, and runs the configurator VRX740SW
# against it ("Quit" ends it). Without a terminal it checks the simulated
# module instead. Afterwards it shows what the module holds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
targets=(vrx740sim VRX740SW)

work="$(mktemp -d "${TMPDIR:-/tmp}/demo-vrx740.XXXXXX")"
MODULE_PID=""

start_module() {
    coproc SIM { exec "$build/sim/vrx740/vrx740sim" --link "$work/COM1" --baud 19200 2>&1; }
    MODULE_PID=$SIM_PID
    local line=""
    if ! read -r -t 10 -u "${SIM[0]}" line || [[ $line != READY* ]]; then
        echo "demo: the simulated module did not start: $line" >&2
        exit 1
    fi
    MODULE_TTY=${line#READY }
    echo "module: simulated VRX740 on $MODULE_TTY, linked as $work/COM1"
}

# Sends one command line to the simulated module and prints its answer.
module_cmd() {
    local answer=""
    echo "$*" >&"${SIM[1]}"
    read -r -t 5 -u "${SIM[0]}" answer || { echo "demo: no answer to '$*'" >&2; exit 1; }
    [[ $answer == OK* ]] || { echo "demo: '$*' -> $answer" >&2; exit 1; }
    [[ ${QUIET:-} ]] || echo "module: $* -> $answer"
}

stop_module() {
    if [[ -n $MODULE_PID ]]; then
        # The simulator ends at the end of its input and removes its link.
        local fd=${SIM[1]:-}
        [[ -n $fd ]] && exec {fd}>&-
        local i
        for ((i = 0; i < 50; i++)); do
            kill -0 "$MODULE_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$MODULE_PID" 2>/dev/null; then kill "$MODULE_PID" 2>/dev/null || true; fi
        wait "$MODULE_PID" 2>/dev/null || true
        MODULE_PID=""
    fi
    rm -rf "$work"
}
trap stop_module EXIT

# Little-endian 16-bit words to stdout.
le16() {
    local v
    for v in "$@"; do
        printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $((v >> 8 & 255)))"
    done
}

# A configuration file: magic 0x0C27, file count (4 bytes), then per file
# twenty words: record length, windows, maximum record, key length and the 16
# window offsets laid out from offset 2 (4 parameters, then windows of L + 3).
write_vrx() {
    local out=$1 count=$2
    shift 2
    local pos=2 i w
    {
        le16 0x0C27 "$count" 0
        for ((i = 0; i < count; i++)); do
            local len=$1 windows=$2 max=$3 key=$4
            shift 4
            le16 "$len" "$windows" "$max" "$key"
            pos=$((pos + 4))
            for ((w = 0; w < 16; w++)); do
                if ((w < windows)); then
                    le16 "$pos"
                    pos=$((pos + len + 3))
                else
                    le16 0
                fi
            done
        done
    } >"$out"
}

# A text data file: one record a line, values joined by ",", CR LF after each.
# $1 file, $2 printf format of a value, then records as "v1 v2 ..." words.
write_data() {
    local out=$1 format=$2 record v
    shift 2
    : >"$out"
    for record in "$@"; do
        local line="" sep=""
        for v in $record; do
            line+="$sep$(printf "$format" "$v")"
            sep=","
        done
        printf '%s\r\n' "$line" >>"$out"
    done
}

prepare_scratch() {
    # The setup file: Sy/Max on COM1: at 19200 (index 15), 8 data bits, 1 stop
    # bit, even parity, no route, front panel, rack address 1.
    le16 1 0 0 15 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 1 >"$work/VRX740SW.STP"
    # The module: file 1 keyed parts (8 registers, key 1), file 2 counters (4
    # registers), file 3 keyed recipes (16 registers, key 2).
    module_cmd preset 3  8 2 99 1  4 1 49 0  16 1 199 2
    QUIET=1
    local n
    for n in 0 1 2 5 9; do
        module_cmd setrec 1 $n $((1001 + n)) $((10 * n)) 0x00FF 0 7 0 0 $((0xA000 + n))
    done
    for n in 0 1 2 3 10 11; do
        module_cmd setrec 2 $n $((100 + n)) $((200 + n)) 0 65535
    done
    module_cmd setrec 3 4 0x4142 0x4344 1 2 3 4 5 6 7 8 9 10 11 12 13 14
    QUIET=
    module_cmd config
    module_cmd records 1
    module_cmd records 2
    # A configuration to load from disk and send: two files, three windows.
    write_vrx "$work/SAMPLE.VRX" 2  8 1 199 1  4 2 99 0
    # Data for file 1 (record length 8, keyed on its first register) and for
    # file 2 (record length 4).
    write_data "$work/PARTS.HEX" "%04X" "1001 1 2 3 4 5 6 7" "2002 8 9 10 11 12 13 14" \
        "1003 65535 0 1 0 1 0 1" "3004 4660 22136 0 0 0 0 43981"
    write_data "$work/COUNTS.DEC" "%d" "1 2 3 4" "10 20 30 40" "100 200 300 400" \
        "65535 0 65535 0" "7 7 7 7"
    write_data "$work/COUNTS.HEX" "%04X" "1 2 3 4" "10 20 30 40"
    echo "scratch: $work holds VRX740SW.STP, SAMPLE.VRX, PARTS.HEX, COUNTS.DEC, COUNTS.HEX"
}

guide() {
    cat <<'EOF'

VRX740SW is about to start against the simulated module on COM1 (front panel).
First letter or arrows and Enter pick; ESC backs out; F10 clears an error.
  Configuration > Fetch configuration from module   3 files come in
  Configuration > Edit configuration in PC memory   change a file, Send it
  Configuration > Load from disk to PC memory       SAMPLE.VRX
  Transfer > Keyed file load, hex                   PARTS.HEX into file 1
  Transfer > Sequential file load, decimal          COUNTS.DEC into file 2
  Transfer > Unload data to file                    file 1 or 2 to a new file
  Backup > Backup module to disk, then Restore module from disk
  Utilities > View module registers, Erase VRX740 file
  Quit                                              ends the demo
EOF
}

run_job() {
    prepare_scratch
    if [[ -t 0 && -t 1 ]]; then
        guide
        if [[ -n ${DEMO_WINDOWS:-} ]]; then
            wine_map_com1 "$MODULE_TTY"
            read -r -p "Press Enter to start VRX740SW.exe under wine: " _
            (cd "$work" && wine_run "$@")
            wine_stop
        else
            read -r -p "Press Enter to start VRX740SW: " _
            (cd "$work" && "$build/configurator/VRX740SW" "$@")
        fi
        echo "After VRX740SW, the module holds:"
    else
        echo "demo: VRX740SW needs a terminal; checking the simulated module instead"
        # The window of file 2 is at offset 32 (file 1: parameters 2-5, windows
        # 6 and 17 of 11 registers; file 2: parameters 28-31): read record 10
        # there as the configurator does, status 0x0880 = 2176 when found.
        module_cmd set 33 10
        module_cmd set 38 0
        module_cmd set 38 0x0080
        module_cmd get 32 6
    fi
    module_cmd config
    module_cmd records 1
    module_cmd records 2
    module_cmd stats
}

bash "$root/scripts/install-deps.sh" build
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
if [[ -n ${DEMO_WINDOWS:-} ]]; then
    source "$root/scripts/demo_wine.sh"
    wine_prepare VRX740SW
fi
start_module
run_job "$@"

#!/usr/bin/env bash
# The README's first command: builds, starts the simulated Sy/Max device on a
# pty linked as COM1 in a scratch directory, runs the register editor VELDAK
# against it there (Escape ends it; extra arguments are VELDAK switches, for
# example -K), and stops the device. Without a terminal it runs a short
# read/write job instead.
#
# The pieces: start_device / stop_device run the simulator (commands to it go
# through device_cmd), run_job is the work done against "COM1:" from the
# scratch directory. Change run_job (and the build targets) to run another
# program on the same device.
set -euo pipefail
# `bash scripts/demo.sh --windows [VRX740SW]` runs the Windows program under
# wine instead (scripts/demo_wine.sh).
DEMO_WINDOWS=""
if [[ ${1:-} == --windows ]]; then
    shift
    export DEMO_WINDOWS=1
fi
# `bash scripts/demo.sh VRX740SW` runs the configurator on a simulated module.
if [[ ${1:-} == VRX740SW ]]; then
    shift
    exec bash "$(dirname "$0")/demo_vrx740.sh" "$@"
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
targets=(symaxsim symax_demo VELDAK)

work="$(mktemp -d "${TMPDIR:-/tmp}/demo.XXXXXX")"
DEVICE_PID=""

start_device() {
    coproc SIM { exec "$build/sim/symax/symaxsim" --link "$work/COM1" --baud 9600 2>&1; }
    DEVICE_PID=$SIM_PID
    local line=""
    if ! read -r -t 10 -u "${SIM[0]}" line || [[ $line != READY* ]]; then
        echo "demo: the simulator did not start: $line" >&2
        exit 1
    fi
    DEVICE_TTY=${line#READY }
    echo "device: simulated Sy/Max slave on $DEVICE_TTY, linked as $work/COM1"
}

# Sends one command line to the simulator and prints its answer.
device_cmd() {
    local answer=""
    echo "$*" >&"${SIM[1]}"
    read -r -t 5 -u "${SIM[0]}" answer || { echo "demo: no answer to '$*'" >&2; exit 1; }
    echo "device: $* -> $answer"
}

stop_device() {
    if [[ -n $DEVICE_PID ]]; then
        # The simulator ends at the end of its input and removes its link.
        local fd=${SIM[1]:-}
        [[ -n $fd ]] && exec {fd}>&-
        local i
        for ((i = 0; i < 50; i++)); do
            kill -0 "$DEVICE_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$DEVICE_PID" 2>/dev/null; then kill "$DEVICE_PID" 2>/dev/null || true; fi
        wait "$DEVICE_PID" 2>/dev/null || true
        DEVICE_PID=""
    fi
    rm -rf "$work"
}
trap stop_device EXIT

run_job() {
    device_cmd set 1 100 200 300 400 65535 4660
    device_cmd set 8193 0x8000 0x8000 0x8000 0x8000
    # A module name in 8177 on, announced by 0x9990 in 8188.
    device_cmd set 8177 0x5645 0x4C44 0x414B 0x2044 0x454D 0x4F20 0x2020 0x2020 0x2020 0x2020 0
    device_cmd set 8188 0x9990
    if [[ -n $DEMO_WINDOWS ]]; then
        wine_map_com1 "$DEVICE_TTY"
        if [[ -t 0 && -t 1 ]]; then
            (cd "$work" && wine_run COM1:9600,E,8,1 "$@")
        else
            echo "demo: VELDAK.exe needs a terminal; its usage text instead"
            (cd "$work" && wine_run -? || true)
        fi
        wine_stop
    elif [[ -t 0 && -t 1 ]]; then
        (cd "$work" && "$build/regedit/VELDAK" COM1:9600,E,8,1 "$@")
    else
        echo "demo: VELDAK needs a terminal; running the short job instead"
        (cd "$work" && "$build/sim/symax/symax_demo" COM1: 9600)
    fi
    device_cmd get 1 6
}

bash "$root/scripts/install-deps.sh" build
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
if [[ -n $DEMO_WINDOWS ]]; then
    source "$root/scripts/demo_wine.sh"
    wine_prepare VELDAK
fi
start_device
run_job "$@"

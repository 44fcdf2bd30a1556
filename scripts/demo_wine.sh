# Sourced by scripts/demo.sh and scripts/demo_vrx740.sh for `--windows`: the
# Windows program runs under wine on this Linux machine, against the same
# simulator, its pty mapped as COM1 through the registry of a wine prefix of
# the demo's own (build-win/demo-wine). Needs $root; sets WIN_EXE.
#
#   wine_prepare PROGRAM      cross-builds PROGRAM.exe (scripts/build-win.sh)
#   wine_map_com1 /dev/pts/N  COM1 of the prefix is that pty
#   wine_run ARGS...          runs PROGRAM.exe in the current directory
#   wine_stop                 stops the prefix's wine server
WIN_BUILD="$root/build-win"
export WINEPREFIX="$WIN_BUILD/demo-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WIN_EXE=""

wine_prepare() {
    local program=$1 folder
    case "$program" in
    VELDAK) folder=regedit ;;
    VRX740SW) folder=configurator ;;
    *) echo "demo: no Windows build of $program" >&2; exit 2 ;;
    esac
    if [[ ! -f $root/scripts/build-win.sh ]]; then
        echo "demo: this tree has no Windows build (scripts/build-win.sh)" >&2
        exit 1
    fi
    bash "$root/scripts/build-win.sh" --target "$program" >/dev/null
    WIN_EXE="$WIN_BUILD/$folder/$program.exe"
    if [[ ! -d $WINEPREFIX ]]; then
        echo "demo: making the wine prefix $WINEPREFIX (once)"
        wine wineboot -i >/dev/null 2>&1
    fi
}

wine_map_com1() {
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$1" /f >/dev/null 2>&1
    # the next program reads the ports afresh: stop this prefix's server
    wineserver -k 2>/dev/null || true
    echo "wine: COM1 of $WINEPREFIX is $1"
}

wine_run() {
    wine "$WIN_EXE" "$@"
}

wine_stop() {
    [[ -n $WIN_EXE ]] && { wineserver -k 2>/dev/null || true; }
}

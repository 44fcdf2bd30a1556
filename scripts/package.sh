#!/usr/bin/env bash
# Makes the release packages.
#
#   scripts/package.sh [deb|zip|all] (default deb)
#
# deb: builds the installed targets in build/ (BUILD=dir for another tree),
#   makes the Debian package with cpack into packages/ and checks it
#   (tests/packaging/check_deb.sh: fields, file list, VELDAK -? from the
#   unpacked package, lintian without errors).
# zip: cross-builds VELDAK.exe and VRX740SW.exe in build-win/ (WIN_BUILD=dir)
#   with the mingw-w64 toolchain, makes the Windows zip into packages/ and
#   checks it (tests/packaging/check_zip.sh, VELDAK.exe -? under wine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/packages"
what=${1:-deb}
installed=(VELDAK VRX740SW vrx740sim symaxsim gateway_sim modbus_serial_sim modbustcpsim pacedcable
    man_pages)

make_deb() {
    local build=${BUILD:-$root/build}
    bash "$root/scripts/install-deps.sh" package
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j"$(nproc)" --target "${installed[@]}" >/dev/null
    mkdir -p "$out"
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
    rm -rf "$out/_CPack_Packages"
    local deb
    deb=$(ls -t "$out"/veldak-vrx740_*.deb | head -1)
    bash "$root/tests/packaging/check_deb.sh" "$build" "$deb"
    echo "package: $deb"
}

make_zip() {
    local build=${WIN_BUILD:-$root/build-win}
    local toolchain="$root/cmake/mingw-w64-x86_64.cmake"
    bash "$root/scripts/install-deps.sh" package
    bash "$root/scripts/install-deps.sh" win
    if [[ ! -f $toolchain ]]; then
        echo "package: no Windows toolchain file ($toolchain)" >&2
        exit 1
    fi
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    cmake --build "$build" -j"$(nproc)" --target VELDAK VRX740SW man_pages >/dev/null
    mkdir -p "$out"
    cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$out" >/dev/null
    rm -rf "$out/_CPack_Packages"
    local zip
    zip=$(ls -t "$out"/veldak-vrx740-*-win64.zip | head -1)
    unzip -l "$zip"
    # VELDAK.exe -? from the unpacked zip, under wine in a prefix of its own
    local prefix="$build/wine-package"
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        bash "$root/tests/packaging/check_zip.sh" "$build" wine
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    echo "package: $zip"
}

case "$what" in
deb) make_deb ;;
zip) make_zip ;;
all) make_deb && make_zip ;;
*)
    echo "usage: package.sh [deb|zip|all]" >&2
    exit 2
    ;;
esac

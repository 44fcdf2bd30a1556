#!/usr/bin/env bash
# Makes the Windows zip of a Windows build tree with cpack in a scratch
# folder and checks it: one top folder holding the two programs, the README
# for Windows users and the manual pages as text and HTML; VELDAK.exe -? from
# the unpacked zip prints the usage text and ends with status 1.
#
#   check_zip.sh BUILD_DIR WINE_COMMAND...
set -euo pipefail
build=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/zip-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
top="veldak-vrx740-$version-win64"
zip="$work/out/$top.zip"
[[ -f $zip ]] || { echo "no $top.zip: $(ls "$work/out")"; exit 1; }

expected="$top/README.txt
$top/VELDAK.exe
$top/VRX740SW.exe
$top/doc/README.md
$top/doc/VELDAK.html
$top/doc/VELDAK.txt
$top/doc/VRX740SW.html
$top/doc/VRX740SW.txt
$top/doc/vrx740sim.html
$top/doc/vrx740sim.txt"
actual=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
if [[ $actual != "$expected" ]]; then
    echo "zip differs from the promise:"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi

unzip -q "$zip" -d "$work/unpacked"
dir="$work/unpacked/$top"
grep -q "COM10 and above" "$dir/README.txt"
grep -q "VRX740SW.STP" "$dir/README.txt"
grep -q "live register editor" "$dir/doc/VELDAK.txt"
grep -q "<html" "$dir/doc/VRX740SW.html"
# plain text: no overstrikes left by the renderer
if grep -q $'\b' "$dir/doc/VELDAK.txt"; then
    echo "VELDAK.txt holds backspaces"
    exit 1
fi
set +e
(cd "$dir" && "$@" ./VELDAK.exe -? </dev/null >"$work/usage.txt" 2>/dev/null)
status=$?
set -e
[[ $status -eq 1 ]] || { echo "VELDAK.exe -? ended with $status"; cat "$work/usage.txt"; exit 1; }
tr -d '\r' <"$work/usage.txt" >"$work/usage.lf"
grep -qx "Usage is:" "$work/usage.lf" &&
    grep -qx -- "-6\[file\]    Read 6X registers from specified file." "$work/usage.lf" ||
    { echo "VELDAK.exe -? printed:"; cat "$work/usage.lf"; exit 1; }
echo "zip $top.zip: $(wc -l <<<"$actual") files as promised, VELDAK.exe -? runs"

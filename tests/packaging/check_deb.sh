#!/usr/bin/env bash
# Makes the Debian package of a Linux build tree with cpack in a scratch
# folder and checks it: the control fields, the file list holds the programs
# and the pages, VELDAK -? from the unpacked package prints the usage text and
# ends with status 1, and lintian (when present) reports no error.
#
#   check_deb.sh BUILD_DIR [DEB]     (with DEB given, that package is checked)
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/deb-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [[ -n ${2:-} ]]; then
    deb=$2
else
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; exit 1; }
    deb=$(ls "$work"/out/*.deb)
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "veldak-vrx740_${version}_${arch}.deb" ]] ||
    { echo "package file named $(basename "$deb")"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == veldak-vrx740 ]] || { echo "Package: $(field Package)"; exit 1; }
[[ $(field Version) == "$version" ]] || { echo "Version: $(field Version)"; exit 1; }
[[ $(field Architecture) == "$arch" ]] || { echo "Architecture: $(field Architecture)"; exit 1; }
[[ $(field Maintainer) == *"<"*"@"*">" ]] || { echo "Maintainer: $(field Maintainer)"; exit 1; }
# the dependencies come from the binaries: the C and C++ runtimes at least
for lib in libc6 libstdc++6; do
    [[ $(field Depends) == *"$lib ("* ]] || { echo "Depends lacks $lib: $(field Depends)"; exit 1; }
done
[[ $(field Description | wc -l) -ge 3 ]] || { echo "no extended description"; exit 1; }

list=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in usr/bin/VELDAK usr/bin/VRX740SW usr/bin/vrx740sim usr/bin/symaxsim \
    usr/bin/modbustcpsim usr/bin/modbus_serial_sim usr/bin/gateway_sim usr/bin/pacedcable \
    usr/share/man/man1/VELDAK.1.gz usr/share/man/man1/VRX740SW.1.gz \
    usr/share/man/man1/vrx740sim.1.gz usr/share/man/man1/symaxsim.1.gz \
    usr/share/man/man1/modbustcpsim.1.gz usr/share/man/man1/modbus_serial_sim.1.gz \
    usr/share/man/man1/gateway_sim.1.gz usr/share/man/man1/pacedcable.1.gz \
    usr/share/doc/veldak-vrx740/copyright \
    usr/share/doc/veldak-vrx740/changelog.gz usr/share/doc/veldak-vrx740/README.md; do
    grep -qx "\./$f" <<<"$list" || { echo "package lacks $f"; exit 1; }
done
# owned by root, programs stripped
if dpkg-deb -c "$deb" | awk '{print $2}' | grep -vqx root/root; then
    echo "files not owned by root/root"
    exit 1
fi

dpkg-deb -x "$deb" "$work/root"
file "$work/root/usr/bin/VELDAK" | grep -q ", stripped" || { echo "VELDAK not stripped"; exit 1; }
set +e
"$work/root/usr/bin/VELDAK" -? </dev/null >"$work/usage.txt" 2>&1
status=$?
set -e
[[ $status -eq 1 ]] || { echo "VELDAK -? ended with $status"; cat "$work/usage.txt"; exit 1; }
grep -qx "Usage is:" "$work/usage.txt" &&
    grep -qx -- "-6\[file\]    Read 6X registers from specified file." "$work/usage.txt" &&
    grep -qx "  update without moving.  F10 to acknowledge error.  Escape to exit." "$work/usage.txt" ||
    { echo "VELDAK -? printed:"; cat "$work/usage.txt"; exit 1; }
zcat "$work/root/usr/share/man/man1/VRX740SW.1.gz" | groff -man -ww -z

if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1 || true
    cat "$work/lintian.txt"
    if grep -q "^E: \|no-manual-page" "$work/lintian.txt"; then
        echo "lintian reports errors or a program without a manual page"
        exit 1
    fi
    echo "lintian: no errors"
else
    echo "lintian not installed: its check left out"
fi
echo "package $(basename "$deb"): $(wc -l <<<"$list") entries, checked"

#!/usr/bin/env bash
# `cmake --install` of a Linux build tree into a scratch prefix puts exactly
# these files there: the programs, every simulator, their manual pages gzipped,
# and the documents.
#
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/install-check.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/VELDAK
bin/VRX740SW
bin/gateway_sim
bin/modbus_serial_sim
bin/modbustcpsim
bin/pacedcable
bin/symaxsim
bin/vrx740sim
share/doc/veldak-vrx740/README.md
share/doc/veldak-vrx740/changelog.gz
share/doc/veldak-vrx740/copyright
share/man/man1/VELDAK.1.gz
share/man/man1/VRX740SW.1.gz
share/man/man1/gateway_sim.1.gz
share/man/man1/modbus_serial_sim.1.gz
share/man/man1/modbustcpsim.1.gz
share/man/man1/pacedcable.1.gz
share/man/man1/symaxsim.1.gz
share/man/man1/vrx740sim.1.gz"
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [[ $actual != "$expected" ]]; then
    echo "installed tree differs from the promise:"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi
for p in VELDAK VRX740SW gateway_sim modbus_serial_sim modbustcpsim pacedcable symaxsim vrx740sim; do
    [[ -x $prefix/bin/$p ]] || { echo "bin/$p is not executable"; exit 1; }
done
# the pages are gzip -9n: no name and no time stamp in the header
for page in "$prefix"/share/man/man1/*.gz "$prefix"/share/doc/veldak-vrx740/changelog.gz; do
    gzip -t "$page"
    header=$(od -An -tx1 -N8 "$page" | tr -d ' \n')
    [[ $header == 1f8b0800000000* ]] || { echo "$page: gzip header $header has a name or time"; exit 1; }
done
zcat "$prefix/share/man/man1/VELDAK.1.gz" | cmp - "$(dirname "$0")/../../man/VELDAK.1"
# the man program finds the installed page
MANPATH="$prefix/share/man" man -P cat VELDAK 2>/dev/null | grep -q "live register editor"
echo "install tree: $(wc -l <<<"$actual") files as promised"

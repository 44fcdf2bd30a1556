#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages; does nothing for
# those already present.
#
#   scripts/install-deps.sh [all|build|fuzz]
#
# all (the default): everything the tests use, the interoperability peers
# included. build: only what building the programs needs (the demo's set: a
# configure needs GoogleTest, since the tests are part of every build). fuzz:
# the build set and clang with its libFuzzer runtime (scripts/fuzz.sh).
set -euo pipefail
build=(cmake g++ make libgtest-dev)
case "${1:-all}" in
all) packages=("${build[@]}" clang-format tmux python3-pyte python3-pymodbus libmodbus-dev mbpoll socat lintian dpkg-dev groff-base file) ;;
build) packages=("${build[@]}") ;;
# package: the build set and what scripts/package.sh makes and checks the Debian package with
package) packages=("${build[@]}" dpkg-dev lintian groff-base file) ;;
fuzz) packages=(cmake make libgtest-dev clang libclang-rt-dev) ;;
*)
    echo "usage: install-deps.sh [all|build|fuzz]" >&2
    exit 2
    ;;
esac

if ! command -v dpkg >/dev/null || ! command -v apt-get >/dev/null; then
    echo "install-deps: not a Debian system; these are needed: ${packages[*]}" >&2
    exit 0
fi
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "install-deps: run as root (or install sudo) to install: ${missing[*]}" >&2
            exit 1
        fi
        SUDO=sudo
    fi
    echo "install-deps: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

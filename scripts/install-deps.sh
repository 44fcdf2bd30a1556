#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages; does nothing for
# those already present.
#
#   scripts/install-deps.sh [all|build|package|fuzz|win]
#
# all (the default): everything the tests use, the interoperability peers
# included. build: only what building the programs needs (the demo's set: a
# configure needs GoogleTest, since the tests are part of every build). fuzz:
# the build set and clang with its libFuzzer runtime (scripts/fuzz.sh). win:
# the mingw-w64 cross compilers (posix threads), GoogleTest's sources and wine
# for the Windows build (scripts/build-win.sh) and its tests, with the build
# set, tmux and python3 for the wine tests (the serial ones use Linux simulators).
set -euo pipefail
build=(cmake g++ make libgtest-dev)
case "${1:-all}" in
all) packages=("${build[@]}" clang-format tmux python3-pyte python3-pymodbus libmodbus-dev mbpoll socat lintian dpkg-dev groff-base file) ;;
build) packages=("${build[@]}") ;;
# package: the build set and what scripts/package.sh makes and checks the Debian package with
package) packages=("${build[@]}" dpkg-dev lintian groff-base file) ;;
fuzz) packages=(cmake make libgtest-dev clang libclang-rt-dev) ;;
win) packages=("${build[@]}" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix googletest wine64
     tmux python3) ;;
*)
    echo "usage: install-deps.sh [all|build|package|fuzz|win]" >&2
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

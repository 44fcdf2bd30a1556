#!/usr/bin/env bash
# Builds the Windows programs VELDAK.exe and VRX740SW.exe (and the Windows
# tests) in build-win/ with the mingw-w64 cross compilers; installs them first
# when missing. Then: ctest --test-dir build-win runs the tests under wine.
#
#   scripts/build-win.sh [cmake --build options, e.g. --target VELDAK]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh win
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-win -j"$(nproc)" "$@"

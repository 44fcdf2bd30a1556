#!/usr/bin/env bash
# Fails when a C++ source of the project differs from .clang-format; with
# --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'comm/*' 'screen/*' 'platform/*' 'regedit/*' 'configurator/*' \
    'sim/*' 'bench/*' 'fuzz/*' 'tests/*' | grep -E '\.(cpp|h|c)$')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
else
    clang-format --dry-run -Werror "${files[@]}"
    echo "format-check: ${#files[@]} files as .clang-format has them"
fi

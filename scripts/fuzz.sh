#!/usr/bin/env bash
# Installs clang and its libFuzzer runtime when missing (install-deps.sh fuzz),
# builds the libFuzzer targets of fuzz/ with it (AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/ or $FUZZ_BUILD) and runs each in
# turn for the given number of seconds (default 60), starting from a copy of
# its seed corpus in fuzz/corpus/<name>/ so the tree is left as it was.
#
#   scripts/fuzz.sh [seconds] [name ...]     names: only those targets (e.g. keydecode)
#
# A finding is kept in the build directory's findings/ folder (reproduce it with
# build-fuzz/fuzz/<name>_fuzz <file>); the script ends with status 1 when any
# target found something.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
build="${FUZZ_BUILD:-$root/build-fuzz}"

bash "$root/scripts/install-deps.sh" fuzz
if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ and its libFuzzer runtime are needed" >&2
    exit 2
fi
scratch="$(mktemp -d "${TMPDIR:-/tmp}/fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
if ! CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DFUZZ=ON -DSANITIZE=address,undefined \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$scratch/build.log" 2>&1 ||
    ! cmake --build "$build" -j"$(nproc)" --target fuzzers >>"$scratch/build.log" 2>&1; then
    tail -n 60 "$scratch/build.log"
    echo "fuzz: the build failed" >&2
    exit 2
fi

findings="$build/findings"
mkdir -p "$findings"

failed=()
for exe in "$build"/fuzz/*_fuzz; do
    target="$(basename "$exe")"
    name="${target%_fuzz}"
    if [[ $# -gt 0 && " $* " != *" $name "* ]]; then
        continue
    fi
    corpus="$scratch/$name"
    mkdir -p "$corpus"
    if [[ -d $root/fuzz/corpus/$name ]]; then
        cp -r "$root/fuzz/corpus/$name/." "$corpus/"
    fi
    echo "== $name: $seconds s"
    if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$corpus" >"$scratch/$name.log" 2>&1; then
        tail -n 40 "$scratch/$name.log"
        failed+=("$name")
    else
        grep -E "^(stat::number_of_executed_units|stat::new_units_added)" "$scratch/$name.log" || true
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzz: findings in: ${failed[*]} (see $findings)" >&2
    exit 1
fi
echo "fuzz: no findings"

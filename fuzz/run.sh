#!/usr/bin/env bash
# Builds the native fuzz targets (clang 14, libFuzzer, ASan, UBSan) in build/fuzz and runs each
# one on a fresh copy of its seed corpus.
#   fuzz/run.sh            a short smoke: 200000 runs, at most 60 seconds per target
#   fuzz/run.sh 10000000   a long run of that many executions per target, no time limit
# Exits non-zero when a build fails or a target finds a crash; the crashing input is left in
# build/fuzz/artifacts/<target>/.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$root/build/fuzz"

if [[ $# -gt 1 || ( $# -eq 1 && ! "$1" =~ ^[0-9]+$ ) ]]; then
    echo "usage: $0 [RUNS]" >&2
    exit 2
fi
if [[ $# -eq 1 ]]; then
    runs="$1"
    time_limit=()
else
    runs=200000
    time_limit=(-max_total_time=60)
fi

CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

status=0
for source in "$here"/*_fuzz.cpp; do
    target="$(basename "$source" .cpp)"
    seeds="$here/corpus/${target%_fuzz}"
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target/"
    rm -rf "$corpus"
    mkdir -p "$corpus" "$artifacts"
    if [[ -d "$seeds" ]]; then
        cp -R "$seeds/." "$corpus/"
    fi
    echo "== $target: $runs runs"
    if ! "$build/$target" -runs="$runs" "${time_limit[@]}" -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$corpus"; then
        echo "== $target FAILED; crashing input in $artifacts" >&2
        status=1
    fi
done
exit "$status"

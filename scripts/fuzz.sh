#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz and runs them.
#   scripts/fuzz.sh [TARGET] [SECONDS] [libFuzzer options...]
# TARGET is a name from tests/fuzz (inifile, qp, ...) or "all" (the default); SECONDS
# is the time per target (default 60). New inputs go to build-fuzz/corpus/<target>,
# crashes to build-fuzz/crashes/<target>; copy a real one to tests/fuzz/crashes/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:-all}"
seconds="${2:-60}"
shift $(($# < 2 ? $# : 2))
build=build-fuzz
fuzzdir=tests/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_FUZZING=ON >/dev/null
if [ "$target" = all ]; then
    targets=$(sed -n 's/^mailvane_add_fuzz_target(\([a-z0-9]*\) .*/\1/p' "$fuzzdir/CMakeLists.txt")
else
    targets="$target"
fi
for t in $targets; do
    cmake --build "$build" --target "fuzz_$t" -j "$(nproc)"
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/cmake/lsan.supp}"
export LANG=C.UTF-8
for t in $targets; do
    mkdir -p "$build/corpus/$t" "$build/crashes/$t"
    dict=()
    if [ -f "$fuzzdir/dict/$t.dict" ]; then
        dict=("-dict=$fuzzdir/dict/$t.dict")
    fi
    seeds=("$fuzzdir/corpus/$t")
    if [ -d "$fuzzdir/crashes/$t" ]; then
        seeds+=("$fuzzdir/crashes/$t")
    fi
    echo "== fuzz_$t for ${seconds}s"
    "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$t/" "${dict[@]}" "$@" "$build/corpus/$t" "${seeds[@]}"
done

#!/usr/bin/env bash
# Long fuzz runs measured in processor time: each TARGET runs until it has used SECONDS of
# CPU (default 1800), one after another, so that runs on a busy machine still get their
# full share. Builds first as scripts/fuzz.sh does.
#   scripts/fuzz_campaign.sh SECONDS TARGET...
# Run two at a time on two cores. While a file build-fuzz/PAUSE exists the running fuzzer
# is stopped (SIGSTOP), e.g. for a benchmark; its CPU clock stops with it. One line per
# target goes to build-fuzz/campaign.txt: exit code, CPU and wall seconds, executions and
# coverage; libFuzzer's output to build-fuzz/logs/TARGET.log.
set -uo pipefail
cd "$(dirname "$0")/.."
cpu_limit="${1:?seconds of CPU per target}"
shift
build=build-fuzz
fuzzdir=tests/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_FUZZING=ON >/dev/null
for t in "$@"; do
    cmake --build "$build" --target "fuzz_$t" -j "$(nproc)" || exit 1
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/cmake/lsan.supp}"
export LANG=C.UTF-8
tck=$(getconf CLK_TCK)
mkdir -p "$build/logs"
for t in "$@"; do
    mkdir -p "$build/corpus/$t" "$build/crashes/$t"
    dict=()
    [ -f "$fuzzdir/dict/$t.dict" ] && dict=("-dict=$fuzzdir/dict/$t.dict")
    seeds=("$fuzzdir/corpus/$t")
    [ -d "$fuzzdir/crashes/$t" ] && seeds+=("$fuzzdir/crashes/$t")
    log="$build/logs/$t.log"
    start=$(date +%s)
    "$build/tests/fuzz/fuzz_$t" -max_total_time=1000000 -print_final_stats=1 -artifact_prefix="$build/crashes/$t/" \
        "${dict[@]}" "$build/corpus/$t" "${seeds[@]}" >"$log" 2>&1 &
    pid=$!
    paused=0
    cpu=0
    while kill -0 "$pid" 2>/dev/null; do
        sleep 5
        if [ -e "$build/PAUSE" ]; then
            [ "$paused" = 0 ] && kill -STOP "$pid" && paused=1
            continue
        fi
        [ "$paused" = 1 ] && kill -CONT "$pid" && paused=0
        read -r -a f <"/proc/$pid/stat" 2>/dev/null || break
        cpu=$(((f[13] + f[14]) / tck))
        [ "$cpu" -ge "$cpu_limit" ] && kill -INT "$pid"
    done
    wait "$pid"
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    # libFuzzer ends an interrupted run with 72; anything else is a finding.
    echo "$t rc=$rc cpu=${cpu}s wall=$(($(date +%s) - start))s execs=${execs:-?} ${cov:-cov: ?}" >>"$build/campaign.txt"
done

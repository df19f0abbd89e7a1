#!/usr/bin/env bash
# Builds the fuzz targets (clang with libFuzzer and the address and
# undefined-behaviour sanitizers) in their own build folder and runs each on
# its seed corpus: ./scripts/fuzz.sh [seconds in all, default 270].
#   fuzz_backup_lines     the backup file's text layer alone (record lines,
#                         dates, trailing section): thousands of inputs a second
#   fuzz_backup_reader    a whole restore and backup on a real database
#   fuzz_exchange_readers the vCard and CSV readers of contact import
# The time is shared 65/20/15 among them; the text-layer target runs in two
# processes side by side (some ten thousand inputs a second in all), so that
# its share of CI's three minutes comes to about a million inputs. Each
# target's number of inputs is printed at its end. New inputs the fuzzer finds are kept
# in build-fuzz/corpus-<target>; an input that makes a target fail is written
# to build-fuzz/ and the script exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-270}"
build=build-fuzz
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCORVANTA_FUZZ=ON \
    "${launcher[@]}"
cmake --build "$build" -j2 --target fuzz_backup_lines fuzz_backup_reader fuzz_exchange_readers

# Dates are read in the fixed form a file records, whatever the locale; files
# without it are read in this one first.
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen
# Qt keeps some memory for the whole run; only real errors count.
# No allocation stacks, no filling of fresh memory and a smaller quarantine of
# freed memory: several times faster, and a failure is still reported with the
# stack where it happened.
export ASAN_OPTIONS=detect_leaks=0:malloc_context_size=0:max_malloc_fill_size=0:quarantine_size_mb=16

# run TARGET SHARE MAX_LEN TIMEOUT PROCESSES [EXTRA CORPUS...]: the processes
# share one corpus folder and pick up each other's finds.
run() {
    local target="$1" share="$2" max_len="$3" timeout="$4" processes="$5"
    shift 5
    local time=$(( seconds * share / 100 ))
    (( time > 0 )) || time=1
    local corpus="$build/corpus-$target"
    mkdir -p "$corpus"
    echo "== $target for $time s in $processes process(es)"
    local pids=() logs=() status=0
    for (( p = 1; p <= processes; ++p )); do
        local log="$build/$target-$p.log"
        logs+=("$log")
        "$build/fuzz/$target" -max_total_time="$time" -max_len="$max_len" -timeout="$timeout" -print_final_stats=1 \
            -artifact_prefix="$build/$target-" "$corpus" "$@" >"$log" 2>&1 &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || status=$?
    done
    local total=0
    for log in "${logs[@]}"; do
        if (( status != 0 )); then
            cat "$log"
        else
            grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
        fi
        local ran
        ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        total=$(( total + ${ran:-0} ))
    done
    echo "== $target: $total inputs in $time s ($(( total / time )) a second)"
    return "$status"
}

run fuzz_backup_lines 65 2048 5 2 fuzz/corpus
run fuzz_backup_reader 20 8192 20 1 fuzz/corpus
run fuzz_exchange_readers 15 8192 10 1 fuzz/corpus-exchange

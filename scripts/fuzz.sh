#!/usr/bin/env bash
# Builds the fuzz targets (clang with libFuzzer and the address and
# undefined-behaviour sanitizers) in their own build folder and runs each on
# its seed corpus: ./scripts/fuzz.sh [seconds in all, default 170].
#   fuzz_backup_lines     the backup file's text layer alone (record lines,
#                         dates, trailing section): thousands of inputs a second
#   fuzz_backup_reader    a whole restore and backup on a real database
#   fuzz_exchange_readers the vCard and CSV readers of contact import
# The time is shared 57/26/17 among them; the text-layer target runs in two
# processes, some eight to ten thousand inputs a second in all, so that its
# share of the default time comes to about a million inputs. New inputs the fuzzer finds are kept
# in build-fuzz/corpus-<target>; an input that makes a target fail is written
# to build-fuzz/ and the script exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-170}"
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
# No allocation stacks and no filling of fresh memory: several times faster,
# and a failure is still reported with the stack where it happened.
export ASAN_OPTIONS=detect_leaks=0:malloc_context_size=0:max_malloc_fill_size=0

run() {
    local target="$1" share="$2" max_len="$3" timeout="$4" processes="$5"
    shift 5
    local time=$(( seconds * share / 100 ))
    (( time > 0 )) || time=1
    local corpus="$build/corpus-$target"
    mkdir -p "$corpus"
    echo "== $target for $time s"
    local mode=(-print_final_stats=1)
    (( processes > 1 )) && mode=(-fork="$processes")
    "$build/fuzz/$target" -max_total_time="$time" -max_len="$max_len" -timeout="$timeout" "${mode[@]}" \
        -artifact_prefix="$build/$target-" "$corpus" "$@"
}

run fuzz_backup_lines 57 4096 5 2 fuzz/corpus
run fuzz_backup_reader 26 8192 20 1 fuzz/corpus
run fuzz_exchange_readers 17 8192 10 1

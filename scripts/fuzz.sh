#!/usr/bin/env bash
# Builds the backup file reader's fuzz target (clang with libFuzzer and the
# address and undefined-behaviour sanitizers) in its own build folder and runs
# it on the seed corpus for a while: ./scripts/fuzz.sh [seconds, default 60].
# New inputs the fuzzer finds are kept in build-fuzz/corpus; an input that
# makes it fail is written to build-fuzz/ and the script exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCORVANTA_FUZZ=ON
cmake --build "$build" -j2 --target fuzz_backup_reader
mkdir -p "$build/corpus"
# The reader reads dates under the locale the writer used.
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen
# Qt keeps some memory for the whole run; only real errors count.
export ASAN_OPTIONS=detect_leaks=0
"$build/fuzz/fuzz_backup_reader" -max_total_time="$seconds" -max_len=8192 -timeout=20 \
    -artifact_prefix="$build/" "$build/corpus" fuzz/corpus

#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   - unit and system tests in an AddressSanitizer + UndefinedBehaviorSanitizer build,
#   - the ThreadSanitizer tests in a TSan build,
#   - the fuzz targets (clang, libFuzzer) for a bounded time over their corpora,
#   - the benchmarks briefly, in an optimised build, to show they run.
# System tests run as root, each in its own network namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh

step() { printf '\n==== %s ====\n' "$*"; }

step "AddressSanitizer build: unit and system tests"
cmake -S . -B build/asan -DVELMORA_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug -DVELMORA_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -L 'unit|system' -j"$jobs" --output-on-failure

if ! ctest --test-dir build/asan -N -L tsan | grep -q 'Total Tests: 0'; then
  step "ThreadSanitizer build: concurrency tests"
  cmake -S . -B build/tsan -DVELMORA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug -DVELMORA_BENCH=OFF >/dev/null
  cmake --build build/tsan -j"$jobs" --target tsan_tests
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan -L tsan -j"$jobs" --output-on-failure
fi

step "Fuzz build (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVELMORA_FUZZ=ON -DVELMORA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j"$jobs" --target fuzz_targets
ctest --test-dir build/fuzz -L fuzz -j"$jobs" --output-on-failure --no-tests=ignore

step "Benchmarks (optimised build, short runs)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs" --target benchmarks
ctest --test-dir build/release -L bench --output-on-failure --no-tests=ignore

step "all tests passed"

#!/usr/bin/env bash
# Builds the benchmark suite in release mode, runs it, and prints the ratios beside
# their targets. Extra arguments go to the benchmark (e.g. --benchmark_filter=encode).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQ2MR_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target bench_component quellar2mrapi mrlib_emulator >/dev/null
exec build-release/bin/bench_component --benchmark_min_time=0.2 "$@"

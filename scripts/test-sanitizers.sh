#!/usr/bin/env bash
# The whole suite again under AddressSanitizer, UndefinedBehaviorSanitizer and leak
# detection (CMakePresets.json, preset "asan": gcc, build-asan), then the libFuzzer targets
# (preset "fuzz": clang-14, build-fuzz), each run for a short bounded time over its
# committed corpus; a crash, leak, hang or broken property fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
cmake --preset fuzz
cmake --build --preset fuzz --target fuzz_dispatch fuzz_variant fuzz_fixture fuzz_host_values fuzz_cassette
tests/fuzz/run_bounded.sh build-fuzz

#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, then the sanitizer build and
# the bounded fuzz runs (scripts/test-sanitizers.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
# The same suite under the sanitizers, then a bounded run of every fuzz target.
scripts/test-sanitizers.sh

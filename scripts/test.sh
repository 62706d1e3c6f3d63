#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the Windows build with its tests
# under Wine, then the sanitizer build and the bounded fuzz runs (scripts/test-sanitizers.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
# The 32-bit Windows build, compiled and checked but not run here: the packages of the
# Windows build carry it, and its tests read it.
cmake --preset windows-x86
cmake --build --preset windows-x86
# The Windows build: both DLLs, registered in a fresh Wine prefix of the build's own.
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
# The same suite under the sanitizers, then a bounded run of every fuzz target.
scripts/test-sanitizers.sh

#!/usr/bin/env bash
# The main job: builds the host, the component and the emulated server, then runs the
# demo script on the built-in default server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target q2mrhost quellar2mrapi mrlib_emulator >/dev/null
exec build/bin/q2mrhost examples/demo.lua "$@"

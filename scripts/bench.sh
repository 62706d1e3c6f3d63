#!/usr/bin/env bash
# Builds the benchmark suite in release mode, runs it, and prints the ratios beside
# their targets. Extra arguments go to the benchmark (e.g. --benchmark_filter=encode).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQ2MR_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target bench_component q2mrhost quellar2mrapi mrlib_emulator >/dev/null
build-release/bin/bench_component --benchmark_min_time=0.2 "$@"

# At scale through the Lua host, journal on: 32,600 users staged and committed, then 16 MiB
# of dynamic attributes (8 Mi characters) set and read back. Peak memory is the maximum
# resident set; the text's share is the peak above the same run stopped before the text.
journal=$(mktemp)
trap 'rm -f "$journal"' EXIT
scale() {
    rm -f "$journal"
    /usr/bin/time -f '%e %M' build-release/bin/q2mrhost --server tests/fixtures/standard.json --journal "$journal" \
        bench/scripts/scale.lua "$@" 2>&1 >/dev/null | tail -n 1
}
read -r users_seconds users_kb <<<"$(scale users-only)"
read -r all_seconds all_kb <<<"$(scale)"
text_kb=$((16 * 1024))
share_kb=$((all_kb - users_kb))
printf '\n| at scale, through the Lua host with --journal | measured | target |\n|---|---|---|\n'
printf '| time, users only / whole run | %s s / %s s | |\n' "$users_seconds" "$all_seconds"
printf '| peak memory, users only / whole run | %d / %d KiB | |\n' "$users_kb" "$all_kb"
printf '| peak memory for the 16 MiB text / the text | %.2f | 4 (%s) |\n' \
    "$(echo "$share_kb / $text_kb" | bc -l)" "$([ "$share_kb" -le $((4 * text_kb)) ] && echo met || echo MISS)"

#!/usr/bin/env bash
# Builds the benchmark suite in release mode, runs it, and prints the ratios beside
# their targets: the component's benchmark, the run at scale, then the dispatch benchmark on
# Linux and, built for Windows, under Wine. Extra arguments go to the component's benchmark
# (e.g. --benchmark_filter=encode).
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

# The project's dispatcher beside the standard runtime's: the same benchmark source on
# Linux, then built for Windows (release flags, build-windows-release) and run under Wine
# in a prefix of that build's own, where the emulated library is registered (the session
# makes its rows from it). The Wine run prints the table, with the Linux figures beside.
cmake --build build-release -j2 --target bench_dispatch >/dev/null
linux_figures=$(mktemp)
trap 'rm -f "$journal" "$linux_figures"' EXIT
printf '\n'
# Its own table has the Linux column only: the Wine run's has them all.
build-release/bin/bench_dispatch --benchmark_min_time=0.2 --figures-out="$linux_figures" |
    sed '/^$/,$d'

wbuild=build-windows-release
cmake -S . -B "$wbuild" --toolchain cmake/mingw-w64-x86_64.cmake --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
    -DQ2MR_BUILD_TESTS=OFF >/dev/null
cmake --build "$wbuild" -j2 --target bench_dispatch >/dev/null
export WINEPREFIX=$PWD/$wbuild/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's background processes keep the descriptors they inherit: they get a log file.
wine_log=$wbuild/wineprefix.log
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineserver -p60 </dev/null >>"$wine_log" 2>&1 || true
    wineboot --init </dev/null >>"$wine_log" 2>&1
fi
if wineserver -p60 </dev/null >>"$wine_log" 2>&1; then
    wine cmd /c exit </dev/null >>"$wine_log" 2>&1 || true
fi
if [ ! -f "$WINEPREFIX/q2mr-registered" ] || [ "$wbuild/bin/mrlib.dll" -nt "$WINEPREFIX/q2mr-registered" ]; then
    wine regsvr32 /s "$(winepath -w "$wbuild/bin/mrlib.dll")" </dev/null >>"$wine_log" 2>&1
    touch "$WINEPREFIX/q2mr-registered"
fi
printf '\n'
wine "$wbuild/bin/bench_dispatch.exe" --benchmark_min_time=0.2 --beside="$(winepath -w "$linux_figures")" \
    </dev/null 2>&1 | tr -d '\r'

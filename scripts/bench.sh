#!/usr/bin/env bash
# Builds the benchmark suite in release mode, runs it, and prints the ratios beside
# their targets: the component's benchmark, the run at scale, then the dispatch benchmark on
# Linux and, built for Windows, under Wine against both builds of the emulated library.
# Every benchmark runs Q2MR_BENCH_REPETITIONS times (5 by default) and every ratio is one
# of medians: one run moves a ratio by up to a third on a shared machine. Extra arguments go
# to the component's benchmark (e.g. --benchmark_filter=encode).
# Every table of the run also goes to build-release/bench-tables.md (Q2MR_BENCH_TABLES),
# under a line that says which run it is: the README's tables are that file, pasted whole.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
repetitions=${Q2MR_BENCH_REPETITIONS:-5}
repeat=(--benchmark_min_time=0.2 --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true)
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQ2MR_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target bench_component q2mrhost quellar2mrapi mrlib_emulator >/dev/null

tables=${Q2MR_BENCH_TABLES:-build-release/bench-tables.md}
output=$(mktemp)
trap 'rm -f "$output"' EXIT
load() { cut -d' ' -f1 /proc/loadavg; }
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
git diff --quiet HEAD 2>/dev/null || commit+=" with local changes"
started=$(date -u '+%Y-%m-%d %H:%M UTC')
start_load=$(load)
# keep_tables: the tables of what a program printed (lines from "|" on), one blank line apart.
keep_tables() { awk '/^\|/ { print; table = 1; next } table { print ""; table = 0 } END { if (table) print "" }' >>"$tables.part"; }
: >"$tables.part"
build-release/bin/bench_component "${repeat[@]}" "$@" | tee "$output"
keep_tables <"$output"

# At scale through the Lua host, journal on: 32,600 users staged and committed, then 16 MiB
# of dynamic attributes (8 Mi characters) set and read back. Peak memory is the maximum
# resident set; the text's share is the peak above the same run stopped before the text.
# Each figure is the median of three runs.
journal=$(mktemp)
trap 'rm -f "$output" "$journal"' EXIT
scale() {
    rm -f "$journal"
    /usr/bin/time -f '%e %M' build-release/bin/q2mrhost --server tests/fixtures/standard.json --journal "$journal" \
        bench/scripts/scale.lua "$@" 2>&1 >/dev/null | tail -n 1
}
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
# The median seconds and the median peak KiB of three runs of scale.lua with these arguments.
median_of_three() {
    local seconds=() kb=() s k
    while ((${#seconds[@]} < 3)); do
        read -r s k <<<"$(scale "$@")"
        seconds+=("$s")
        kb+=("$k")
    done
    echo "$(median3 "${seconds[@]}") $(median3 "${kb[@]}")"
}
read -r users_seconds users_kb <<<"$(median_of_three users-only)"
read -r all_seconds all_kb <<<"$(median_of_three)"
text_kb=$((16 * 1024))
share_kb=$((all_kb - users_kb))
{
    printf '\n| at scale, through the Lua host with --journal (median of 3) | measured | target |\n|---|---|---|\n'
    printf '| time, users only / whole run | %s s / %s s | |\n' "$users_seconds" "$all_seconds"
    printf '| peak memory, users only / whole run | %d / %d KiB | |\n' "$users_kb" "$all_kb"
    printf '| peak memory for the 16 MiB text / the text | %.2f | 4 (%s) |\n' \
        "$(echo "$share_kb / $text_kb" | bc -l)" "$([ "$share_kb" -le $((4 * text_kb)) ] && echo met || echo MISS)"
} | tee "$output"
keep_tables <"$output"

# The project's dispatcher beside the standard runtime's, and the library's calls by name
# beside early-bound: the same benchmark source on Linux, then built for Windows (release
# flags, build-windows-release) and run under Wine twice, each time in a prefix of its own
# where one build of the emulated library is registered (the session's library: its rows,
# its api). The last run prints the tables with the figures of the runs before it.
cmake --build build-release -j2 --target bench_dispatch >/dev/null
linux_figures=$(mktemp)
wine_figures=$(mktemp)
trap 'rm -f "$journal" "$output" "$linux_figures" "$wine_figures"' EXIT
printf '\n'
# The runs before the last show their benchmarks only: the last one's tables have them all.
build-release/bin/bench_dispatch "${repeat[@]}" --figures-out="$linux_figures" | sed '/^$/,$d'

wbuild=build-windows-release
cmake -S . -B "$wbuild" --toolchain cmake/mingw-w64-x86_64.cmake --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
    -DQ2MR_BUILD_TESTS=OFF >/dev/null
cmake --build "$wbuild" -j2 --target bench_dispatch mrlib_foreign >/dev/null
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# use_prefix FOLDER DLL: WINEPREFIX becomes FOLDER, made on first use, with DLL registered
# (again whenever the DLL is newer than the last registration) and a wineserver running.
use_prefix() {
    export WINEPREFIX=$PWD/$1
    # Wine's background processes keep the descriptors they inherit: they get a log file.
    local log=$1.log
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineserver -p60 </dev/null >>"$log" 2>&1 || true
        wineboot --init </dev/null >>"$log" 2>&1
    fi
    if wineserver -p60 </dev/null >>"$log" 2>&1; then
        wine cmd /c exit </dev/null >>"$log" 2>&1 || true
    fi
    if [ ! -f "$WINEPREFIX/q2mr-registered" ] || [ "$2" -nt "$WINEPREFIX/q2mr-registered" ]; then
        wine regsvr32 /s "$(winepath -w "$2")" </dev/null >>"$log" 2>&1
        touch "$WINEPREFIX/q2mr-registered"
    fi
}
use_prefix "$wbuild/wineprefix" "$wbuild/bin/mrlib.dll"
printf '\n'
wine "$wbuild/bin/bench_dispatch.exe" "${repeat[@]}" --figures-out="$(winepath -w "$wine_figures")" \
    </dev/null 2>&1 | tr -d '\r' | sed '/^$/,$d'
use_prefix "$wbuild/wineprefix-foreign" "$wbuild/bin/foreign/mrlib.dll"
printf '\n'
wine "$wbuild/bin/bench_dispatch.exe" "${repeat[@]}" --beside="$(winepath -w "$linux_figures")" \
    --beside="$(winepath -w "$wine_figures")" </dev/null 2>&1 | tr -d '\r' | tee "$output"
keep_tables <"$output"

# The run's tables with the line that names the run, for the README as they are.
{
    printf 'Run of %s, commit %s: %s cores, load average %s at the start, %s at the end; ' \
        "$started" "$commit" "$(nproc)" "$start_load" "$(load)"
    printf -- '--benchmark_min_time=0.2, %s repetitions%s.\n\n' "$repetitions" "${*:+, arguments $*}"
    cat "$tables.part"
} >"$tables"
rm -f "$tables.part"
printf '\nThe tables of this run: %s\n' "$tables"

#!/usr/bin/env bash
# A short bounded run of every fuzz target (FUZZ_SECONDS each, 15 by default): fails on a
# crash, a leak, a hang (-timeout) or a broken property. New inputs go to a scratch folder;
# the committed corpus is only read. Writes the figures to BUILD/fuzz-figures.txt.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-15}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/reliability/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
figures="$build/fuzz-figures.txt"
: > "$figures"
status=0
for target in dispatch variant fixture host_values; do
  mkdir -p "$scratch/$target"
  log="$scratch/$target.log"
  # Absolute folders: the dispatch target works inside a folder of its own.
  if "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
       -print_final_stats=1 -artifact_prefix="$scratch/$target-" \
       "$scratch/$target" "$root/tests/fuzz/corpus/$target" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, no crash or leak" | tee -a "$figures"
  else
    status=1
    echo "fuzz_$target: FAILED; the input that broke it:" >&2
    ls "$scratch/$target"-* >&2 || true
    grep -E "q2mr fuzz|ERROR|SUMMARY|runtime error" "$log" | head -20 >&2
    for artifact in "$scratch/$target"-*; do
      [ -f "$artifact" ] && cp "$artifact" "$build/" && echo "kept as $build/$(basename "$artifact")" >&2
    done
  fi
done
exit $status

#!/usr/bin/env bash
# A short bounded run of every fuzz target (FUZZ_SECONDS each, 15 by default): fails on a
# crash, a leak, a hang (-timeout) or a broken property. New inputs go to a scratch folder;
# the committed corpus is only read. FUZZ_JOBS targets run at once (2 by default, one per
# core); each target still gets its full time. Writes the figures to BUILD/fuzz-figures.txt.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build-fuzz}" && pwd)"
seconds="${FUZZ_SECONDS:-15}"
jobs="${FUZZ_JOBS:-2}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/reliability/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The targets the fuzz build made (tests/fuzz/CMakeLists.txt writes their names).
read -r -a targets < <(tr ';' ' ' < "$build/fuzz-targets.txt")

# One target's run; its verdict in $scratch/TARGET.verdict.
run_one() {
  local target=$1 log="$scratch/$1.log"
  mkdir -p "$scratch/$target"
  # Absolute folders: the dispatch target works inside a folder of its own.
  if "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
       -print_final_stats=1 -artifact_prefix="$scratch/$target-" \
       "$scratch/$target" "$root/tests/fuzz/corpus/$target" > "$log" 2>&1; then
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, no crash or leak" > "$scratch/$target.verdict"
  else
    : > "$scratch/$target.failed"
  fi
}

running=0
for target in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$target" &
  running=$((running + 1))
done
wait

figures="$build/fuzz-figures.txt"
: > "$figures"
status=0
for target in "${targets[@]}"; do
  if [ -f "$scratch/$target.verdict" ]; then
    tee -a "$figures" < "$scratch/$target.verdict"
    continue
  fi
  status=1
  echo "fuzz_$target: FAILED; the input that broke it:" >&2
  ls "$scratch/$target"-* >&2 || true
  grep -E "q2mr fuzz|ERROR|SUMMARY|runtime error" "$scratch/$target.log" | head -20 >&2
  for artifact in "$scratch/$target"-*; do
    [ -f "$artifact" ] && cp "$artifact" "$build/" && echo "kept as $build/$(basename "$artifact")" >&2
  done
done
exit $status

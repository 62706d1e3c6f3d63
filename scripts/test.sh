#!/usr/bin/env bash
# Builds everything and runs every test, stage by stage:
#   linux        the normal build (build/) and its tests
#   windows-x86  the 32-bit Windows build (build-windows-x86/): compiled and checked, never run
#   windows      the Windows build (build-windows/), the packages, and its tests under Wine
#   asan         the whole suite again under the sanitizers (build-asan/)
#   fuzz         every fuzz target, each run for a bounded time (build-fuzz/)
# scripts/test.sh STAGE... runs only the stages named. At the end, also when a stage fails,
# it prints each stage's wall time, its build and its tests apart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

stages=(linux windows-x86 windows asan fuzz)
(($#)) && stages=("$@")
for stage in "${stages[@]}"; do
  case " linux windows-x86 windows asan fuzz " in
  *" $stage "*) ;;
  *) echo "test.sh: no stage $stage (stages: linux windows-x86 windows asan fuzz)" >&2; exit 2 ;;
  esac
done

times=()
report() {
  local status=$?
  ((${#times[@]})) || return 0
  echo
  echo "Wall time of each stage:"
  printf '  %s\n' "${times[@]}"
  return $status
}
trap report EXIT
# timed NAME COMMAND...: runs the command, noting its wall time under NAME.
timed() {
  local name=$1 start=$SECONDS
  shift
  if "$@"; then
    times+=("$(printf '%-22s %4d s' "$name" $((SECONDS - start)))")
  else
    local status=$?
    times+=("$(printf '%-22s %4d s  FAILED' "$name" $((SECONDS - start)))")
    return $status
  fi
}

for stage in "${stages[@]}"; do
  case $stage in
  linux)
    timed "linux build" sh -c 'cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build -j2'
    timed "linux tests" ctest --test-dir build --output-on-failure -j2
    ;;
  windows-x86)
    timed "windows-x86 build" sh -c 'cmake --preset windows-x86 && cmake --build --preset windows-x86'
    ;;
  windows)
    timed "windows build" sh -c 'cmake --preset windows && cmake --build --preset windows'
    timed "windows tests" ctest --preset windows
    ;;
  asan)
    timed "asan build" sh -c 'cmake --preset asan && cmake --build --preset asan'
    timed "asan tests" ctest --preset asan
    ;;
  fuzz)
    timed "fuzz build" sh -c 'cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_targets'
    timed "fuzz runs" tests/fuzz/run_bounded.sh build-fuzz
    ;;
  esac
done

#!/usr/bin/env bash
# The whole suite again under AddressSanitizer, UndefinedBehaviorSanitizer and leak
# detection (CMakePresets.json, preset "asan": gcc, build-asan), then the libFuzzer targets
# (preset "fuzz": clang-14, build-fuzz), each run for a short bounded time over its
# committed corpus; a crash, leak, hang or broken property fails the run. The test
# command's stages "asan" and "fuzz".
set -euo pipefail
exec "$(dirname "$0")/test.sh" asan fuzz

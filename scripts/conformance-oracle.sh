#!/usr/bin/env bash
# Records the standard runtime's answers to the conformance cases into
# tests/conformance/oracle.tsv: builds the Windows conformance program, runs it under Wine in
# a prefix of its own (build-windows/wineprefix-oracle) in the English (United States) locale,
# and shows what changed. Review the difference before committing the table.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build-windows/CMakeCache.txt ] || cmake --preset windows
cmake --build build-windows --target conformance
export WINEPREFIX="$PWD/build-windows/wineprefix-oracle" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init </dev/null >"$WINEPREFIX/setup.log" 2>&1
fi
table=tests/conformance/oracle.tsv
wine build-windows/bin/conformance.exe --write "$(winepath -w "$table")" </dev/null
wineserver -w
git diff --stat -- "$table" || true

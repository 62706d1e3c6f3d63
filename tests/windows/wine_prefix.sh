#!/bin/sh
# The Wine prefix of one test run: made fresh, with a wineserver kept running between
# the calls of the run, and both libraries registered with regsvr32.
#   wine_prefix.sh start BIN_DIR [LIBRARY_DIR]    (WINEPREFIX names the prefix; the
#   change-server library's mrlib.dll from LIBRARY_DIR, BIN_DIR by default)
#   wine_prefix.sh stop
set -eu
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$1" in
start)
    bin=$2
    library=${3:-$2}
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Wine's background processes keep the descriptors they inherit: they get a log file,
    # never the test runner's output pipe.
    log=$WINEPREFIX/setup.log
    wineserver -p </dev/null >>"$log" 2>&1
    wineboot --init </dev/null >>"$log" 2>&1
    for dll in "$library/mrlib.dll" "$bin/quellar2mrapi.dll"; do
        if ! wine regsvr32 /s "$(winepath -w "$dll")" </dev/null >>"$log" 2>&1; then
            cat "$log"
            echo "regsvr32 failed for $dll"
            exit 1
        fi
        echo "registered $dll"
    done
    ;;
stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
esac

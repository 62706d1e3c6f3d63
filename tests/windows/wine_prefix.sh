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
    sh "$(dirname "$0")/../../scripts/wine-prefix.sh" new "$WINEPREFIX"
    # Kept running for the whole test run; its services write to a log, never to the test
    # runner's output pipe.
    sh "$(dirname "$0")/../../scripts/wine-prefix.sh" start "$WINEPREFIX"
    log=$WINEPREFIX/setup.log
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

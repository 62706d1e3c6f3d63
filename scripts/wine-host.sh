#!/bin/sh
# Runs the Windows script host of the Windows build under Wine:
#   scripts/wine-host.sh [OPTIONS] SCRIPT [ARG...]
# The options and exit codes are the host's (q2mrhost --help). Paths may be given as Linux
# paths: Wine's drive Z: is the root and the working folder carries over. Standard output
# and error are the host's own bytes; the exit code is the host's.
#
# The prefix is build-windows/wineprefix-host, made on first use with both libraries
# registered (again whenever a library is newer than its registration). Q2MR_WINEPREFIX
# names a prefix that is made and registered already (the test suite's) to use as it is.
# The Windows build must exist: cmake --preset windows && cmake --build --preset windows.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build-windows/bin
host=$bin/q2mrhost.exe
if [ ! -f "$host" ]; then
    echo "wine-host.sh: $host is missing; build it with: cmake --preset windows && cmake --build --preset windows" >&2
    exit 2
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Wine's background processes keep the descriptors they inherit: the server and the
# session's services get a log file, never the caller's pipes. The server stays a minute
# after the last program, so that runs in a row do not start it again.
log=$root/build-windows/wineprefix-host.log
start_session() {
    if wineserver -p60 </dev/null >>"$log" 2>&1; then
        wine cmd /c exit </dev/null >>"$log" 2>&1 || true
    fi
}

if [ -n "${Q2MR_WINEPREFIX:-}" ]; then
    export WINEPREFIX="$Q2MR_WINEPREFIX"
else
    export WINEPREFIX="$root/build-windows/wineprefix-host"
    stamp=$WINEPREFIX/q2mr-registered
    if [ ! -f "$stamp" ] || [ "$bin/mrlib.dll" -nt "$stamp" ] || [ "$bin/quellar2mrapi.dll" -nt "$stamp" ]; then
        # One caller makes and registers the prefix; others wait for it.
        exec 9>"$root/build-windows/wineprefix-host.lock"
        flock 9
        if [ ! -f "$stamp" ] || [ "$bin/mrlib.dll" -nt "$stamp" ] || [ "$bin/quellar2mrapi.dll" -nt "$stamp" ]; then
            : >"$log"
            if [ ! -f "$WINEPREFIX/system.reg" ]; then
                echo "wine-host.sh: making the Wine prefix $WINEPREFIX" >&2
                mkdir -p "$WINEPREFIX"
                wineserver -p60 </dev/null >>"$log" 2>&1 || true
                wineboot --init </dev/null >>"$log" 2>&1
            fi
            start_session
            for dll in mrlib.dll quellar2mrapi.dll; do
                if ! wine regsvr32 /s "$(winepath -w "$bin/$dll")" </dev/null >>"$log" 2>&1; then
                    cat "$log" >&2
                    echo "wine-host.sh: regsvr32 failed for $dll" >&2
                    exit 2
                fi
            done
            touch "$stamp"
        fi
        exec 9>&-
    fi
fi
start_session
exec wine "$host" "$@"

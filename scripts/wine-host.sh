#!/bin/sh
# Runs the Windows script host of the Windows build under Wine:
#   scripts/wine-host.sh [OPTIONS] SCRIPT [ARG...]
# The options and exit codes are the host's (q2mrhost --help). Paths may be given as Linux
# paths: Wine's drive Z: is the root and the working folder carries over. Standard output
# and error are the host's own bytes; the exit code is the host's.
#
# The host takes the component from beside itself and, with --server, the emulated
# library too, both registration-free (q2mrhost --help); nothing is registered for it. The
# prefix is build-windows/wineprefix-host, made on first use and left empty of the
# project's classes. Q2MR_WINEPREFIX names another prefix to use as it is (the test
# suite's, where libraries are registered). The Windows build must exist:
# cmake --preset windows && cmake --build --preset windows.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build-windows/bin
host=$bin/q2mrhost.exe
if [ ! -f "$host" ]; then
    echo "wine-host.sh: $host is missing; build it with: cmake --preset windows && cmake --build --preset windows" >&2
    exit 2
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -n "${Q2MR_WINEPREFIX:-}" ]; then
    export WINEPREFIX="$Q2MR_WINEPREFIX"
else
    export WINEPREFIX="$root/build-windows/wineprefix-host"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # One caller makes the prefix; others wait for it. Nothing started under the lock
        # keeps its descriptor: Wine's server would hold the lock as long as it runs.
        (
            flock 9
            if [ ! -f "$WINEPREFIX/system.reg" ]; then
                echo "wine-host.sh: making the Wine prefix $WINEPREFIX" >&2
                sh "$root/scripts/wine-prefix.sh" new "$WINEPREFIX.new" 9>&- &&
                    mv "$WINEPREFIX.new" "$WINEPREFIX"
            fi
        ) 9>"$root/build-windows/wineprefix-host.lock"
    fi
fi
# Wine's background processes keep the descriptors they inherit: the server and the
# session's services get a log file, never the caller's pipes. The server stays a minute
# after the last program, so that runs in a row do not start it again.
sh "$root/scripts/wine-prefix.sh" start "$WINEPREFIX" 60
exec wine "$host" "$@"

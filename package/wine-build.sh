#!/bin/sh
# Runs a Windows program of the build under Wine, in the build's own prefix (made on first
# use): wine-build.sh PREFIX PROGRAM.exe [ARG...]. Arguments that are absolute Linux paths
# are handed over as Wine's drive Z: names them.
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
shift
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # One caller makes the prefix, others wait; nothing Wine starts keeps the lock.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            sh "$(dirname "$0")/../scripts/wine-prefix.sh" new "$WINEPREFIX.new" 9>&- &&
                mv "$WINEPREFIX.new" "$WINEPREFIX"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
program=$1
shift
set -- "$@" --
for a; do
    shift
    [ "$a" = -- ] && break
    case $a in
    /*) set -- "$@" "Z:$(printf '%s' "$a" | tr / '\\')" ;;
    *) set -- "$@" "$a" ;;
    esac
done
# Wine's background processes get a log file, never the build's pipes.
sh "$(dirname "$0")/../scripts/wine-prefix.sh" start "$WINEPREFIX" 5
exec wine "$program" "$@" </dev/null

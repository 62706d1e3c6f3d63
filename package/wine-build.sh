#!/bin/sh
# Runs a Windows program of the build under Wine, in the build's own prefix (made on first
# use): wine-build.sh PREFIX PROGRAM.exe [ARG...]. Arguments that are absolute Linux paths
# are handed over as Wine's drive Z: names them.
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
shift
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot --init </dev/null >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; exit 1; }
    fi
    exec 9>&-
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
wineserver -p5 </dev/null >>"$WINEPREFIX.log" 2>&1 || true
exec wine "$program" "$@" </dev/null

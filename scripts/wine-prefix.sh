#!/bin/sh
# Wine prefixes for the build and the tests:
#   wine-prefix.sh new PREFIX [SECONDS]
#       makes PREFIX a new, empty prefix (whatever was there goes first), then starts it
#       as below when SECONDS is given
#   wine-prefix.sh start PREFIX [SECONDS]
#       starts the prefix's server, kept SECONDS after its last program (for good, until
#       `wineserver -k`, without SECONDS), and its services, unless its server runs already
#
# Making a prefix with wineboot takes 15 s or more here; a copy of one made before takes
# about a second and is the same prefix. The one made before lives outside the clone, one
# per Wine version, so that a fresh clone finds it too:
# ${XDG_CACHE_HOME:-$HOME/.cache}/quellar2mrapi/wineprefix-VERSION (Q2MR_WINE_CACHE names
# another folder). Its files are copied, never linked: Wine rewrites some of them in place.
#
# A prefix's services start with its first program and keep that program's standard error
# while the server runs: started here, they write to PREFIX.log, never into a caller's pipe
# (a test runner would wait for them).
set -eu
verb=$1 prefix=$2 seconds=${3-}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

start() {
    if WINEPREFIX=$prefix wineserver -p$seconds </dev/null >>"$prefix.log" 2>&1; then
        WINEPREFIX=$prefix wineboot </dev/null >>"$prefix.log" 2>&1 || true
    fi
}

case $verb in
start)
    start
    exit 0
    ;;
new) ;;
*)
    echo "wine-prefix.sh: new or start, not $verb" >&2
    exit 2
    ;;
esac

cache=${Q2MR_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quellar2mrapi}
version=$(wine --version 2>/dev/null | tr -cs 'A-Za-z0-9.' - | sed 's/-$//')
template=$cache/wineprefix-$version
if [ ! -f "$template/.made" ]; then
    mkdir -p "$cache"
    # One caller makes it, others wait. Wine's background processes must not inherit the
    # lock's descriptor, or the lock would last as long as they do.
    (
        flock 9
        if [ ! -f "$template/.made" ]; then
            rm -rf "$template" "$template.new"
            mkdir -p "$template.new"
            if ! WINEPREFIX=$template.new wineboot --init </dev/null >"$template.log" 2>&1 9>&-; then
                cat "$template.log" >&2
                exit 1
            fi
            # The registry is on disk once the prefix's server has ended.
            WINEPREFIX=$template.new wineserver -w 9>&-
            mv "$template.new" "$template"
            : >"$template/.made"
        fi
    ) 9>"$template.lock"
fi
if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
fi
mkdir -p "$(dirname "$prefix")"
cp -a "$template" "$prefix"
rm -f "$prefix/.made"
: >"$prefix.log"
[ $# -lt 3 ] || start

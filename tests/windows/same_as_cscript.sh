#!/bin/sh
# A script that runs unchanged under the stock cscript and under the Windows host: the
# same lines (the stock host ends them with CR LF) and the same exit code.
#   same_as_cscript.sh SCRIPT EXIT [ARG...]     (run in the script's folder)
set -u
script=$1 expected=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
wine cscript //nologo "$script" "$@" >"$tmp/cscript" 2>&1
cscript_code=$?
"$(dirname "$0")/../../scripts/wine-host.sh" "$script" "$@" >"$tmp/host" 2>&1
host_code=$?
tr -d '\r' <"$tmp/cscript" >"$tmp/cscript.lf"
status=0
[ "$cscript_code" = "$expected" ] && [ "$host_code" = "$expected" ] ||
    { echo "exit codes: cscript $cscript_code, q2mrhost $host_code, expected $expected"; status=1; }
cmp -s "$tmp/cscript.lf" "$tmp/host" || { echo "output differs:"; diff "$tmp/cscript.lf" "$tmp/host"; status=1; }
grep -q "^name $script " "$tmp/host" || { echo "the script did not run:"; cat "$tmp/host"; status=1; }
[ $status = 0 ] && echo "same $(wc -l <"$tmp/host") lines and exit code $host_code"
exit $status

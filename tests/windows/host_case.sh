#!/bin/sh
# One run of the Windows host, checked:  host_case.sh [CHECK...] -- COMMAND [ARG...]
#   --exit N               the exit code (0 unless given)
#   --out RE, --no-out RE  some line / no line of standard output matches RE (grep -E)
#   --err RE, --no-err RE  the same for standard error
# A stream that no --out or --err names must stay empty; neither may hold a CR.
set -u
expected=0
checks=
nl='
'
while [ $# -gt 0 ]; do
    case $1 in
    --exit) expected=$2; shift 2 ;;
    --out | --no-out | --err | --no-err) checks="$checks$1 $2$nl"; shift 2 ;;
    --) shift; break ;;
    *) echo "host_case.sh: unknown check $1"; exit 2 ;;
    esac
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$@" >"$tmp/out" 2>"$tmp/err"
code=$?
name() { [ "$1" = out ] && echo "standard output" || echo "standard error"; }
fail() {
    echo "FAILED: $*"
    echo "--- standard output"; cat "$tmp/out"
    echo "--- standard error"; cat "$tmp/err"
    exit 1
}
[ "$code" = "$expected" ] || fail "exit code $code, expected $expected"
cr=$(printf '\r')
for stream in out err; do
    if grep -q "$cr" "$tmp/$stream"; then fail "a CR in $(name $stream)"; fi
    case $checks in
    *"--$stream "*) ;;
    *) [ -s "$tmp/$stream" ] && fail "$(name $stream) is not empty" ;;
    esac
done
printf '%s' "$checks" | while IFS= read -r check; do
    kind=${check%% *}
    re=${check#* }
    stream=${kind#--}
    stream=${stream#no-}
    if grep -Eq -- "$re" "$tmp/$stream"; then found=yes; else found=no; fi
    case $kind:$found in
    --out:no | --err:no) fail "no line of $(name $stream) matches: $re" ;;
    --no-out:yes | --no-err:yes) fail "a line of $(name $stream) matches: $re" ;;
    esac
done || exit 1
echo "exit code $code; output as expected"

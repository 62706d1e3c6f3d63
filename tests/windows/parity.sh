#!/bin/sh
# The same session from Lua through the Linux host and from VBScript through the Windows
# host: the same journal lines, the same state file; the Windows host's trace on standard
# error is its journal.  parity.sh LUA_HOST SCRIPTS FIXTURE SCRATCH
# Skipped (77) when the Linux build's host is not there.
set -u
lua_host=$1 scripts=$2 fixture=$3 scratch=$4
[ -x "$lua_host" ] || { echo "no Linux host at $lua_host: skipped"; exit 77; }
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$scratch" && mkdir -p "$scratch"
"$lua_host" --server "$fixture" --journal "$scratch/lua.jsonl" --state-out "$scratch/lua.state" \
    "$scripts/parity.lua" >"$scratch/lua.out" 2>&1 || { cat "$scratch/lua.out"; echo "the Lua host failed"; exit 1; }
"$root/scripts/wine-host.sh" --server "$fixture" --journal "$scratch/vbs.jsonl" --state-out "$scratch/vbs.state" \
    --trace "$scripts/parity.vbs" >"$scratch/vbs.out" 2>"$scratch/vbs.trace" || {
    cat "$scratch/vbs.out" "$scratch/vbs.trace"; echo "the Windows host failed"; exit 1; }
status=0
cmp "$scratch/lua.jsonl" "$scratch/vbs.jsonl" || { diff "$scratch/lua.jsonl" "$scratch/vbs.jsonl"; status=1; }
cmp "$scratch/lua.state" "$scratch/vbs.state" || { diff "$scratch/lua.state" "$scratch/vbs.state"; status=1; }
cmp "$scratch/vbs.jsonl" "$scratch/vbs.trace" || { echo "the trace is not the journal"; status=1; }
grep -q '"CreateGroup"' "$scratch/vbs.jsonl" || { echo "the journal lacks the session's calls"; status=1; }
grep -q '"parity"' "$scratch/vbs.state" || { echo "the state lacks the session's group"; status=1; }
[ $status = 0 ] && echo "$(wc -l <"$scratch/vbs.jsonl") journal lines and the state file alike"
exit $status

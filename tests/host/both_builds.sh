#!/bin/sh
# One script through the Lua host against each build of the emulated library: the same
# output, exit code, journal and state file.  both_builds.sh HOST FOREIGN_REGISTRY SCRIPT
# FIXTURE SCRATCH
set -u
host=$1 foreign=$2 script=$3 fixture=$4 scratch=$5
rm -rf "$scratch" && mkdir -p "$scratch"
run() {
    "$host" --server "$fixture" --journal "$scratch/$1.jsonl" --state-out "$scratch/$1.state" "$script" \
        >"$scratch/$1.out" 2>&1
    echo $? >"$scratch/$1.code"
}
OLEAUTO_REGISTRY= run first
OLEAUTO_REGISTRY=$foreign run second
status=0
for part in out code jsonl state; do
    cmp "$scratch/first.$part" "$scratch/second.$part" || { diff "$scratch/first.$part" "$scratch/second.$part"; status=1; }
done
grep -q '"AddUsers"' "$scratch/second.jsonl" || { echo "the session's calls are missing"; status=1; }
# The registry named is the one used: without a library in it the host cannot start.
OLEAUTO_REGISTRY=$scratch/none run none
[ "$(cat "$scratch/none.code")" = 2 ] || { echo "the host did not use the registry named"; status=1; }
[ $status = 0 ] && echo "$(wc -l <"$scratch/second.jsonl") journal lines, output, exit code and state alike"
exit $status

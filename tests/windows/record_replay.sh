#!/bin/sh
# The VBScript suite recorded through the Windows host against the emulated library's
# second build (registered in its own prefix, as an installed library that is not ours),
# then replayed offline by the first: the same output and exit code.
#   record_replay.sh FOREIGN_PREFIX PREFIX FIXTURE SCRATCH   (run in the scripts' folder)
set -u
foreign=$1 prefix=$2 fixture=$3 scratch=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$scratch" && mkdir -p "$scratch"
tape=$scratch/suite.jsonl
Q2MR_WINEPREFIX=$foreign sh "$root/scripts/wine-host.sh" --record "$tape" component.vbs "$fixture" "$scratch" \
    >"$scratch/recorded.out" 2>"$scratch/recorded.err"
echo $? >"$scratch/recorded.code"
Q2MR_WINEPREFIX=$prefix sh "$root/scripts/wine-host.sh" --replay "$tape" component.vbs "$fixture" "$scratch" \
    >"$scratch/replayed.out" 2>"$scratch/replayed.err"
echo $? >"$scratch/replayed.code"
status=0
for part in out err code; do
    cmp -s "$scratch/recorded.$part" "$scratch/replayed.$part" ||
        { diff "$scratch/recorded.$part" "$scratch/replayed.$part"; echo "FAILED: replayed $part"; status=1; }
done
grep -q '^RESULT: [0-9]* passed, 0 failed$' "$scratch/recorded.out" || { cat "$scratch/recorded.out"; echo "FAILED: the recorded run"; status=1; }
grep -q '"op":"AddUsers"' "$tape" || { echo "FAILED: the suite's calls are missing"; status=1; }
grep -q -e '"s3cret"' "$tape" && { echo "FAILED: a password is in the cassette"; status=1; }
[ $status = 0 ] && echo "$(($(wc -l <"$tape") - 1)) calls recorded against the second build and replayed by the first alike"
exit $status

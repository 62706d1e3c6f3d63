#!/bin/sh
# The VBScript suite recorded through the Windows host against the emulated library's
# second build (registered in its own prefix, as an installed library that is not ours),
# then replayed offline by the first: the same output and exit code. Then the suite
# recorded with --server (the emulated library beside the host, inside the activation
# context) and replayed alike, its login token masked; and a run whose calls went past the
# recorder refused.
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

served=$scratch/served.jsonl
Q2MR_WINEPREFIX=$prefix sh "$root/scripts/wine-host.sh" --server "$fixture" --record "$served" component.vbs "$fixture" \
    "$scratch" >"$scratch/served.out" 2>"$scratch/served.err"
echo $? >"$scratch/served.code"
Q2MR_WINEPREFIX=$prefix sh "$root/scripts/wine-host.sh" --replay "$served" component.vbs "$fixture" "$scratch" \
    >"$scratch/served-replayed.out" 2>"$scratch/served-replayed.err"
echo $? >"$scratch/served-replayed.code"
for part in out err code; do
    cmp -s "$scratch/served.$part" "$scratch/served-replayed.$part" ||
        { diff "$scratch/served.$part" "$scratch/served-replayed.$part"; echo "FAILED: replayed $part (--server)"; status=1; }
done
grep -q '"op":"AddUsers"' "$served" || { echo "FAILED: --server recorded no session"; status=1; }
grep -q '"op":"LoginToken","args":\[\],"result":\["BSTR","\*\*\*"\]' "$served" && ! grep -q '"EMU-' "$served" ||
    { echo "FAILED: the login token is not masked"; status=1; }

printf '%s\n' 'CreateObject("mrlib.Emulator").ServeClass "mrlib.api", Empty' \
    'WScript.Echo CreateObject("mrlib.api").OpenConnection("tcp", "localhost", 8400)' >"$scratch/past.vbs"
Q2MR_WINEPREFIX=$prefix sh "$root/scripts/wine-host.sh" --server "$fixture" --record "$scratch/past.jsonl" "$scratch/past.vbs" \
    >"$scratch/past.out" 2>&1
code=$?
[ $code = 1 ] && grep -qx 'q2mrhost: the library answered 2 calls and none was recorded: the cassette holds no call to replay' "$scratch/past.out" ||
    { cat "$scratch/past.out"; echo "FAILED: calls past the recorder: exit $code"; status=1; }
[ $status = 0 ] && echo "$(($(wc -l <"$tape") - 1)) calls recorded against the second build, $(($(wc -l <"$served") - 1)) with --server, replayed alike"
exit $status

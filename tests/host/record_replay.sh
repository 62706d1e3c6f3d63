#!/bin/sh
# A Lua session recorded against the emulated library's second build (its own ids, as an
# installed library that is not ours), then replayed offline by the first:
#   record_replay.sh HOST FOREIGN_REGISTRY SCRIPT FIXTURE SCRATCH
# The same output and exit code; the cassette's mode 0600, no password and no login token
# in it; a run whose calls went past the recorder refused; a script changed by one argument
# caught at that call; cassettes cut short or corrupted refused before the script runs;
# recorded calls left unplayed reported.
set -u
host=$1 foreign=$2 script=$3 fixture=$4 scratch=$5
rm -rf "$scratch" && mkdir -p "$scratch"
tape=$scratch/session.jsonl
status=0
fail() { echo "FAILED: $*"; status=1; }

OLEAUTO_REGISTRY=$foreign "$host" --server "$fixture" --record "$tape" "$script" >"$scratch/recorded.out" 2>&1
echo $? >"$scratch/recorded.code"
OLEAUTO_REGISTRY= "$host" --replay "$tape" "$script" >"$scratch/replayed.out" 2>&1
echo $? >"$scratch/replayed.code"
for part in out code; do
    cmp -s "$scratch/recorded.$part" "$scratch/replayed.$part" || { diff "$scratch/recorded.$part" "$scratch/replayed.$part"; fail "replayed $part"; }
done
[ "$(stat -c %a "$tape")" = 600 ] || fail "the cassette's mode is $(stat -c %a "$tape")"
grep -q '"op":"AddUsers"' "$tape" || fail "the session's calls are missing"
# The passwords the script gives, and every password argument masked.
grep -q -e s3cret -e pw1 "$tape" && fail "a password is in the cassette"
grep -E '"op":"(appLogin|AdminLogin|SetUserInfo)"' "$tape" | grep -v '"args":\[\["BSTR","[^"]*"\],\["BSTR","\*\*\*"\]' &&
    fail "a password argument is not masked"
# The login token, the session's credential: masked, and no token of the emulator anywhere.
grep -q '"op":"LoginToken","args":\[\],"result":\["BSTR","\*\*\*"\]' "$tape" && ! grep -q '"EMU-' "$tape" ||
    fail "the login token is not masked"

# Calls that go past the recorder (the script takes its class object away) and none
# recorded: never a silent success.
OLEAUTO_REGISTRY= "$host" --server "$fixture" --record "$scratch/past.jsonl" -e \
    'CreateObject("mrlib.Emulator"):ServeClass("mrlib.api", nil); print(CreateObject("mrlib.api"):OpenConnection("tcp", "localhost", 8400))' \
    >"$scratch/past.out" 2>&1
code=$?
[ $code = 1 ] && grep -qx 'q2mrhost: the library answered 2 calls and none was recorded: the cassette holds no call to replay' "$scratch/past.out" ||
    { cat "$scratch/past.out"; fail "calls past the recorder: exit $code"; }

# One argument changed: the call that first carries it fails, and the host says so.
call=$(grep -n '"op":"SetUserInfo","args":\[\["BSTR","kim"\]' "$tape" | head -1 | cut -d: -f1)
sed 's/"kim"/"lee"/' "$script" >"$scratch/changed.lua"
OLEAUTO_REGISTRY= "$host" --replay "$tape" "$scratch/changed.lua" >/dev/null 2>"$scratch/changed.err"
code=$?
expected="replay: call $((call - 1)) SetUserInfo argument 1 is \"lee\", recorded \"kim\""
[ $code = 1 ] && grep -qxF "$expected" "$scratch/changed.err" || { cat "$scratch/changed.err"; fail "divergence: exit $code, wanted the line $expected"; }

# Cassettes that cannot be read are refused before the script runs, naming the line.
head -c $(($(wc -c <"$tape") - 20)) "$tape" >"$scratch/truncated.jsonl"
sed '3s/"on":"api#1"/"on":"api#9"/' "$tape" >"$scratch/corrupted.jsonl"
sed '1s/"version":1/"version":7/' "$tape" >"$scratch/version.jsonl"
for bad in truncated corrupted version; do
    OLEAUTO_REGISTRY= "$host" --replay "$scratch/$bad.jsonl" "$script" >"$scratch/$bad.out" 2>&1
    code=$?
    [ $code = 2 ] && grep -q "$bad.jsonl:[0-9]*: " "$scratch/$bad.out" && ! grep -q "Relation associated_cv" "$scratch/$bad.out" ||
        { cat "$scratch/$bad.out"; fail "the $bad cassette: exit $code"; }
done

# Refused before the script runs: --replay beside --server or --record, a cassette that
# cannot be made there.
for refused in "--server $fixture --replay $tape" "--record $scratch/again.jsonl --replay $tape" \
    "--record $scratch/missing/session.jsonl"; do
    # shellcheck disable=SC2086 # the options split as given
    "$host" $refused "$script" >"$scratch/refused.out" 2>&1
    code=$?
    [ $code = 2 ] && ! grep -q "Relation associated_cv" "$scratch/refused.out" || { cat "$scratch/refused.out"; fail "$refused: exit $code"; }
done
grep -q 'cannot write the cassette there' "$scratch/refused.out" || fail "the missing folder is not named"

# Recorded calls that were not made.
OLEAUTO_REGISTRY= "$host" --replay "$tape" -e 'x = 1' >"$scratch/unplayed.out" 2>&1
code=$?
[ $code = 1 ] && grep -q '^replay: [0-9]* recorded calls were not made, from call 1 new$' "$scratch/unplayed.out" ||
    { cat "$scratch/unplayed.out"; fail "unplayed calls: exit $code"; }
[ $status = 0 ] && echo "$(($(wc -l <"$tape") - 1)) calls recorded and replayed alike; divergence at call $((call - 1)); bad cassettes refused"
exit $status

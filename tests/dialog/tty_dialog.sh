#!/bin/sh
# The login dialog on the terminal backend.
#   tty_dialog.sh tmux DEMO  - in a real terminal (tmux): see it, type, Enter
#   tty_dialog.sh none DEMO  - with no controlling terminal: a cancellation
# Exit 77 (skipped) when tmux is missing.
set -u
mode=$1
demo=$2
work=$(mktemp -d)
sock="$work/tmux.sock"
T() { tmux -S "$sock" "$@"; }
cleanup() {
    [ -S "$sock" ] && T kill-server >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/pane" ] && { echo "--- screen:" >&2; cat "$work/pane" >&2; }
    exit 1
}
expect_out() { # file, expected text
    printf '%s\n' "$2" > "$work/expected"
    cmp -s "$1" "$work/expected" || { echo "--- got:" >&2; cat "$1" >&2; fail "unexpected result in $1"; }
}

if [ "$mode" = none ]; then
    # setsid leaves the controlling terminal behind; the show must return
    # at once as a cancellation (timeout only guards against a hang).
    TERM=xterm timeout 20 setsid -w "$demo" "$work/out" alice </dev/null >"$work/stdout" 2>&1
    rc=$?
    [ $rc -eq 0 ] || fail "demo exited with $rc"
    expect_out "$work/out" "username=
Password=
LoginSucceeded=False"
    echo "no terminal: show returned as cancelled"
    exit 0
fi

command -v tmux >/dev/null 2>&1 || { echo "tmux is not installed: skipped"; exit 77; }

capture() { T capture-pane -p > "$work/pane" 2>/dev/null; }
wait_for() { # fixed text on the screen, within 10 s
    i=0
    while [ $i -lt 100 ]; do
        capture && grep -qF -- "$1" "$work/pane" && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
wait_gone() {
    i=0
    while [ $i -lt 100 ]; do
        capture && ! grep -qF -- "$1" "$work/pane" && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# An unknown terminal type first (returns at once), then the real run with
# standard input and output redirected: the dialog uses /dev/tty itself.
cat > "$work/run.sh" <<EOF
TERM=q2mr-no-such-terminal timeout 20 "$demo" "$work/out0" bob >/dev/null 2>&1
echo \$? > "$work/rc0"
"$demo" "$work/out" alice </dev/null | cat > "$work/stdout"
stty -a > "$work/stty"
echo finished > "$work/finished"
exec sleep 600
EOF
printf 'set -g default-terminal screen\nset -g status off\n' > "$work/tmux.conf"
T -f "$work/tmux.conf" new-session -d -x 80 -y 24 "sh $work/run.sh" || fail "tmux new-session failed"

wait_for "Norvane Change Login" || fail "caption not shown"
for text in "User Name:" "Password:" "alice" "OK" "Cancel"; do
    grep -qF -- "$text" "$work/pane" || fail "\"$text\" not shown"
done
[ "$(cat "$work/rc0")" = 0 ] || fail "unknown terminal type: exit $(cat "$work/rc0")"
expect_out "$work/out0" "username=
Password=
LoginSucceeded=False"

# Enter with the password box empty: the message over the dialog.
T send-keys Enter
wait_for "Invalid Password, try again!" || fail "no message for the empty password"
grep -qF "Login" "$work/pane" || fail "message title not shown"
T send-keys Enter
wait_gone "Invalid Password" || fail "message not dismissed"

# The focus is back in the password box.
T send-keys -l 's3cret'
wait_for "******" || fail "password not echoed as stars"
stars=$(grep -F "Password:" "$work/pane" | tr -cd '*' | wc -c)
[ "$stars" -eq 6 ] || fail "expected 6 stars, saw $stars"
grep -qF "s3cret" "$work/pane" && fail "password shown in clear"

T send-keys Enter
i=0
while [ ! -f "$work/finished" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -f "$work/finished" ] || { capture; fail "dialog did not close on Enter"; }
expect_out "$work/out" "username=alice
Password=s3cret
LoginSucceeded=True"
grep -qx "shown" "$work/stdout" || fail "standard output not passed through"
# The terminal is back in its ordinary modes.
grep -q -- " icanon" "$work/stty" && grep -q -- " echo " "$work/stty" || fail "terminal not restored: $(cat "$work/stty")"
echo "terminal: password typed and handed back"
exit 0

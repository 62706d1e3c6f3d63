#!/bin/sh
# Login as "Admin" through q2mrhost in a real terminal (tmux): the dialog opens with the
# name filled in, the password is typed, Enter; the script's ByRef variables hold them.
#   admin_tty.sh HOST SCRIPT
# Exit 77 (skipped) when tmux is missing.
set -u
host=$1
script=$2
command -v tmux >/dev/null 2>&1 || { echo "tmux is not installed: skipped"; exit 77; }
work=$(mktemp -d)
sock="$work/tmux.sock"
T() { tmux -S "$sock" "$@"; }
trap 'T kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/pane" ] && { echo "--- screen:" >&2; cat "$work/pane" >&2; }
    [ -f "$work/out" ] && { echo "--- output:" >&2; cat "$work/out" >&2; }
    exit 1
}
wait_for() { # a text on the screen, within 10 s
    i=0
    while [ $i -lt 100 ]; do
        T capture-pane -p > "$work/pane" 2>/dev/null && grep -qF -- "$1" "$work/pane" && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
cat > "$work/run.sh" <<RUN
"$host" "$script" /db/main >"$work/out" 2>"$work/err"
echo \$? > "$work/rc"
exec sleep 600
RUN
printf 'set -g default-terminal screen\nset -g status off\n' > "$work/tmux.conf"
T -f "$work/tmux.conf" new-session -d -x 80 -y 24 "sh $work/run.sh" || fail "tmux new-session failed"
wait_for "Norvane Change Login" || fail "the dialog did not open"
grep -qF "admin" "$work/pane" || fail "the user name is not filled in"
T send-keys -l "admin"
wait_for "*****" || fail "the password is not shown as stars"
grep -qF -- "admin" "$work/pane" && ! grep -qF -- "*****" "$work/pane" && fail "password shown in clear"
T send-keys Enter
i=0
while [ ! -f "$work/rc" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -f "$work/rc" ] || fail "the script did not end"
[ "$(cat "$work/rc")" = 0 ] || { cat "$work/err" >&2; fail "exit $(cat "$work/rc")"; }
grep -q "^Logged in as admin; token " "$work/out" || fail "the typed credentials did not log in"
echo "admin login through the terminal dialog: ok"

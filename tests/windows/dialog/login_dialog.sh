#!/bin/sh
# The "Admin" login's dialog as a person meets it, on a virtual display (Xvfb), typed with
# xdotool, watched with window_probe.exe:
#   login_dialog.sh shown PROBE BIN SHOT COMMAND...
#       a prefix of its own with a display: the dialog opens with its caption, labels and
#       layout from the form's twips, the focus in the password box; Enter with the password
#       empty shows "Invalid Password, try again!"; once dismissed, the focus is back in the
#       password box; the typed password and the user name come back to the script. A second
#       dialog closed with its close box counts as cancelled.
#       SHOT receives a screenshot of the dialog.
#   login_dialog.sh hidden COMMAND...
#       the shared prefix, no display: "Login Cancelled." and a note on standard error.
# COMMAND runs tests/windows/dialog/admin_login.vbs (WINEPREFIX names the shared prefix).
set -eu
mode=$1
shift
work=$(mktemp -d)
cleanup() {
    status=$?
    set +e
    [ -d "$work/prefix" ] && WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1
    kill $(cat "$work/pids" 2>/dev/null) 2>/dev/null
    sleep 0.2
    rm -rf "$work" 2>/dev/null
    exit $status
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

fail() {
    echo "FAIL: $*"
    echo "--- standard output"; cat "$work/out" 2>/dev/null || true
    echo "--- standard error"; cat "$work/err" 2>/dev/null || true
    exit 1
}

if [ "$mode" = hidden ]; then
    unset DISPLAY
    "$@" </dev/null 2>"$work/err" | tr -d '\r' >"$work/out" || true
    grep -q '^Login=\[Login Cancelled.\] name=\[jane\] password=\[\]$' "$work/out" || fail "no cancellation"
    grep -q '^Closed=\[Login Cancelled.\] name=\[joe\] password=\[\]$' "$work/out" || fail "no second cancellation"
    grep -q 'dialog "Norvane Change Login" could not be shown' "$work/err" || fail "no note on standard error"
    echo "PASS: no display, cancelled, with a note"
    exit 0
fi

probe=$1 bin=$2 shot=$3
shift 3
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

# A display first: Wine's desktop takes the display it finds when the prefix starts.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
echo $! >>"$work/pids"
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export WINEPREFIX="$work/prefix"
sh "$(dirname "$0")/../wine_prefix.sh" start "$bin" >/dev/null
# Wine draws the caption itself: there is no window manager on the virtual display.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

probe() { wine "$probe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
wait_for() {  # wait_for EXPECTED probe-args...: polls until the probe answers EXPECTED
    expected=$1
    shift
    for _ in $(seq 50); do
        [ "$(probe "$@")" = "$expected" ] && return 0
        sleep 0.1
    done
    fail "probe $*: expected '$expected', got '$(probe "$@")'"
}

"$@" >"$work/out" 2>"$work/err" </dev/null &
host=$!
echo $host >>"$work/pids"
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Norvane Change Login$' | head -1) ||
    fail "no window titled Norvane Change Login"
wait_for "password 0 0" focus "Norvane Change Login"

# The form's twips at 96 dpi (15 twips to a pixel): client area, labels, boxes, buttons.
# The password box shows no text yet; the user-name box shows the name Login filled in.
LC_ALL=C sort >"$work/expected" <<'LAYOUT'
client 250 103
&User Name: 7 10 72 18
&Password: 7 36 72 18
 86 35 155 23
OK 33 68 76 26
Cancel 140 68 76 26
jane 86 9 155 23
LAYOUT
probe layout "Norvane Change Login" | LC_ALL=C sort >"$work/layout"
diff "$work/expected" "$work/layout" >/dev/null || fail "layout: $(cat "$work/layout")"

import -window "$dialog" "$shot" 2>/dev/null || fail "no screenshot"

xdotool windowfocus --sync "$dialog"
xdotool key Return
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Login$' | head -1) || fail "no message box"
probe texts Login | grep -qx 'Invalid Password, try again!' || fail "message: $(probe texts Login)"
xdotool windowfocus --sync "$box"
xdotool key Return
wait_for "password 0 0" focus "Norvane Change Login"

xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 's3cret'
wait_for "password 6 6" focus "Norvane Change Login"
xdotool key Return

# The second login's dialog: the name filled in, then the close box.
wait_for "password 0 0" focus "Norvane Change Login"
probe texts "Norvane Change Login" | grep -qx joe || fail "the second dialog's name: $(probe texts 'Norvane Change Login')"
probe close "Norvane Change Login"
for _ in $(seq 100); do kill -0 $host 2>/dev/null || break; sleep 0.1; done
wait $host || true
tr -d '\r' <"$work/out" >"$work/out.lf" && mv "$work/out.lf" "$work/out"
grep -q '^Login=\[\] name=\[jane\] password=\[s3cret\]$' "$work/out" || fail "the login's result"
grep -q '^Closed=\[Login Cancelled.\] name=\[joe\] password=\[\]$' "$work/out" || fail "the closed dialog's result"
echo "PASS: dialog shown, rules kept, credentials handed back"

#!/bin/sh
# The change-server library out of reach of a 64-bit program, in the build's prefix while
# no other test uses it: host/unreachable.vbs (the Lua host's unreachable.lua line by line)
# through the Windows host without --server, once with mrlib.dll unregistered, once with
# mrlib.api and mrlib.User registered for 32-bit programs only (their ProgID and class keys
# written into the 32-bit view by reg.exe; nothing 32-bit runs). The library is registered
# again at the end.
#   unreachable.sh BIN_DIR HOST_SCRIPTS WINE_HOST     (WINEPREFIX, Q2MR_WINEPREFIX: the prefix)
set -u
bin=$1 scripts=$2 wine_host=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmp=$(mktemp -d)
mrlib=$(winepath -w "$bin/mrlib.dll")
w() { wine "$@" </dev/null >>"$tmp/wine.log" 2>&1; }
fail() {
    echo "FAILED: $*"
    exit 1
}
clsid() { wine reg query "HKCR\\$1\\CLSID" /ve </dev/null 2>/dev/null | grep -o '{[0-9A-Fa-f-]*}'; }
api=$(clsid mrlib.api)
user=$(clsid mrlib.User)
[ -n "$api" ] && [ -n "$user" ] || fail "mrlib.api and mrlib.User are not registered in $WINEPREFIX"
cleanup() {
    for key in mrlib.api mrlib.User "CLSID\\$api" "CLSID\\$user"; do w reg delete "HKCR\\$key" /reg:32 /f; done
    w regsvr32 /s "$mrlib" || echo "FAILED: mrlib.dll could not be registered again"
    rm -rf "$tmp"
}
trap cleanup EXIT
w regsvr32 /s /u "$mrlib" || fail "regsvr32 /u mrlib.dll"

# One run: the lines the Lua host prints in the same case, WHY giving the description.
expect() {
    case=$1
    (cd "$scripts" && "$wine_host" host/unreachable.vbs >"$tmp/out" 2>"$tmp/err")
    code=$?
    connect="Connect: [Connect Error:  91 Object variable or With block variable not set]"
    printf '%s\n' "$connect" "$connect" "AddUserToArray: [AddUserToArray Error:  429 $(why mrlib.User)]" \
        "AddUserToNMXArray: [AddUserToNMXArray Error:  429 $(why mrlib.User)]" \
        "AddUserToRoleArray: [AddUserToRoleArray Error:  429 $(why mrlib.User)]" \
        "CreateObject mrlib.api: 429 $(why mrlib.api)" >"$tmp/out.expected"
    printf '%s\n' "quellar2mrapi: Connect: $(why mrlib.api)" "host/unreachable.vbs:11: 429: $(why mrlib.User)" \
        >"$tmp/err.expected"
    [ "$code" = 1 ] || fail "$case: exit code $code, expected 1"
    for stream in out err; do
        diff -u "$tmp/$stream.expected" "$tmp/$stream" || fail "$case: standard $stream differs"
    done
    echo "$case: as the Lua host says it"
}

why() { printf "%s" "ActiveX component can't create object: $1 is not registered for any program on this machine. Install (or register) the library that provides it."; }
expect "registered nowhere"

for pair in "mrlib.api $api" "mrlib.User $user"; do
    set -- $pair
    w reg add "HKCR\\$1\\CLSID" /ve /d "$2" /reg:32 /f || fail "reg add $1 /reg:32"
    w reg add "HKCR\\CLSID\\$2\\InprocServer32" /ve /d 'C:\Program Files (x86)\mrlib\mrlib.dll' /reg:32 /f ||
        fail "reg add CLSID\\$2 /reg:32"
done
why() { printf "%s" "ActiveX component can't create object: $1 is registered for 32-bit programs only, and this program is 64-bit. Use the 32-bit quellar2mrapi from a 32-bit program (such as C:\\Windows\\SysWOW64\\cscript.exe): the quellar2mrapi x64 MSI installs it, into Program Files (x86)."; }
expect "registered for 32-bit programs only"

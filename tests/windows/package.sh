#!/bin/sh
# The Windows packages under Wine, each run in a fresh, empty prefix of its own (WINEPREFIX):
#   package.sh msi BUILD SCRIPTS FIXTURE
#     regsvr32 of the packaged library, then the MSI: the same registry rows; every member
#     through the stock cscript; a multithreaded client through the proxies; upgrade in
#     place, the downgrade refused; uninstall leaves no key or file and creation fails.
#     The 32-bit component beside it: its file in Program Files (x86), the 32-bit view
#     holding the description's rows for 32-bit programs, kept when the 64-bit one is
#     unregistered, gone after the uninstall.
#   package.sh msi_x86 BUILD SCRIPTS FIXTURE
#     the package for 32-bit Windows: its file, its rows in the 32-bit view and nothing in
#     the 64-bit one; uninstall leaves neither key nor file.
#   package.sh scriptkit BUILD SCRIPTS FIXTURE
#     the script kit in a prefix where another library owns mrlib.api: installing and
#     running with --server write nothing, and the other library is never used.
set -u
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
what=$1 build=$2 scripts=$3 fixture=$4
bin=$build/bin
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
scratch=$WINEPREFIX.scratch
win() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAILED: $*"; exit 1; }
step() { echo "ok: $*"; }
w() { wine "$@" </dev/null 2>>"$scratch/wine.log"; }

rm -rf "$scratch"
mkdir -p "$scratch"
sh "$(dirname "$0")/../../scripts/wine-prefix.sh" new "$WINEPREFIX" || fail "cannot make the prefix $WINEPREFIX"
sh "$(dirname "$0")/../../scripts/wine-prefix.sh" start "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1' EXIT

# The classes' keys as sorted lines "KEY" and "KEY|NAME=VALUE", without the installer's
# own bookkeeping under Installer and the 32-bit view under Wow6432Node (read on its own):
# snapshot FILE, or snapshot FILE /reg:32 for the 32-bit view, whose machine-wide classes
# Wine's reg.exe exports under HKLM (its export of HKCR there is not the view), written
# under HKEY_CLASSES_ROOT as well.
snapshot() {
    rm -f "$WINEPREFIX/drive_c/snapshot.reg"
    if [ $# = 1 ]; then
        w reg export HKCR 'C:\snapshot.reg' /y >/dev/null || fail "reg export"
    else
        w reg export 'HKLM\Software\Classes' 'C:\snapshot.reg' /y "$2" >/dev/null || fail "reg export $2"
    fi
    iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/snapshot.reg" | tr -d '\r' |
        sed 's/^\[HKEY_LOCAL_MACHINE\\Software\\Classes/[HKEY_CLASSES_ROOT/' | awk '
        /^\[/ { key = substr($0, 2, length($0) - 2); skip = key ~ /^HKEY_CLASSES_ROOT\\(Installer|Wow6432Node)(\\|$)/; if (!skip) print key; next }
        skip || /^$/ || /^\xEF\xBB\xBF/ || /^Windows Registry/ { next }
        { line = $0; while (line ~ /\\$/ && (getline more) > 0) line = substr(line, 1, length(line) - 1) more; print key "|" line }' |
        sort >"$1"
}
added() { comm -13 "$1" "$2"; }
# Lines with their keys in lower case (a key's name keeps the case it was first made with,
# the rows name it in theirs), sorted.
norm() { awk '{ i = index($0, "|"); print i ? tolower(substr($0, 1, i - 1)) substr($0, i) : tolower($0) }' "$@" | sort; }
# The rows the component's description gives for programs of a bitness (--x86 or none),
# with the file at a path, as norm gives the snapshot's lines, less those in the snapshot $3.
described() {
    w "$bin/regrows.exe" rows $1 "$(win "$build/package/quellar2mrapi.dll")" "$2" | tr -d '\r' | norm >"$scratch/described"
    norm "$3" >"$scratch/described.before"
    added "$scratch/described.before" "$scratch/described"
}
# holds ADDED OWN OTHER: a view's added lines are exactly the rows OWN, but for rows of
# OTHER (the other bitness's) seen there too: keys the two views share (Windows 7 and later
# share TypeLib and the ProgIDs, Wine TypeLib) show both bitnesses' rows in both views.
holds() {
    norm "$1" >"$scratch/holds.added"
    comm -23 "$2" "$scratch/holds.added" >"$scratch/holds.missing"
    comm -13 "$2" "$scratch/holds.added" | comm -23 - "$3" >"$scratch/holds.extra"
    [ ! -s "$scratch/holds.missing" ] && [ ! -s "$scratch/holds.extra" ] && return 0
    sed 's/^/missing: /' "$scratch/holds.missing"; sed 's/^/extra: /' "$scratch/holds.extra"
    return 1
}
folder86="$WINEPREFIX/drive_c/Program Files (x86)/quellar2mrapi"
path86='C:\Program Files (x86)\quellar2mrapi\quellar2mrapi.dll'

case $what in
msi)
    msi=$build/quellar2mrapi-$version-x64.msi
    later=$build/tests/windows/quellar2mrapi-2.1.0.0-x64.msi
    folder="$WINEPREFIX/drive_c/Program Files/quellar2mrapi"
    # The stock cscript registers its own type library on its first run.
    : >"$scratch/empty.vbs" && w cscript //nologo "$(win "$scratch/empty.vbs")"
    snapshot "$scratch/empty"
    snapshot "$scratch/empty32" /reg:32

    # Self-registration of the very file the package installs, at the path it installs to.
    mkdir -p "$folder" && cp "$build/package/quellar2mrapi.dll" "$folder/"
    w regsvr32 /s 'C:\Program Files\quellar2mrapi\quellar2mrapi.dll' || fail "regsvr32"
    snapshot "$scratch/regsvr32"
    w regsvr32 /u /s 'C:\Program Files\quellar2mrapi\quellar2mrapi.dll' || fail "regsvr32 /u"
    snapshot "$scratch/unregistered"
    cmp -s "$scratch/empty" "$scratch/unregistered" || { added "$scratch/unregistered" "$scratch/empty"; fail "unregistering left keys"; }
    rm -rf "$folder"

    w msiexec /i "$(win "$msi")" /qn || fail "msiexec /i $msi: exit $?"
    [ -f "$folder/quellar2mrapi.dll" ] || fail "the component is not in C:\\Program Files\\quellar2mrapi"
    snapshot "$scratch/installed"
    added "$scratch/empty" "$scratch/regsvr32" >"$scratch/rows.regsvr32"
    added "$scratch/empty" "$scratch/installed" >"$scratch/rows.msi"
    [ -s "$scratch/rows.msi" ] || fail "the installer wrote no registry rows"
    # regsvr32 writes exactly the description's rows; each view holds its bitness's.
    described "" 'C:\Program Files\quellar2mrapi\quellar2mrapi.dll' "$scratch/empty" >"$scratch/rows.described"
    described --x86 "$path86" "$scratch/empty32" >"$scratch/rows.described32"
    norm "$scratch/rows.regsvr32" | diff "$scratch/rows.described" - || fail "regsvr32's rows differ from the description's"
    holds "$scratch/rows.msi" "$scratch/rows.described" "$scratch/rows.described32" ||
        fail "the 64-bit view does not hold the description's rows for 64-bit programs"
    step "installed; the 64-bit view holds the $(wc -l <"$scratch/rows.described") lines regsvr32 writes, the description's"
    cmp -s "$folder86/quellar2mrapi.dll" "$build/package/x86/quellar2mrapi.dll" ||
        fail "the 32-bit component is not in C:\Program Files (x86)\quellar2mrapi"
    snapshot "$scratch/installed32" /reg:32
    added "$scratch/empty32" "$scratch/installed32" >"$scratch/rows.msi32"
    holds "$scratch/rows.msi32" "$scratch/rows.described32" "$scratch/rows.described" ||
        fail "the 32-bit view does not hold the description's rows for 32-bit programs"
    grep -q '\\win32|@=' "$scratch/rows.described32" || fail "no win32 type library in the rows for 32-bit programs"
    step "the 32-bit component in Program Files (x86); the 32-bit view holds the description's $(wc -l <"$scratch/rows.described32") lines"
    # Unregistering the 64-bit component keeps what the 32-bit one needs.
    w regsvr32 /u /s 'C:\Program Files\quellar2mrapi\quellar2mrapi.dll' || fail "regsvr32 /u of the installed file"
    snapshot "$scratch/unregistered64"
    snapshot "$scratch/unregistered32" /reg:32
    added "$scratch/empty" "$scratch/unregistered64" >"$scratch/rows.unregistered64"
    holds "$scratch/rows.unregistered64" /dev/null "$scratch/rows.described32" || fail "unregistering left 64-bit rows"
    added "$scratch/empty32" "$scratch/unregistered32" >"$scratch/rows.unregistered32"
    holds "$scratch/rows.unregistered32" "$scratch/rows.described32" /dev/null ||
        fail "unregistering the 64-bit component did not keep the 32-bit view's rows, or kept 64-bit ones"
    w regsvr32 /s 'C:\Program Files\quellar2mrapi\quellar2mrapi.dll' || fail "regsvr32 of the installed file"
    step "unregistering the 64-bit component keeps the 32-bit view"

    w regsvr32 /s "$(win "$bin/mrlib.dll")" || fail "regsvr32 mrlib.dll"
    w cscript //nologo "$(win "$scripts/component.vbs")" "$(win "$fixture")" "$(win "$scratch")" >"$scratch/cscript.out"
    grep -Eq '^RESULT: [0-9]+ passed, 0 failed' "$scratch/cscript.out" && ! grep -q '^FAIL' "$scratch/cscript.out" ||
        { cat "$scratch/cscript.out"; fail "the VBScript suite through cscript"; }
    step "$(grep '^RESULT' "$scratch/cscript.out") through the stock cscript"
    w "$bin/test_windows_proxies.exe" >"$scratch/proxies.out" || { cat "$scratch/proxies.out"; fail "the multithreaded client"; }
    step "a multithreaded client through the proxies"

    w msiexec /i "$(win "$later")" /qn || fail "upgrade to 2.1.0.0: exit $?"
    rm -f "$WINEPREFIX/drive_c/products.reg"
    w reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 'C:\products.reg' /y >/dev/null
    products=$(iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/products.reg" | tr -d '\r')
    [ "$(printf '%s\n' "$products" | grep -c '^"DisplayName"="quellar2mrapi"$')" = 1 ] || fail "not one product after the upgrade"
    printf '%s\n' "$products" | grep -q '^"DisplayVersion"="2.1.0.0"$' || fail "the upgrade did not install 2.1.0.0"
    w "$bin/test_windows_proxies.exe" >"$scratch/proxies.out" || fail "the component after the upgrade"
    step "upgraded in place to 2.1.0.0"

    w msiexec /i "$(win "$msi")" /qn /l*v 'C:\downgrade.log' && fail "the downgrade to $version was installed"
    # Refused by the launch condition that carries the message a person sees.
    grep -aq 'LaunchConditions. Return value 0' "$WINEPREFIX/drive_c/downgrade.log" || fail "the downgrade failed otherwise"
    msiinfo export "$msi" LaunchCondition | grep -q '^NOT WIX_DOWNGRADE_DETECTED	A newer version of quellar2mrapi is already installed' ||
        fail "the package's downgrade refusal does not say why"
    step "the downgrade to $version is refused"

    w msiexec /x "$(win "$later")" /qn || fail "msiexec /x: exit $?"
    w regsvr32 /u /s "$(win "$bin/mrlib.dll")"
    printf 'On Error Resume Next\nSet s = CreateObject("quellar2mrapi.t2mrapp")\nWScript.Echo Err.Number\n' >"$scratch/create.vbs"
    [ "$(w cscript //nologo "$(win "$scratch/create.vbs")" | tr -d '\r')" = 429 ] || fail "creation after uninstalling is not 429"
    snapshot "$scratch/uninstalled"
    cmp -s "$scratch/empty" "$scratch/uninstalled" || { added "$scratch/empty" "$scratch/uninstalled"; fail "uninstalling left keys"; }
    snapshot "$scratch/uninstalled32" /reg:32
    # Nothing left in the 32-bit view (Wine's installer also drops its empty CLSID key).
    added "$scratch/empty32" "$scratch/uninstalled32" >"$scratch/left32"
    [ ! -s "$scratch/left32" ] || { cat "$scratch/left32"; fail "uninstalling left 32-bit keys"; }
    [ ! -e "$folder" ] || fail "uninstalling left $folder"
    [ ! -e "$folder86" ] || fail "uninstalling left $folder86"
    step "uninstalled: creation fails with 429, no key and no file left in either view"
    ;;
msi_x86)
    msi=$build/quellar2mrapi-$version-x86.msi
    snapshot "$scratch/empty"
    snapshot "$scratch/empty32" /reg:32
    w msiexec /i "$(win "$msi")" /qn || fail "msiexec /i $msi: exit $?"
    cmp -s "$folder86/quellar2mrapi.dll" "$build/package/x86/quellar2mrapi.dll" ||
        fail "the 32-bit component is not in C:\Program Files (x86)\quellar2mrapi"
    [ ! -e "$WINEPREFIX/drive_c/Program Files/quellar2mrapi" ] || fail "the x86 package wrote into C:\Program Files"
    described --x86 "$path86" "$scratch/empty32" >"$scratch/rows.described32"
    snapshot "$scratch/installed"
    added "$scratch/empty" "$scratch/installed" >"$scratch/rows.msi"
    holds "$scratch/rows.msi" /dev/null "$scratch/rows.described32" || fail "the x86 package wrote 64-bit rows"
    snapshot "$scratch/installed32" /reg:32
    added "$scratch/empty32" "$scratch/installed32" >"$scratch/rows.msi32"
    holds "$scratch/rows.msi32" "$scratch/rows.described32" /dev/null ||
        fail "the 32-bit view does not hold the description's rows for 32-bit programs"
    step "installed into Program Files (x86); the 32-bit view holds the description's $(wc -l <"$scratch/rows.described32") lines, the 64-bit view none of its own"
    w msiexec /x "$(win "$msi")" /qn || fail "msiexec /x: exit $?"
    snapshot "$scratch/uninstalled"
    snapshot "$scratch/uninstalled32" /reg:32
    # Nothing left (Wine's installer also drops the empty CLSID and Interface keys on its
    # way, which were there before: those are not compared).
    added "$scratch/empty" "$scratch/uninstalled" >"$scratch/left"
    added "$scratch/empty32" "$scratch/uninstalled32" >>"$scratch/left"
    [ ! -s "$scratch/left" ] || { cat "$scratch/left"; fail "uninstalling left keys"; }
    [ ! -e "$folder86" ] || fail "uninstalling left $folder86"
    step "uninstalled: no key and no file left"
    ;;
scriptkit)
    kit=$build/quellar2mrapi-scriptkit-$version-x64.msi
    # Another library owns mrlib.api, and its file is gone: using it would fail.
    mkdir -p "$WINEPREFIX/drive_c/other" && cp "$bin/foreign/mrlib.dll" "$WINEPREFIX/drive_c/other/"
    w regsvr32 /s 'C:\other\mrlib.dll' || fail "regsvr32 of the other library"
    rm "$WINEPREFIX/drive_c/other/mrlib.dll"
    snapshot "$scratch/before"
    w msiexec /i "$(win "$kit")" /qn || fail "msiexec /i $kit: exit $?"
    snapshot "$scratch/installed"
    cmp -s "$scratch/before" "$scratch/installed" || { added "$scratch/before" "$scratch/installed"; fail "the script kit registered something"; }
    host="$WINEPREFIX/drive_c/Program Files/quellar2mrapi-scriptkit/q2mrhost.exe"
    [ -f "$host" ] || fail "no host in C:\\Program Files\\quellar2mrapi-scriptkit"
    for file in q2mrhost.exe quellar2mrapi.dll mrlib.dll; do
        cmp -s "${host%/*}/x86/$file" "$build/package/x86/$file" || fail "no 32-bit $file in the script kit's x86 folder"
    done
    grep -q 'processorArchitecture="x86"' "${host%/*}/x86/q2mrhost-server.manifest" || fail "no 32-bit manifest in x86"
    step "installed, the 32-bit host in x86; nothing registered"
    (cd "$scripts" && wine "$host" --server "$(win "$fixture")" component.vbs "$(win "$fixture")" "$(win "$scratch")" \
        </dev/null >"$scratch/host.out" 2>"$scratch/host.err")
    code=$?
    [ $code = 0 ] && grep -Eq '^RESULT: [0-9]+ passed, 0 failed' "$scratch/host.out" ||
        { cat "$scratch/host.out" "$scratch/host.err"; fail "the suite through the script kit: exit $code"; }
    snapshot "$scratch/after"
    cmp -s "$scratch/installed" "$scratch/after" || { added "$scratch/installed" "$scratch/after"; fail "the run wrote to the registry"; }
    grep -q '^HKEY_CLASSES_ROOT\\mrlib.api\\CLSID|@="{A8F13D62-7C05-4E9B-942E-6DB1580CF387}"' "$scratch/after" ||
        fail "the other library's mrlib.api changed"
    step "$(grep '^RESULT' "$scratch/host.out") with --server, exit 0; the other library's registration untouched and unused"
    # Out of the box from the kit's own folder: its demo scripts with its fixtures, a
    # session recorded there and replayed, no login token in the cassette.
    kitdir=$(dirname "$host")
    (cd "$kitdir" && wine q2mrhost.exe --server demo_server.json demo.vbs </dev/null >"$scratch/demo.out" 2>&1)
    code=$?
    [ $code = 0 ] && grep -qx 'Host: cm0.emulated.test' "$scratch/demo.out" &&
        grep -qx 'setDynamicAttrs: 9 Subscript out of range' "$scratch/demo.out" ||
        { cat "$scratch/demo.out"; fail "demo.vbs in the kit's folder: exit $code"; }
    tape=$(win "$scratch/session.jsonl")
    (cd "$kitdir" && wine q2mrhost.exe --server standard.json --record "$tape" session.vbs one two \
        </dev/null >"$scratch/session.out" 2>"$scratch/session.err")
    code=$?
    printf 'Connect: []\nLogin: []\nHost: cm1.example.test Arguments: 2\n' | cmp -s - "$scratch/session.out" &&
        [ $code = 1 ] && grep -qx 'session.vbs:7: 9: Subscript out of range' "$scratch/session.err" ||
        { cat "$scratch/session.out" "$scratch/session.err"; fail "session.vbs in the kit's folder: exit $code"; }
    grep -q '"op":"LoginToken","args":\[\],"result":\["BSTR","\*\*\*"\]' "$scratch/session.jsonl" &&
        ! grep -q '"EMU-' "$scratch/session.jsonl" || { cat "$scratch/session.jsonl"; fail "the cassette's login token"; }
    (cd "$kitdir" && wine q2mrhost.exe --replay "$tape" session.vbs one two </dev/null >"$scratch/replayed.out" 2>&1)
    code=$?
    [ $code = 1 ] && cat "$scratch/session.out" "$scratch/session.err" | cmp -s - "$scratch/replayed.out" ||
        { cat "$scratch/replayed.out"; fail "the kit's session replayed: exit $code"; }
    step "demo.vbs and session.vbs with the kit's fixtures from its folder; the session recorded and replayed"
    # Without --server, no emulated server at all: the component still comes from beside
    # the host, and a session the script leaves alive is still found.
    printf 'Set d = CreateObject("Scripting.Dictionary")\nd.Add "self", d\nd.Add "session", CreateObject("quellar2mrapi.t2mrapp")\n' \
        >"$scratch/keep.vbs"
    wine "$host" "$(win "$scratch/keep.vbs")" </dev/null >"$scratch/keep.out" 2>"$scratch/keep.err"
    code=$?
    [ $code = 3 ] && grep -q 'still alive after the script: component objects' "$scratch/keep.err" ||
        { cat "$scratch/keep.err"; fail "a session left alive without --server: exit $code"; }
    step "without --server, a session left alive is reported, exit 3"
    ;;
*) fail "unknown case $what" ;;
esac

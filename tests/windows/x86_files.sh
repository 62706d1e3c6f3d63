#!/bin/sh
# The 32-bit build's files, read as files beside the 64-bit ones (no 32-bit code runs here):
#   x86_files.sh OBJDUMP X64_BIN X86_BIN
# Each is PE32 for i386 where its 64-bit counterpart is PE32+ for x86-64, imports system
# DLLs only, and exports the same names, undecorated.
set -u
objdump=$1 x64=$2 x86=$3
failed=0
fail() { echo "FAILED: $*"; failed=1; }
format() { "$objdump" -f "$1" | sed -n 's/.*file format //p'; }
imports() { "$objdump" -p "$1" | sed -n 's/^\tDLL Name: //p' | tr A-Z a-z | sort -u; }
exports() { "$objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' | sort; }
system=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll "
for file in quellar2mrapi.dll mrlib.dll foreign/mrlib.dll q2mrhost.exe; do
    [ -f "$x86/$file" ] || { fail "no $x86/$file"; continue; }
    [ "$(format "$x86/$file")" = pei-i386 ] || fail "$file is $(format "$x86/$file"), not pei-i386"
    [ "$(format "$x64/$file")" = pei-x86-64 ] || fail "the 64-bit $file is $(format "$x64/$file")"
    for dll in $(imports "$x86/$file"); do
        case $system in *" $dll "*) ;; *) fail "$file imports $dll, no system DLL" ;; esac
    done
    [ -n "$(imports "$x86/$file")" ] || fail "$file: no imports read"
    [ "$(exports "$x86/$file")" = "$(exports "$x64/$file")" ] ||
        fail "$file exports" $(exports "$x86/$file") "where the 64-bit one exports" $(exports "$x64/$file")
    [ "$failed" = 0 ] && echo "ok: $file: pei-i386, imports $(imports "$x86/$file" | tr '\n' ' ')exports $(exports "$x64/$file" | wc -l) names as the 64-bit one"
done
exit $failed

#!/usr/bin/env bash
# Lists the functions that MinGW-w64's headers declare only for Windows newer
# than WINNT (e.g. 0x0501): those declared with _WIN32_WINNT (and WINVER) at
# 0x0A00 but not at WINNT, one name a line, for the import check of the built
# programs. The compiler's -aux-info writes every declaration it saw, after
# the preprocessor has applied the headers' version guards.
#   newer-functions.sh MINGW_GCC WINNT OUTPUT
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 MINGW_GCC WINNT OUTPUT" >&2; exit 2; }
gcc=$1 winnt=$2 output=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The headers of every DLL the programs import from, and then some.
cat > "$work/all.c" <<'C'
#include <windows.h>
#include <activeds.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <uxtheme.h>
#include <winsvc.h>
C
declared() {
  "$gcc" -D_WIN32_WINNT="$1" -DWINVER="$1" -DUNICODE -D_UNICODE -fsyntax-only -aux-info "$work/$1.txt" "$work/all.c"
  sed -nE 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*) \(.*/\1/p' "$work/$1.txt" | sort -u > "$work/$1.names"
}
declared "$winnt"
declared 0x0A00
comm -13 "$work/$winnt.names" "$work/0x0A00.names" > "$output.new"
# An empty list means the headers were not read as expected.
[ -s "$output.new" ] || { echo "$0: no newer function found" >&2; exit 1; }
mv -f "$output.new" "$output"

#!/usr/bin/env bash
# Registers the stand-in WinNT directory provider in a Wine prefix: the COM
# class (in-process, both threading models), its ProgID, and the "WinNT"
# provider key through which the directory service finds the ProgID.
#   register.sh [PREFIX] DLL_WINDOWS_PATH
# WINEPREFIX (and the rest of the Wine environment) come from the caller;
# PREFIX, when given, overrides WINEPREFIX. Idempotent.
set -euo pipefail

if [ $# -eq 2 ]; then
  export WINEPREFIX=$1
  shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [PREFIX] DLL_WINDOWS_PATH" >&2; exit 2; }
: "${WINEPREFIX:?WINEPREFIX is not set}"
dll=$1

clsid='{28447747-A1D6-4B94-9F54-05583A7954B6}'
progid='TarnwickBench.WinNTNamespace'

# One import instead of a reg.exe start per value. The file lives in the
# prefix so reg.exe reads it through a plain C: path.
dir=$WINEPREFIX/drive_c/TarnwickBench
mkdir -p "$dir"
escaped=${dll//\\/\\\\}
cat >"$dir/provider.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$clsid]
@="Tarnwick bench WinNT namespace"

[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$clsid\\InprocServer32]
@="$escaped"
"ThreadingModel"="Both"

[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$clsid\\ProgID]
@="$progid"

[HKEY_LOCAL_MACHINE\\Software\\Classes\\$progid]
@="Tarnwick bench WinNT namespace"

[HKEY_LOCAL_MACHINE\\Software\\Classes\\$progid\\CLSID]
@="$clsid"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\ADs\\Providers\\WinNT]
@="$progid"
REG
# With Wine's 32-bit part installed, "wine reg" is the 32-bit tool: the
# 64-bit view is where a 64-bit program looks.
wine reg import 'C:\TarnwickBench\provider.reg' /reg:64 >/dev/null

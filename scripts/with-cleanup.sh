#!/usr/bin/env bash
# Runs a command, then ends whatever Wine server or X server it left behind in
# the Windows build tree given as $1 (also when the command failed or was
# interrupted).
#   with-cleanup.sh WIN_BUILD_DIR command [args...]
set -u
# The absolute path: the X server is found by it, and a relative one would
# match the servers of every other tree with the same layout.
win=$(cd "$1" && pwd) || exit 2
shift
cleanup() {
  for prefix in "$win"/wine/prefix*; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  done
  pkill -f "Xvfb .*$win" >/dev/null 2>&1
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM
"$@"

#!/usr/bin/env bash
# Runs one Windows program under Wine in a session of its own, as every Wine
# test does:
#   session.sh WIN_BUILD_DIR program [args...]
#   session.sh WIN_BUILD_DIR --shell script [args...]   (a Linux script, run in the session)
# Starts an X server (1024x768x24) on a free display, prepares the prefix,
# runs the program with DISPLAY and TARNWICK_WIN_BUILD_DIR exported (at most
# TARNWICK_SESSION_TIMEOUT seconds, 600 by default), then always ends the Wine
# server and the X server. Exits with the program's status (124 on timeout).
set -uo pipefail

[ $# -ge 2 ] || { echo "usage: $0 WIN_BUILD_DIR program [args...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=env.sh
. "$here/env.sh" "$1" || exit 2
shift

xvfb_pid=
display_file=
program_pid=
# shellcheck disable=SC2317  # run by the EXIT trap
end_session() {
  wineserver -k >/dev/null 2>&1
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  timeout 60 wineserver -w >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  [ -n "$display_file" ] && rm -f "$display_file"
}
trap end_session EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$TARNWICK_WINE_DIR"
display_file=$(mktemp "$TARNWICK_WINE_DIR/display.XXXXXX")
# An empty authority file: only local clients, and a command line that names
# this build tree (scripts/with-cleanup.sh finds a stray server by it).
auth_file=$TARNWICK_WINE_DIR/xvfb.auth
: > "$auth_file"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -auth "$auth_file" \
  3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
display=$(tr -d '[:space:]' < "$display_file")
if [ -z "$display" ]; then
  echo "$0: the X server did not start" >&2
  exit 1
fi
export DISPLAY=:$display

# A server left from an earlier run would hold windows on a display that no
# longer exists.
wineserver -k >/dev/null 2>&1
timeout 60 wineserver -w >/dev/null 2>&1

"$here/prepare-prefix.sh" --keep-server "$TARNWICK_WIN_BUILD_DIR" || {
  echo "$0: preparing the Wine prefix failed" >&2
  exit 1
}

# In the background, so that an interrupt ends the session at once (bash
# runs traps only between commands, and "wait" counts as one).
if [ "$1" = --shell ]; then
  shift
  timeout "${TARNWICK_SESSION_TIMEOUT:-600}" bash "$@"
else
  timeout "${TARNWICK_SESSION_TIMEOUT:-600}" wine "$@"
fi &
program_pid=$!
wait "$program_pid"
status=$?
program_pid=
exit $status

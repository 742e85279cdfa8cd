#!/usr/bin/env bash
# Runs inside a Wine session (see tests/bench/wine/session.sh), with the
# prefix prepared: all three services stopped, IISADMIN disabled.
set -euo pipefail
win=$TARNWICK_WIN_BUILD_DIR
benchctl=$win/tests/bench/driver/benchctl.exe
tarnwick=$win/ui/tarnwick.exe

status() { echo "$1"; wine "$benchctl" status | tr -d '\r'; echo; }
run() {
  echo "> tarnwick.exe $*"
  local code=0
  wine "$tarnwick" "$@" || code=$?
  echo "  exit status $code"
}

status "The simulated IIS services:"
run -auto
# W3SVC and MSFTPSVC are asked to start, not waited for: give them a moment.
for _ in $(seq 50); do
  wine "$benchctl" status | grep -q 'MSFTPSVC *running' && break
  sleep 0.1
done
status "After switching on:"
run -auto
status "After switching off:"

echo "An interactive start (the window waits for the user):"
wine "$tarnwick" &
shot=$win/demo-window.png
wine "$benchctl" wait-window Tarnwick
sleep 1  # let the window paint before the picture is taken
import -window root "$shot"
echo "Screenshot of the window: $shot"
wineserver -k

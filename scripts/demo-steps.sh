#!/usr/bin/env bash
# Runs inside a Wine session (see tests/bench/wine/session.sh), with the
# prefix prepared as an IIS 6 computer: all three services stopped, IISADMIN
# disabled. Then the same on an IIS 10 computer, where W3SVC is the switch,
# and there "-on" and "-off" once each.
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

# A service that was asked to start but not waited for ($1) is given up to
# five seconds to run.
await_running() {
  for _ in $(seq 50); do
    wine "$benchctl" status | grep -q "$1 *running" && return
    sleep 0.1
  done
}

# Switches on, then off.
on_and_off() {
  run -auto
  await_running "$1"
  status "After switching on:"
  run -auto
  status "After switching off:"
}

status "The simulated IIS 6 computer (IISADMIN is the switch):"
on_and_off MSFTPSVC

wine "$benchctl" computer iis10
status "An IIS 10 computer (W3SVC is the switch; WAS and IISADMIN are left alone):"
on_and_off FTPSVC

# One way each, whatever the state, as a schedule would run them.
run -on
await_running FTPSVC
status "After -on:"
run -off
status "After -off:"

echo "An interactive start (the window waits for the user):"
wine "$tarnwick" &
shot=$win/demo-window.png
wine "$benchctl" wait-window Tarnwick
sleep 1  # let the window paint before the picture is taken
import -window root "$shot"
echo "Screenshot of the window: $shot"
wineserver -k

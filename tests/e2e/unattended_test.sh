#!/usr/bin/env bash
# Runs the unattended suite in a Wine session (tests/bench/wine/session.sh
# --shell). Wine keeps no event log: ReportEvent writes each event to Wine's
# debug output (the "advapi" fixme line and the "eventlog" channel), which
# goes to a file here for the suite to read, each line headed by its process
# (+pid), with the reason of ShutdownBlockReasonCreate ("graphics" fixme) and
# the windows made and shown ("win").
set -uo pipefail
debug=$TARNWICK_WINE_DIR/unattended-debug.txt
: > "$debug"
WINEDEBUG=-all,+pid,+eventlog,fixme+advapi,fixme+graphics,+win \
  wine "$TARNWICK_WIN_BUILD_DIR/tests/e2e/e2e_unattended_tests.exe" "$@" 2>>"$debug"

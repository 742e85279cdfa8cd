#!/usr/bin/env bash
# The demo: the real tarnwick.exe against the simulated IIS services under Wine.
#   demo.sh WIN_BUILD_DIR
set -euo pipefail
win=$1
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$win/ui/tarnwick.exe" ]; then
  echo "tarnwick.exe has not been built yet; nothing to show."
  exit 0
fi
exec "$root/tests/bench/wine/session.sh" "$win" --shell "$root/scripts/demo-steps.sh"

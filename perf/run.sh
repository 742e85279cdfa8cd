#!/usr/bin/env bash
# make bench: measures tarnwick.exe under Wine against the simulated services
# and the peers Wine ships, prints the results and writes them, with the
# machine, the date and the Wine version, to a Markdown file.
#   run.sh WIN_BUILD_DIR OUTPUT.md [perfbench options...]
# Runs in one Wine session of the tests' bench (tests/bench/wine/session.sh),
# which ends the Wine server and the X server afterwards, also on failure.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 WIN_BUILD_DIR OUTPUT.md [perfbench options...]" >&2; exit 2; }
win=$(cd "$1" && pwd)
out=$2
mkdir -p "$(dirname "$out")"
shift 2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
perf=$win/perf
tarnwick=$win/ui/tarnwick.exe
for program in "$tarnwick" "$perf/perfbench.exe" "$perf/floor.exe"; do
  [ -f "$program" ] || { echo "$0: $program is missing; build the Windows tree first" >&2; exit 1; }
done

began=$SECONDS
load=$(cut -d" " -f1-3 /proc/loadavg)
body=$(mktemp)
trap 'rm -f "$body"' EXIT
status=0
# The size of every build of the program there is: this tree's, and those of
# the clang and x86 trees beside it, when they were built.
sizes=(--size "tarnwick.exe (x64, g++)=$(stat -c %s "$tarnwick")" --size "floor.exe=$(stat -c %s "$perf/floor.exe")")
for other in "clang/ui/tarnwick.exe:x64, clang" "win-x86/ui/tarnwick.exe:x86, g++"; do
  exe=$(dirname "$win")/${other%%:*}
  [ -f "$exe" ] && sizes+=(--size "tarnwick.exe (${other#*:})=$(stat -c %s "$exe")")
done
TARNWICK_SESSION_TIMEOUT=1800 "$root/tests/bench/wine/session.sh" "$win" "$perf/perfbench.exe" \
  "${sizes[@]}" "$@" | tr -d '\r' > "$body" || status=$?
took=$((SECONDS - began))

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
{
  echo "# Benchmarks"
  echo
  echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC') in ${took} s."
  echo
  echo "- Machine: $(uname -srm); ${cpu:-unknown CPU}, $(nproc) cores, $(awk '/^MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo) memory"
  echo "- Load average when the bench began (1, 5, 15 min): ${load}"
  echo "- Wine: $(wine --version 2>/dev/null || echo unknown), 64-bit, in Xvfb; compiler: MinGW-w64 g++ $(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null || echo '?'), MinSizeRel"
  echo "- Services: the bench's simulated IISADMIN, W3SVC and MSFTPSVC under Wine's service manager; directory calls go to the bench's stand-in WinNT provider"
  echo
  cat "$body"
  echo
  cat "$here/method.md"
} > "$out"
cat "$out"
exit $status

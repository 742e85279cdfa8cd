#!/usr/bin/env bash
# Prepares the Wine prefix of a Windows build tree for the bench; safe to run
# again at any time.
#   prepare-prefix.sh [--keep-server] WIN_BUILD_DIR
# Creates the prefix when it is new (with a 1024x768 Wine virtual desktop, so
# screenshots show frames and captions), copies the simulated service (and the
# stand-in directory provider, when built) to C:\TarnwickBench when they
# changed, registers the provider, installs IISADMIN, W3SVC and MSFTPSVC and
# resets them. With TARNWICK_WIN_X86_BUILD_DIR set (an x86 build tree), its
# provider goes to C:\TarnwickBench\x86 and is registered for 32-bit
# programs, so that the x86 tarnwick.exe runs on the same bench.
# Without --keep-server it ends the prefix's Wine server
# afterwards; session.sh keeps it for the program it runs next.
# Works without an X server, but a server started without one cannot show
# windows later: whoever runs a program with windows next must restart it.
set -euo pipefail

keep_server=
if [ "${1:-}" = --keep-server ]; then keep_server=1; shift; fi
[ $# -eq 1 ] || { echo "usage: $0 [--keep-server] WIN_BUILD_DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
# shellcheck source=env.sh
# shellcheck source=env.sh
. "$here/env.sh" "$1"
win=$TARNWICK_WIN_BUILD_DIR

fakesvc=$win/tests/bench/fakesvc/fakesvc.exe
benchctl=$win/tests/bench/driver/benchctl.exe
provider=$win/tests/bench/provider/tarnwick_winnt_provider.dll
register=$source_dir/tests/bench/provider/register.sh
for program in "$fakesvc" "$benchctl"; do
  [ -f "$program" ] || { echo "$0: $program is missing; build the Windows tree first" >&2; exit 1; }
done

if [ -z "$keep_server" ]; then
  trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true' EXIT
fi

mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"

# A prefix counts as ready only once all of its creation went through; an
# interrupted one is made again from scratch.
ready=$WINEPREFIX.ready
if [ ! -f "$ready" ]; then
  rm -rf "$WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  # wineboot leaves a service manager of its own running; a second one started
  # by the next program would answer every other request with 1060.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  touch "$ready"
fi

# Copies a changed file (into the bench folder's subfolder $2, if given); by
# rename, so that a service still running the old program keeps its copy.
install_file() {
  local target
  target=$TARNWICK_BENCH_DIR/${2:+$2/}$(basename "$1")
  if ! cmp -s "$1" "$target"; then
    cp "$1" "$target.new" && mv -f "$target.new" "$target"
  fi
}

mkdir -p "$TARNWICK_BENCH_DIR"
install_file "$fakesvc"
if [ -f "$provider" ]; then
  install_file "$provider"
  if [ -f "$register" ]; then
    bash "$register" "$WINEPREFIX" "$TARNWICK_BENCH_DIR_WIN\\$(basename "$provider")"
  fi
fi
provider_x86=${TARNWICK_WIN_X86_BUILD_DIR:+$TARNWICK_WIN_X86_BUILD_DIR/tests/bench/provider/tarnwick_winnt_provider.dll}
if [ -n "$provider_x86" ]; then
  [ -f "$provider_x86" ] || { echo "$0: $provider_x86 is missing; build the x86 tree first" >&2; exit 1; }
  mkdir -p "$TARNWICK_BENCH_DIR/x86"
  install_file "$provider_x86" x86
  bash "$register" --32 "$WINEPREFIX" "$TARNWICK_BENCH_DIR_WIN\\x86\\$(basename "$provider_x86")"
fi

wine "$benchctl" install "$TARNWICK_BENCH_DIR_WIN\\fakesvc.exe"

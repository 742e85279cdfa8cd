# shellcheck shell=bash
# Sourced (". env.sh WIN_BUILD_DIR") by the scripts that run Wine for a
# Windows build tree: one prefix per tree, Wine's per-user files kept out of
# the real home, and no prompts or debug noise.

if [ -z "${1:-}" ]; then
  echo "usage: . env.sh WIN_BUILD_DIR" >&2
  return 2
fi
TARNWICK_WIN_BUILD_DIR=$(cd "$1" && pwd) || return 1
export TARNWICK_WIN_BUILD_DIR
export TARNWICK_WINE_DIR=$TARNWICK_WIN_BUILD_DIR/wine
# A suite that needs a prefix of its own sets TARNWICK_WINE_SUITE (e.g.
# "install"): prefix-install and home-install instead of the shared ones.
export WINEPREFIX=$TARNWICK_WINE_DIR/prefix${TARNWICK_WINE_SUITE:+-$TARNWICK_WINE_SUITE}
export HOME=$TARNWICK_WINE_DIR/home${TARNWICK_WINE_SUITE:+-$TARNWICK_WINE_SUITE}
export XDG_CONFIG_HOME=$HOME/.config
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CACHE_HOME=$HOME/.cache
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no menu entries or file associations.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEARCH  # only the 64-bit loader exists here

# Where the bench's Windows programs live inside the prefix (the services'
# image path) and on the Linux side.
export TARNWICK_BENCH_DIR_WIN='C:\TarnwickBench'
export TARNWICK_BENCH_DIR=$WINEPREFIX/drive_c/TarnwickBench

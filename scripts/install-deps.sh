#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need and the
# machine lacks. Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev libgmock-dev googletest   # native build and unit tests
  g++-mingw-w64-x86-64                                 # cross build (posix variant used)
  clang lld llvm                                       # second cross build of the product (llvm-dlltool)
  wine wine64 fonts-wine                               # runs the program
  xvfb xauth x11-utils imagemagick                     # display, screenshots
  cppcheck                                             # static analysis
  wixl msitools osslsigncode zip unzip openssl         # make package: MSI, ZIP, signing
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

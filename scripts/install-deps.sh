#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need and the
# machine lacks. Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev libgmock-dev googletest   # native build and unit tests
  g++-mingw-w64-x86-64 g++-mingw-w64-i686             # cross builds, x64 and x86
  clang lld llvm                                       # second cross build of the product (llvm-dlltool)
  wine wine64 wine32:i386 fonts-wine                   # runs both programs
  xvfb xauth x11-utils imagemagick                     # display, screenshots
  cppcheck                                             # static analysis
  wixl msitools osslsigncode zip unzip openssl         # make package: MSI, ZIP, signing
)

# The x86 program runs under Wine's 32-bit part, which comes from i386.
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

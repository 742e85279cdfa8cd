#!/usr/bin/env bash
# Makes the release files of a Windows build tree:
#   make-package.sh WIN_BUILD_DIR OUTPUT_DIR
# writes OUTPUT_DIR/tarnwick-<version>-x64.msi, tarnwick-<version>-x64.zip
# (tarnwick.exe, README.md, LICENSE) and SHA256SUMS, and nothing else there.
#
# The version comes from resources/version.h (TARNWICK_VERSION_NUMBERS a,b,c,d
# gives a.b.c), the publisher and web address from the build tree's maker.h.
# From the environment (the build passes its cache settings):
#   TARNWICK_SIGN_PFX            PKCS#12 file with the code-signing certificate
#   TARNWICK_SIGN_PASSWORD_FILE  file whose first line is the PFX's password
#   TARNWICK_SIGN_TIMESTAMP_URL  RFC 3161 timestamp server (optional)
#   TARNWICK_VERSION             a.b.c instead of version.h's (for tests)
# With a certificate, tarnwick.exe is signed before it is packed and the MSI
# after it is built; without one nothing is signed.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 WIN_BUILD_DIR OUTPUT_DIR" >&2; exit 2; }
win=$(cd "$1" && pwd)
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
me=$(basename "$0")

exe=$win/ui/tarnwick.exe
icon=$win/resources/tarnwick.ico
maker=$win/resources/maker.h
for file in "$exe" "$icon" "$maker"; do
  [ -f "$file" ] || { echo "$me: $file is missing; build the Windows tree first" >&2; exit 1; }
done

version=${TARNWICK_VERSION:-$(sed -nE 's/^#define TARNWICK_VERSION_NUMBERS +([0-9]+), *([0-9]+), *([0-9]+), *[0-9]+.*/\1.\2.\3/p' \
  "$source_dir/resources/version.h")}
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "$me: no version a.b.c found (got '$version')" >&2; exit 1; }
maker_value() { sed -nE "s/^#define $1 \"(.*)\"$/\1/p" "$maker"; }
company=$(maker_value TARNWICK_MAKER_COMPANY)
url=$(maker_value TARNWICK_MAKER_URL)

pfx=${TARNWICK_SIGN_PFX:-}
password_file=${TARNWICK_SIGN_PASSWORD_FILE:-}
timestamp_url=${TARNWICK_SIGN_TIMESTAMP_URL:-}
if [ -n "$pfx" ]; then
  for file in "$pfx" "$password_file"; do
    [ -f "$file" ] || { echo "$me: signing needs TARNWICK_SIGN_PFX and TARNWICK_SIGN_PASSWORD_FILE; '$file' is missing" >&2; exit 1; }
  done
else
  echo "$me: no certificate (TARNWICK_SIGN_PFX is empty): tarnwick.exe and the MSI are not signed"
fi

# Authenticode signature in place, SHA-256, with the product's name and web address.
sign() {
  local args=(sign -pkcs12 "$pfx" -readpass "$password_file" -h sha256 -n Tarnwick -i "$url")
  [ -n "$timestamp_url" ] && args+=(-ts "$timestamp_url")
  rm -f "$1.signed"
  osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv -f "$1.signed" "$1"
}

base=tarnwick-$version-x64
stage=$win/packaging/stage
rm -rf "$stage"
mkdir -p "$stage" "$out"
rm -f "$out"/tarnwick-*-x64.msi "$out"/tarnwick-*-x64.zip "$out/SHA256SUMS"
cp "$exe" "$icon" "$source_dir/README.md" "$source_dir/LICENSE" "$stage/"
[ -z "$pfx" ] || sign "$stage/tarnwick.exe"

# wixl finds sources only by paths relative to where it runs, hence the stage.
# It cannot put a condition on a component either: the desktop shortcut's is
# written into the Component table once the database exists.
msi=$stage/$base.msi
(cd "$stage" && wixl -a x64 -o "$msi" \
  -D Version="$version" -D Manufacturer="$company" -D MakerUrl="$url" \
  -D ProgramFile=tarnwick.exe -D IconFile=tarnwick.ico \
  -D ReadmeFile=README.md -D LicenseFile=LICENSE \
  "$here/tarnwick.wxs")
msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = 'DESKTOP_SHORTCUT <> \"0\"' WHERE \`Component\` = 'DesktopShortcut'"
[ -z "$pfx" ] || sign "$msi"

(cd "$stage" && zip -q -X "$base.zip" tarnwick.exe README.md LICENSE)
mv -f "$msi" "$stage/$base.zip" "$out/"
(cd "$out" && sha256sum "$base.msi" "$base.zip" > SHA256SUMS)
echo "$me: wrote $out/$base.msi, $base.zip and SHA256SUMS"

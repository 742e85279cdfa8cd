#!/usr/bin/env bash
# Makes the release files of the Windows build trees:
#   make-package.sh WIN_BUILD_DIR OUTPUT_DIR [WIN_X86_BUILD_DIR]
# writes OUTPUT_DIR/tarnwick-<version>-x64.msi, tarnwick-<version>-x64.zip
# (tarnwick.exe, Guide.txt, LICENSE), with the x86 tree also
# tarnwick-<version>-x86.msi and tarnwick-<version>-x86.zip, and SHA256SUMS
# over them all, and nothing else there. The x64 tree gives the version and
# the maker's details for both.
# Guide.txt is docs/guide.md, the administrator's guide, with Windows line
# ends so that every Notepad shows it as written.
#
# The MSI's version is a.b.<build>: a.b from the build tree's
# resources/version.h (TARNWICK_VERSION_NUMBERS a,b,c,d, made from the
# project's version in CMakeLists.txt), the third field a build number, so each
# release build is a version of its own while the version record in
# tarnwick.exe stays as it is. The publisher and web address come from the
# build tree's maker.h.
# From the environment (the build passes its cache settings):
#   TARNWICK_BUILD_NUMBER        the build number, 0 to 65535; by default the
#                                number of commits of the source's git history,
#                                or 0 where there is none (a shallow clone is
#                                refused: its count is too small)
#   TARNWICK_SIGN_PFX            PKCS#12 file with the code-signing certificate
#   TARNWICK_SIGN_PASSWORD_FILE  file whose first line is the PFX's password
#   TARNWICK_SIGN_TIMESTAMP_URL  RFC 3161 timestamp server (optional)
# With a certificate, tarnwick.exe is signed before it is packed and the MSI
# after it is built; without one nothing is signed.
set -euo pipefail

[ $# -eq 2 ] || [ $# -eq 3 ] || { echo "usage: $0 WIN_BUILD_DIR OUTPUT_DIR [WIN_X86_BUILD_DIR]" >&2; exit 2; }
win=$(cd "$1" && pwd)
out=$2
win_x86=
[ $# -eq 3 ] && [ -n "$3" ] && win_x86=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
me=$(basename "$0")

icon=$win/resources/tarnwick.ico
maker=$win/resources/maker.h
for file in "$win/ui/tarnwick.exe" ${win_x86:+"$win_x86/ui/tarnwick.exe"} "$icon" "$maker" "$win/resources/version.h"; do
  [ -f "$file" ] || { echo "$me: $file is missing; build the Windows tree first" >&2; exit 1; }
done

major_minor=$(sed -nE 's/^#define TARNWICK_VERSION_NUMBERS +([0-9]+), *([0-9]+), *[0-9]+, *[0-9]+.*/\1.\2/p' \
  "$win/resources/version.h")
[[ $major_minor =~ ^[0-9]+\.[0-9]+$ ]] || { echo "$me: no version a,b,c,d found in $win/resources/version.h" >&2; exit 1; }
build=${TARNWICK_BUILD_NUMBER:-}
if [ -z "$build" ] &&
   [ "$(git -C "$source_dir" rev-parse --is-shallow-repository 2>/dev/null)" = true ]; then
  echo "$me: refusing to guess the build number in a shallow clone: it counts only the commits" \
    "fetched, so the MSI would be older than releases already made and could not replace them;" \
    "give TARNWICK_BUILD_NUMBER (make package BUILD_NUMBER=n) or fetch the whole history" \
    "(git fetch --unshallow)" >&2
  exit 1
fi
if [ -z "$build" ]; then
  build=$(git -C "$source_dir" rev-list --count HEAD 2>/dev/null) || {
    build=0
    echo "$me: no git history: build number 0 (give TARNWICK_BUILD_NUMBER)"
  }
fi
# The installer compares the third field as a number up to 65535.
if ! [[ $build =~ ^[0-9]+$ ]] || [ "$((10#$build))" -gt 65535 ]; then
  echo "$me: the build number must be a whole number from 0 to 65535 (got '$build')" >&2
  exit 1
fi
version=$major_minor.$((10#$build))
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

mkdir -p "$out"
rm -f "$out"/tarnwick-*-x64.msi "$out"/tarnwick-*-x64.zip "$out"/tarnwick-*-x86.msi "$out"/tarnwick-*-x86.zip \
  "$out/SHA256SUMS"
made=()

# The MSI and the ZIP of one architecture, from the tarnwick.exe of its tree.
# (Its body, up to the closing brace, is the script's main part, written at
# the left margin.)
package() {
local arch=$1 exe=$2
local base=tarnwick-$version-$arch
local stage=$win/packaging/stage-$arch
rm -rf "$stage"
mkdir -p "$stage"
cp "$exe" "$icon" "$source_dir/LICENSE" "$stage/"
sed 's/$/\r/' "$source_dir/docs/guide.md" > "$stage/Guide.txt"
[ -z "$pfx" ] || sign "$stage/tarnwick.exe"

# wixl finds sources only by paths relative to where it runs, hence the stage.
msi=$stage/$base.msi
(cd "$stage" && wixl -a "$arch" -o "$msi" -D Arch="$arch" \
  -D Version="$version" -D Manufacturer="$company" -D MakerUrl="$url" \
  -D ProgramFile=tarnwick.exe -D IconFile=tarnwick.ico \
  -D GuideFile=Guide.txt -D LicenseFile=LICENSE \
  "$here/tarnwick.wxs")

# What wixl cannot express is written into the tables once the database
# exists (tarnwick.wxs says what and why). Where a change relies on what
# wixl wrote, it checks that first.
query() { msibuild "$msi" -q "$1"; }
# A table's rows, tab-separated (msiinfo ends lines with CR LF and starts with
# three lines of column names and types).
rows() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
# The value of column $3 in the row of table $1 whose first column is $2.
cell() { rows "$1" | awk -F '\t' -v key="$2" -v column="$3" '$1 == key { print $column }'; }
fail() { echo "$me: $1 (has wixl changed?)" >&2; exit 1; }

upgrade_code=$(cell Property UpgradeCode 2)
query "UPDATE \`Component\` SET \`Condition\` = 'DESKTOP_SHORTCUT <> \"0\"' WHERE \`Component\` = 'DesktopShortcut'"

# What an installed build that remembered no choice shows of it: where
# AppSearch finds the desktop shortcut's component installed by any product
# (its key path's folder: those builds kept it by its folder; newer ones by a
# registry value, but they remember the choice anyway), and whether the
# shortcut itself is on the desktop. Windows registers no component whose
# condition was false; Wine's installer registers it all the same, so there
# only the missing shortcut tells. One deleted by hand stays away too.
desktop_component=$(cell Component DesktopShortcut 2)
[[ $desktop_component =~ ^\{[0-9A-F-]{36}\}$ ]] || fail "no DesktopShortcut component"
desktop_name=$(cell Shortcut DesktopShortcut 3)
[ -n "$desktop_name" ] || fail "no DesktopShortcut shortcut"
query "CREATE TABLE \`CompLocator\` (\`Signature_\` CHAR(72) NOT NULL, \`ComponentId\` CHAR(38) NOT NULL,
       \`Type\` SHORT PRIMARY KEY \`Signature_\`)"
query "INSERT INTO \`CompLocator\` (\`Signature_\`, \`ComponentId\`, \`Type\`)
       VALUES ('InstalledDesktopShortcut', '$desktop_component', 0)"
query "INSERT INTO \`Signature\` (\`Signature\`, \`FileName\`) VALUES ('DesktopShortcutFile', '$desktop_name.lnk')"
query "CREATE TABLE \`DrLocator\` (\`Signature_\` CHAR(72) NOT NULL, \`Parent\` CHAR(72), \`Path\` CHAR(255),
       \`Depth\` SHORT PRIMARY KEY \`Signature_\`, \`Parent\`)"
query "INSERT INTO \`DrLocator\` (\`Signature_\`, \`Path\`, \`Depth\`)
       VALUES ('DesktopShortcutFile', '[DesktopFolder]', 0)"
query "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`)
       VALUES ('INSTALLED_DESKTOP_SHORTCUT', 'InstalledDesktopShortcut')"
query "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`)
       VALUES ('DESKTOP_SHORTCUT_FILE', 'DesktopShortcutFile')"

# The remembered desktop shortcut choice first, then the one an older build
# without a remembered choice declined, then the default, each only while
# DESKTOP_SHORTCUT is unset: right after AppSearch (50), well before
# CostFinalize reads the component condition. FindRelatedProducts, which sets
# WIX_UPGRADE_DETECTED, comes before AppSearch.
declined='NOT DESKTOP_SHORTCUT AND WIX_UPGRADE_DETECTED AND (NOT INSTALLED_DESKTOP_SHORTCUT OR NOT DESKTOP_SHORTCUT_FILE)'
for table in InstallUISequence InstallExecuteSequence; do
  [ "$(cell "$table" AppSearch 3)" = 50 ] || fail "AppSearch is not action 50 of $table"
  related=$(cell "$table" FindRelatedProducts 3)
  [[ $related =~ ^[0-9]+$ ]] && [ "$related" -lt 50 ] || fail "FindRelatedProducts is not before AppSearch in $table"
  query "INSERT INTO \`$table\` (\`Action\`, \`Condition\`, \`Sequence\`)
         VALUES ('RecallDesktopShortcut', 'NOT DESKTOP_SHORTCUT AND REMEMBERED_DESKTOP_SHORTCUT', 51)"
  query "INSERT INTO \`$table\` (\`Action\`, \`Condition\`, \`Sequence\`)
         VALUES ('KeepDeclinedDesktopShortcut', '$declined', 52)"
  query "INSERT INTO \`$table\` (\`Action\`, \`Condition\`, \`Sequence\`)
         VALUES ('DefaultDesktopShortcut', 'NOT DESKTOP_SHORTCUT', 53)"
done

# msidbUpgradeAttributesVersionMaxInclusive on the row that finds older
# versions; the one that refuses strictly newer versions stays as it is.
# Attributes is part of the Upgrade table's key: the row is written anew.
older_attributes=$(rows Upgrade | awk -F '\t' -v version="$version" -v code="$upgrade_code" '
  $1 == code && $2 == "" && $3 == version && $4 == "" && $6 == "" && $7 == "WIX_UPGRADE_DETECTED" { print $5 }')
[[ $older_attributes =~ ^[0-9]+$ ]] || fail "no Upgrade row for the versions below $version"
query "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
query "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
       VALUES ('$upgrade_code', '$version', $((older_attributes | 512)), 'WIX_UPGRADE_DETECTED')"

secure=$(cell Property SecureCustomProperties 2)
[ -n "$secure" ] || fail "no SecureCustomProperties"
for property in DESKTOP_SHORTCUT REMEMBERED_DESKTOP_SHORTCUT INSTALLED_DESKTOP_SHORTCUT DESKTOP_SHORTCUT_FILE; do
  [[ ";$secure;" == *";$property;"* ]] || secure=$secure\;$property
done
query "UPDATE \`Property\` SET \`Value\` = '$secure' WHERE \`Property\` = 'SecureCustomProperties'"

query "UPDATE \`Registry\` SET \`Root\` = -1 WHERE \`Root\` = 4"

# "#%" marks a REG_EXPAND_SZ value.
message_file=$(cell Registry EventMessageFile 5)
[ -n "$message_file" ] || fail "no EventMessageFile in the Registry table"
[[ $message_file == '#%'* ]] ||
  query "UPDATE \`Registry\` SET \`Value\` = '#%$message_file' WHERE \`Registry\` = 'EventMessageFile'"
[ -z "$pfx" ] || sign "$msi"

(cd "$stage" && zip -q -X "$base.zip" tarnwick.exe Guide.txt LICENSE)
mv -f "$msi" "$stage/$base.zip" "$out/"
made+=("$base.msi" "$base.zip")
}

package x64 "$win/ui/tarnwick.exe"
[ -z "$win_x86" ] || package x86 "$win_x86/ui/tarnwick.exe"
(cd "$out" && sha256sum "${made[@]}" > SHA256SUMS)
echo "$me: wrote ${made[*]} and SHA256SUMS in $out"

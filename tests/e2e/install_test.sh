#!/usr/bin/env bash
# The release files, end to end:
#   install_test.sh WIN_BUILD_DIR [WIN_X86_BUILD_DIR]
# Makes them once unsigned with make-package.sh, then with "make package"
# signed with a throwaway certificate, as another build of the same version
# and as the next version; checks checksums, signatures and the MSI's tables (msi_tables.sh,
# which must also notice each rule broken in a copy); then runs
# e2e_install_tests.exe under Wine, which installs, upgrades and uninstalls
# the MSIs with msiexec. Wine runs in a prefix of this suite's own
# (prefix-install, with a throwaway home folder), made afresh on each run.
# With the x86 tree, its MSI is refused in that (64-bit) prefix, and
# installed and uninstalled in a 32-bit one (prefix-install-x86), where the
# x64 MSI is refused. Exits non-zero when any check failed.
set -uo pipefail

[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: $0 WIN_BUILD_DIR [WIN_X86_BUILD_DIR]" >&2; exit 2; }
win_x86=${2:+$(cd "$2" && pwd)}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
wine_scripts=$source_dir/tests/bench/wine
export TARNWICK_WINE_SUITE=install
# shellcheck source=../bench/wine/env.sh
. "$wine_scripts/env.sh" "$1" || exit 2
win=$TARNWICK_WIN_BUILD_DIR
work=$TARNWICK_WINE_DIR/install-files

rm -rf "$WINEPREFIX" "$WINEPREFIX.ready" "$HOME" "$work"
mkdir -p "$work"

failures=0
# check WHAT command...: the command must succeed.
# refuse WHAT REASON command...: it must fail, and say why with a line that
# matches REASON (an extended regular expression): a failure for another
# reason, a missing file say, is no refusal.
run_check() {
  local expect=$1 what=$2 reason=$3; shift 3
  "$@" >"$work/last.log" 2>&1
  local status=$?
  if { [ "$expect" = succeed ] && [ $status -eq 0 ]; } ||
     { [ "$expect" = fail ] && [ $status -ne 0 ] && grep -Eq "$reason" "$work/last.log"; }; then
    echo "[  OK  ] $what"
  else
    echo "[ FAIL ] $what (status $status${reason:+, expected a line matching '$reason'})"
    sed 's/^/    /' "$work/last.log"
    failures=$((failures + 1))
  fi
}
check() { local what=$1; shift; run_check succeed "$what" '' "$@"; }
refuse() { run_check fail "$@"; }

package=$source_dir/packaging/make-package.sh
check "make-package.sh without a certificate" bash "$package" "$win" "$work/plain" "$win_x86"
cp "$work/last.log" "$work/plain.log"
check "... says in one line that nothing is signed" grep -x '.*no certificate.*not signed' "$work/plain.log"
msi=$(ls "$work"/plain/tarnwick-*-x64.msi 2>/dev/null)
[ -n "$msi" ] || { echo "no MSI was made" >&2; exit 1; }
version=$(basename "$msi" -x64.msi); version=${version#tarnwick-}
build=${version##*.}
newer=${version%.*}.$((build + 1))
check "the version's third field is the number of commits (0 without git)" \
  test "$build" = "$(git -C "$source_dir" rev-list --count HEAD 2>/dev/null || echo 0)"
check "the MSI's ProductVersion is $version" \
  bash -c "msiinfo export '$msi' Property | tr -d '\r' | grep -qx \$'ProductVersion\t$version'"
check "without git history the build number is 0" bash -c "
  GIT_DIR=/nonexistent bash '$package' '$win' '$work/nogit' > '$work/nogit.log' &&
  grep -q 'no git history: build number 0' '$work/nogit.log' &&
  test -f '$work/nogit/tarnwick-${version%.*}.0-x64.msi'"

# A throwaway code-signing certificate.
cert=$work/signer.pem
echo "throwaway password" > "$work/password.txt"
check "openssl makes a throwaway certificate" bash -c "
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Tarnwick test signer' \
    -addext extendedKeyUsage=codeSigning -keyout '$work/signer.key' -out '$cert' &&
  openssl pkcs12 -export -inkey '$work/signer.key' -in '$cert' -out '$work/signer.pfx' \
    -passout 'file:$work/password.txt'"
# Signed as the README says a release is signed: "make package" with the
# certificate on its command line (a make of its own, not the one running
# the tests).
make_package() {
  env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -C "$source_dir" BUILD="$(dirname "$win")" package \
    SIGN_PFX="$work/signer.pfx" SIGN_PASSWORD_FILE="$work/password.txt" "$@"
}
check "make package SIGN_PFX=… signs another build of version $version" \
  make_package BUILD_NUMBER="$build" PACKAGE_DIR="$work/same"
check "make package SIGN_PFX=… signs version $newer" \
  make_package BUILD_NUMBER=$((build + 1)) PACKAGE_DIR="$work/newer"
same_msi=$work/same/tarnwick-$version-x64.msi
newer_msi=$work/newer/tarnwick-$newer-x64.msi

for kind in plain same newer; do
  check "sha256sum -c accepts the $kind files" bash -c "cd '$work/$kind' && sha256sum -c SHA256SUMS"
  check "the $kind ZIP holds tarnwick.exe, the guide (with Windows line ends) and LICENSE" \
    bash -c "unzip -o -q '$work/$kind'/tarnwick-*-x64.zip -d '$work/$kind/unpacked' &&
             [ \"\$(ls '$work/$kind/unpacked' | tr '\n' ' ')\" = 'Guide.txt LICENSE tarnwick.exe ' ] &&
             sed 's/\$/\r/' '$source_dir/docs/guide.md' | cmp - '$work/$kind/unpacked/Guide.txt' &&
             cmp '$work/$kind/unpacked/LICENSE' '$source_dir/LICENSE'"
done
check "the unsigned ZIP holds the built tarnwick.exe" cmp "$work/plain/unpacked/tarnwick.exe" "$win/ui/tarnwick.exe"
signed_exe=$work/newer/unpacked/tarnwick.exe
same_exe=$work/same/unpacked/tarnwick.exe

# shellcheck disable=SC2317  # run through check and refuse
verify() { osslsigncode verify -CAfile "$cert" -in "$1"; }
# Adds one to the byte at offset $2 of a copy of $1, written to $3.
change_byte() {
  cp "$1" "$3"
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf '%b' "\\$(printf %03o $(((byte + 1) % 256)))" | dd of="$3" bs=1 seek="$2" conv=notrunc status=none
}
check "the signed tarnwick.exe verifies" verify "$signed_exe"
check "the other build of $version holds a signed tarnwick.exe, not the first build's" verify "$same_exe"
check "the signed MSI verifies" verify "$newer_msi"
refuse "the unsigned tarnwick.exe has no signature" "^No signature found" verify "$work/plain/unpacked/tarnwick.exe"
refuse "the unsigned MSI has no signature" "^MSI file has no signature" verify "$msi"
change_byte "$signed_exe" $(($(stat -c %s "$signed_exe") / 2)) "$work/changed.exe"
refuse "tarnwick.exe with one byte changed fails" "digest .*MISMATCH" verify "$work/changed.exe"
# In the MSI, a byte of the string pool (a hashed stream): the desktop shortcut's name.
offset=$(grep -obUa 'Switch IIS on or off' "$newer_msi" | head -1 | cut -d: -f1)
check "the MSI's string pool holds the desktop shortcut's name" test -n "$offset"
change_byte "$newer_msi" "${offset:-0}" "$work/changed.msi"
refuse "the MSI with one byte changed fails" "DigitalSignature .*MISMATCH" verify "$work/changed.msi"

# The first release's MSI, from before the desktop shortcut's choice was
# remembered, made as make-package.sh made it then: its tarnwick.wxs from the
# history, version 1.0.0, the desktop shortcut's condition written afterwards.
first=86813bb5f2e891428fbba3791c9c80afed8245dc
old_msi=$work/first/tarnwick-1.0.0-x64.msi
# shellcheck disable=SC2317  # run through check
make_first_msi() {
  mkdir -p "$work/first" &&
  git -C "$source_dir" show "$first:packaging/tarnwick.wxs" > "$work/first/tarnwick.wxs" &&
  cp "$win/ui/tarnwick.exe" "$win/resources/tarnwick.ico" "$source_dir/README.md" "$source_dir/LICENSE" \
    "$work/first/" &&
  (cd "$work/first" && wixl -a x64 -o "$old_msi" -D Version=1.0.0 -D Manufacturer=Tarnwick \
     -D MakerUrl=https://tarnwick.example.com/ -D ProgramFile=tarnwick.exe -D IconFile=tarnwick.ico \
     -D ReadmeFile=README.md -D LicenseFile=LICENSE tarnwick.wxs) &&
  msibuild "$old_msi" -q "UPDATE \`Component\` SET \`Condition\` = 'DESKTOP_SHORTCUT <> \"0\"' WHERE \`Component\` = 'DesktopShortcut'"
}
check "the first release's MSI is made from its tarnwick.wxs" make_first_msi

# The installer's rules, read from the tables; then each rule broken in a copy
# (queries separated by "|", @VERSION@ for the version), which the check must
# notice.
tables=$here/msi_tables.sh
check "the MSI's tables keep the installer's rules" bash "$tables" "$msi"
while IFS='|' read -r what reason queries; do
  cp "$msi" "$work/broken.msi"
  IFS='|' read -r -a queries <<<"${queries//@VERSION@/$version}"
  for query in "${queries[@]}"; do msibuild "$work/broken.msi" -q "$query"; done
  refuse "... a copy where $what fails them" "$reason" bash "$tables" "$work/broken.msi"
done <<'EOF'
the desktop shortcut's component has no key path|^component DesktopShortcut has no key path$|UPDATE `Component` SET `KeyPath` = '' WHERE `Component` = 'DesktopShortcut'
the desktop shortcut's component is kept by a value under HKLM|^shortcut DesktopShortcut: .* not kept by a registry value under HKMU$|UPDATE `Registry` SET `Root` = 2 WHERE `Registry` = 'DesktopShortcut'
the Start menu shortcut's component is kept by the program|^shortcut StartMenuShortcut: .* not kept by a registry value under HKMU$|UPDATE `Component` SET `KeyPath` = 'tarnwick.exe', `Attributes` = 256 WHERE `Component` = 'StartMenuShortcut'
the Start menu shortcut has a folder that stays|^folder TarnwickMenu inside ProgramMenuFolder is never removed$|INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES ('TarnwickMenu', 'ProgramMenuFolder', 'Tarnwick')|UPDATE `Shortcut` SET `Directory_` = 'TarnwickMenu' WHERE `Shortcut` = 'StartMenuShortcut'
the same version is not replaced|^no Upgrade row replaces the versions up to|DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'|INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{A9B72240-8EA9-44AF-9B59-332BCEEC053D}', '@VERSION@', 1, 'WIX_UPGRADE_DETECTED')
newer versions are not refused|^no Upgrade row and launch condition refuse|DELETE FROM `LaunchCondition`
the old product goes after the new one is installed|^RemoveExistingProducts is not between|UPDATE `InstallExecuteSequence` SET `Sequence` = 6601 WHERE `Action` = 'RemoveExistingProducts'
the default desktop shortcut choice comes before the remembered one|^InstallUISequence: not AppSearch|UPDATE `InstallUISequence` SET `Sequence` = 53 WHERE `Action` = 'RecallDesktopShortcut'
DESKTOP_SHORTCUT is not secure|^property DESKTOP_SHORTCUT is not secure$|UPDATE `Property` SET `Value` = 'WIX_UPGRADE_DETECTED;WIX_DOWNGRADE_DETECTED;REMEMBERED_DESKTOP_SHORTCUT' WHERE `Property` = 'SecureCustomProperties'
EOF

# The x86 MSI in the 64-bit prefix (64-bit Windows, which it refuses), then
# in a 32-bit prefix. msiexec's status is read inside the prefix: above 255 it
# reaches Linux truncated.
if [ -n "$win_x86" ]; then
  msi_x86=$work/plain/tarnwick-$version-x86.msi
  for file in "$msi" "$msi_x86"; do
    check "$(basename "$file") asks for Windows Installer 3.1 at most" \
      bash -c "[ \"\$(msiinfo suminfo '$file' | sed -nE 's/^Version: ([0-9]+).*/\1/p')\" -le 301 ]"
  done
  check "SHA256SUMS names the four release files" \
    bash -c "[ \"\$(cut -d' ' -f3 '$work/plain/SHA256SUMS' | tr '\n' ' ')\" = 'tarnwick-$version-x64.msi tarnwick-$version-x64.zip tarnwick-$version-x86.msi tarnwick-$version-x86.zip ' ]"
  check "the x86 ZIP holds the x86 tree's tarnwick.exe" \
    bash -c "unzip -o -q '$work/plain/tarnwick-$version-x86.zip' tarnwick.exe -d '$work/x86' && cmp '$work/x86/tarnwick.exe' '$win_x86/ui/tarnwick.exe'"
  msiexec_status() {  # PREFIX ARGS...: msiexec's status in that prefix
    local prefix=$1; shift
    cp "$msi" "$msi_x86" "$prefix/drive_c/"
    printf '@msiexec %%*\r\n@echo status %%ERRORLEVEL%%\r\n' > "$prefix/drive_c/msiexec-status.cmd"
    WINEPREFIX=$prefix xvfb-run -a wine cmd /c 'C:\msiexec-status.cmd' "$@" 2>/dev/null | tr -d '\r' | grep '^status'
    WINEPREFIX=$prefix wineserver -k
  }
  "$wine_scripts/prepare-prefix.sh" "$win" >"$work/prepare.log" 2>&1
  status=$(msiexec_status "$WINEPREFIX" /i "C:\\$(basename "$msi_x86")" /qn /l*v 'C:\x86.log')
  # Wine's log leaves a launch condition's message out: the install is seen to
  # end at the launch conditions, and the message is read from the table.
  check "64-bit Windows refuses the x86 MSI ($status) at its launch condition" bash -c "[ '$status' = 'status 1603' ] &&
    grep -q 'Action start .*: LaunchConditions' '$WINEPREFIX/drive_c/x86.log' &&
    ! grep -q 'Action start .*: ValidateProductID' '$WINEPREFIX/drive_c/x86.log'"
  check "... which names the x64 package" bash -c "msiinfo export '$msi_x86' LaunchCondition | tr -d '\r' |
    grep -qx \$'NOT VersionNT64\tThis is the Tarnwick package for 32-bit Windows. On 64-bit Windows, install the x64 package, tarnwick-$version-x64.msi, instead.'"
  prefix32=$WINEPREFIX-x86
  rm -rf "$prefix32"
  check "a 32-bit prefix is made" bash -c "WINEPREFIX='$prefix32' WINEARCH=win32 wine wineboot --init >/dev/null 2>&1 && WINEPREFIX='$prefix32' wineserver -w"
  installed="$prefix32/drive_c/Program Files/Tarnwick/tarnwick.exe"
  status=$(msiexec_status "$prefix32" /i "C:\\$(basename "$msi")" /qn)
  check "32-bit Windows refuses the x64 MSI ($status)" test "$status" = 'status 1633'
  status=$(msiexec_status "$prefix32" /i "C:\\$(basename "$msi_x86")" /qn)
  check "32-bit Windows installs the x86 MSI ($status)" bash -c "[ '$status' = 'status 0' ] && cmp '$installed' '$win_x86/ui/tarnwick.exe'"
  status=$(msiexec_status "$prefix32" /x "C:\\$(basename "$msi_x86")" /qn)
  check "... and uninstalls it ($status)" bash -c "[ '$status' = 'status 0' ] && [ ! -e '$installed' ]"
  rm -rf "$prefix32"
fi

# The prefix, then the profile's folders made real: Wine links Desktop,
# Documents... into the home folder, and an uninstall could reach through.
"$wine_scripts/prepare-prefix.sh" "$win" >"$work/prepare.log" 2>&1 || {
  cat "$work/prepare.log"; echo "preparing the Wine prefix failed" >&2; exit 1; }
while IFS= read -r link; do
  rm "$link" && mkdir "$link"
done < <(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -type l)

export TARNWICK_TEST_MSI=$msi TARNWICK_TEST_VERSION=$version
export TARNWICK_TEST_SAME_MSI=$same_msi TARNWICK_TEST_SAME_EXE=$same_exe
export TARNWICK_TEST_NEWER_MSI=$newer_msi TARNWICK_TEST_NEWER_VERSION=$newer
export TARNWICK_TEST_SIGNED_EXE=$signed_exe TARNWICK_TEST_FIRST_MSI=$old_msi
"$wine_scripts/session.sh" "$win" "$win/tests/e2e/e2e_install_tests.exe"
status=$?

(cd "$work/plain" && stat -c 'release file: %n, %s bytes' tarnwick-*-x64.*)
[ $failures -eq 0 ] || { echo "$failures packaging check(s) failed"; exit 1; }
exit $status

#!/usr/bin/env bash
# What the installer's validation rules ask of the Tarnwick MSI, and what its
# upgrades rely on, read from its tables with msiinfo:
#   msi_tables.sh FILE.msi
# Prints one line per breach and exits 1 when there is any.
# - Every component has a key path: a file or registry value of its own. (One
#   without is kept by its folder, which then needs a CreateFolder row.)
# - A component with a shortcut is kept by a registry value, not by a file or
#   folder, under HKMU (-1): like the shortcut folders it follows ALLUSERS,
#   which is 1, so it lands in HKLM.
# - Every folder the package makes inside a user-profile folder (Start menu,
#   desktop...) is removed again: a RemoveFile row without a file name.
# - The major upgrade replaces older versions and the same one
#   (VersionMaxInclusive), refuses strictly newer ones (a launch condition),
#   and removes the installed product before anything is installed.
# - DESKTOP_SHORTCUT and the properties AppSearch sets are secure, so a value
#   from a non-elevated command line reaches the elevated install.
# - In both sequences the desktop shortcut's remembered choice, then the one
#   an older build declined without remembering it, then its default, is set
#   after AppSearch and before CostFinalize.
set -uo pipefail

[ $# -eq 1 ] || { echo "usage: $0 FILE.msi" >&2; exit 2; }
msi=$1
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
# Each table's rows, tab-separated, in a file of its own (msiinfo ends lines
# with CR LF and starts with three lines of column names and types).
for table in Component File Registry Shortcut Directory RemoveFile Upgrade Property \
             AppSearch LaunchCondition InstallExecuteSequence InstallUISequence; do
  msiinfo export "$msi" "$table" 2>/dev/null | tr -d '\r' | tail -n +4 > "$tables/$table"
done
cd "$tables" || exit 2
property() { awk -F '\t' -v name="$1" '$1 == name { print $2 }' Property; }

# Each check prints its breaches.
breaches() {
  # Component: Component, ComponentId, Directory_, Attributes, Condition, KeyPath.
  # With Attributes bit 4 the key path is a Registry row, else a File row.
  awk -F '\t' '
    FILENAME == "File" { file_owner[$1] = $2; next }
    FILENAME == "Registry" { registry_owner[$1] = $6; next }
    $6 == "" { print "component " $1 " has no key path"; next }
    int($4 / 4) % 2 == 1 && registry_owner[$6] != $1 { print "component " $1 ": key path " $6 " is no registry value of its own" }
    int($4 / 4) % 2 == 0 && file_owner[$6] != $1 { print "component " $1 ": key path " $6 " is no file of its own" }
  ' File Registry Component

  [ "$(property ALLUSERS)" = 1 ] || echo "ALLUSERS is not 1: not a per-machine package"
  # Shortcut: Shortcut, Directory_, Name, Component_...; Registry: Registry, Root...
  awk -F '\t' '
    FILENAME == "Registry" { root[$1] = $2; next }
    FILENAME == "Component" { attributes[$1] = $4; key[$1] = $6; next }
    !(int(attributes[$4] / 4) % 2 == 1 && root[key[$4]] == -1) {
      print "shortcut " $1 ": its component " $4 " is not kept by a registry value under HKMU" }
  ' Registry Component Shortcut

  # Directory: Directory, Directory_Parent; RemoveFile: FileKey, Component_,
  # FileName, DirProperty, InstallMode (2: on uninstall, 3: both).
  awk -F '\t' '
    BEGIN { split("ProgramMenuFolder StartMenuFolder StartupFolder DesktopFolder AppDataFolder " \
                  "LocalAppDataFolder PersonalFolder FavoritesFolder SendToFolder TemplateFolder " \
                  "NetHoodFolder PrintHoodFolder RecentFolder MyPicturesFolder AdminToolsFolder", names, " ")
            for (i in names) profile[names[i]] = 1 }
    FILENAME == "RemoveFile" { if ($3 == "" && ($5 == 2 || $5 == 3)) removed[$4] = 1; next }
    { parent[$1] = $2; order[++count] = $1 }
    END {
      for (i = 1; i <= count; i++) {
        directory = order[i]
        if (directory in profile || directory in removed) continue
        for (up = parent[directory]; up != ""; up = parent[up])
          if (up in profile) { print "folder " directory " inside " up " is never removed"; break }
      }
    }
  ' RemoveFile Directory

  # Upgrade: UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove,
  # ActionProperty. Attributes: 2 only detect, 256 minimum inclusive, 512
  # maximum inclusive. LaunchCondition: Condition, Description.
  awk -F '\t' -v version="$(property ProductVersion)" -v code="$(property UpgradeCode)" '
    FILENAME == "LaunchCondition" { condition[$1] = 1; next }
    $1 != code { next }
    $2 == "" && $3 == version && int($5 / 2) % 2 == 0 && int($5 / 512) % 2 == 1 { replaces = 1 }
    $2 == version && $3 == "" && int($5 / 2) % 2 == 1 && int($5 / 256) % 2 == 0 && ("NOT " $7) in condition { refuses = 1 }
    END {
      if (!replaces) print "no Upgrade row replaces the versions up to " version ", this one included"
      if (!refuses) print "no Upgrade row and launch condition refuse the versions above " version
    }
  ' LaunchCondition Upgrade

  # Sequence: Action, Condition, Sequence.
  place() { awk -F '\t' -v action="$2" '$1 == action { print $3 }' "$1"; }
  in_order() {
    while [ $# -ge 2 ]; do
      [ -n "$1" ] && [ -n "$2" ] && [ "$1" -lt "$2" ] || return 1
      shift
    done
  }
  execute=InstallExecuteSequence
  in_order "$(place $execute InstallValidate)" "$(place $execute RemoveExistingProducts)" "$(place $execute InstallInitialize)" ||
    echo "RemoveExistingProducts is not between InstallValidate and InstallInitialize"
  for sequence in InstallUISequence InstallExecuteSequence; do
    in_order "$(place $sequence AppSearch)" "$(place $sequence RecallDesktopShortcut)" \
             "$(place $sequence KeepDeclinedDesktopShortcut)" "$(place $sequence DefaultDesktopShortcut)" \
             "$(place $sequence CostFinalize)" ||
      echo "$sequence: not AppSearch, RecallDesktopShortcut, KeepDeclinedDesktopShortcut, DefaultDesktopShortcut, CostFinalize in this order"
  done

  secure=";$(property SecureCustomProperties);"
  for name in DESKTOP_SHORTCUT $(cut -f1 AppSearch); do
    [[ $secure == *";$name;"* ]] || echo "property $name is not secure"
  done
}

problems=$(breaches)
[ -z "$problems" ] || { echo "$problems"; exit 1; }

#!/usr/bin/env bash
# Builds the Windows Installer package from a folder of built binaries:
#   packaging/build-msi.sh <bin folder> <version x.y.z> <out.msi>
# The build runs it for the target `package`; tests run it for other versions.
# The package's copies of the binaries lose their debugging information
# (STRIP names the tool, default x86_64-w64-mingw32-strip); the build's keep it.
# With a code-signing certificate (VOXLINK_SIGN_PFX, a PKCS#12 file, and its
# password in VOXLINK_SIGN_PASSWORD; VOXLINK_SIGN_TIMESTAMP_URL for an RFC 3161
# timestamp) osslsigncode signs those copies, then the package, with SHA-256.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: build-msi.sh <bin folder> <version> <out.msi>" >&2
    exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=$(cd "$1" && pwd)
version=$2
out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Notepad before Windows 10 shows a text file only with CR LF line ends.
# The ReadMe in each language, UTF-8 with a byte-order mark so that Notepad
# takes it for UTF-8 whatever the system's code page.
for readme in "$here"/ReadMe*.txt; do
    { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$readme"; } >"$work/${readme##*/}"
done

if [ -n "${VOXLINK_SIGN_PFX:-}" ]; then
    command -v osslsigncode >/dev/null ||
        { echo "build-msi: osslsigncode is missing: run scripts/setup.sh" >&2; exit 1; }
    # Through a file of the private folder, not the command line other users see.
    printf '%s' "${VOXLINK_SIGN_PASSWORD:-}" >"$work/password"
else
    echo "build-msi: no code-signing certificate (VOXLINK_SIGN_PFX): ${out##*/} is unsigned"
fi
sign() {  # <file>, signed in place
    [ -n "${VOXLINK_SIGN_PFX:-}" ] || return 0
    osslsigncode sign -pkcs12 "$VOXLINK_SIGN_PFX" -readpass "$work/password" -h sha256 \
        -n Voxlink ${VOXLINK_SIGN_TIMESTAMP_URL:+-ts "$VOXLINK_SIGN_TIMESTAMP_URL"} \
        -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
}
file_version() {  # <binary>: the fixed version of its version resource, a.b.c.d
    local at
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n 1 | cut -d: -f1) || true
    [ -n "$at" ] || { echo "build-msi: ${1##*/} has no version resource" >&2; return 1; }
    od -An -tu2 -j $((at + 8)) -N8 "$1" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}

# The binaries are the .exe and .dll files the package installs: their copies
# are stripped and signed, and the File table gets their versions, so that
# Windows Installer's file-versioning rules apply to them.
binaries=$(sed -nE 's#.*Source="\$\(var\.BinDir\)/([^"]*\.(exe|dll))".*#\1#p' "$here/Voxlink.wxs")
versions=()
# wixl takes the files' sources as paths relative to its folder.
mkdir "$work/bin"
for file in "$bin"/*; do
    name=${file##*/}
    if grep -qxF "$name" <<<"$binaries"; then
        "${STRIP:-x86_64-w64-mingw32-strip}" --strip-debug -o "$work/bin/$name" "$file"
        sign "$work/bin/$name"
        file_version=$(file_version "$file")
        versions+=(-q "UPDATE File SET Version = '$file_version', Language = '1033'
                       WHERE FileName = '$name'")
    else
        ln -s "$file" "$work/bin/"
    fi
done
# The publisher is the program's, from its version resource.
company=$(strings -el "$bin/Voxlink.exe" |
    awk 'f == 1 { print; f = 2 } $0 == "CompanyName" && !f { f = 1 }')
[ -n "$company" ] || { echo "build-msi: Voxlink.exe names no CompanyName" >&2; exit 1; }
(cd "$work" && wixl --arch x64 -D Version="$version" -D BinDir=bin -D ReadMe=ReadMe.txt \
    -D Manufacturer="$company" -o package.msi "$here/Voxlink.wxs")

# What wixl cannot express, added to its tables: the Run value only when
# AUTOSTART is 1, and AUTOSTART passed on from the command line to the
# per-machine part of the installation.
msibuild "$work/package.msi" -q \
    "UPDATE Component SET Condition = 'AUTOSTART = \"1\"' WHERE Component = 'AutoStart'"
# "#%" marks an expandable string (REG_EXPAND_SZ): Windows Error Reporting
# expands %LOCALAPPDATA% for the user whose Voxlink failed.
msibuild "$work/package.msi" -q \
    "UPDATE Registry SET Value = '#%%LOCALAPPDATA%\Voxlink\CrashReports' WHERE Name = 'DumpFolder'"
msibuild "$work/package.msi" -q \
    "UPDATE Property SET Value = 'AUTOSTART;LAUNCH;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
# The binaries' versions; the shortcut's key path under HKMU (-1), which wixl
# writes as 4; a rebuild of the same version replaces the installed one: the
# upgrade row (its attributes are part of its key, so it is written anew) gets
# the maximum version inclusive (512) beside MigrateFeatures (1).
upgrade_code=$(msiinfo export "$work/package.msi" Property | tr -d '\r' |
    awk -F '\t' '$1 == "UpgradeCode" { print $2 }')
msibuild "$work/package.msi" "${versions[@]}" \
    -q "UPDATE Registry SET Root = -1 WHERE Root = 4" \
    -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty)
        VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# Custom actions, written here because wixl's sequencing of them moves
# RemoveExistingProducts and it has no type 34. AUTOSTART: the command line's, else the installed
# version's, else 1 (type 51 sets a property). The install location for the
# Installed-apps entry. Voxlink started from its folder at the end (type 34,
# asynchronous, not waited for): in the interactive client, which runs as the
# user who installs, unless LAUNCH=0; in a silent or basic-UI installation
# (no client sequence) only with LAUNCH=1, and never for the system account.
sequence_row() {  # <table> <action> <sequence> <condition>
    echo "INSERT INTO $1 (Action, Sequence, Condition) VALUES ('$2', $3, '$4')"
}
action_row() {  # <action> <type> <source> <target>
    echo "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('$1', $2, '$3', '$4')"
}
for table in InstallUISequence InstallExecuteSequence; do
    msibuild "$work/package.msi" \
        -q "$(sequence_row $table RememberedAutostart 51 \
            'NOT AUTOSTART AND REMEMBERED_AUTOSTART')" \
        -q "$(sequence_row $table DefaultAutostart 52 'NOT AUTOSTART')"
done
msibuild "$work/package.msi" \
    -q "$(action_row RememberedAutostart 51 AUTOSTART '[REMEMBERED_AUTOSTART]')" \
    -q "$(action_row DefaultAutostart 51 AUTOSTART 1)" \
    -q "$(action_row InstallLocation 51 ARPINSTALLLOCATION '[INSTALLDIR]')" \
    -q "$(action_row LaunchVoxlink 226 INSTALLDIR '"[INSTALLDIR]Voxlink.exe"')" \
    -q "$(sequence_row InstallExecuteSequence InstallLocation 1001 '')" \
    -q "$(sequence_row InstallUISequence LaunchVoxlink 1301 'NOT REMOVE AND LAUNCH <> "0"')" \
    -q "$(sequence_row InstallExecuteSequence LaunchVoxlink 6601 \
        'LAUNCH = "1" AND UILevel < 4 AND NOT REMOVE AND UserSID <> "S-1-5-18"')"
sign "$work/package.msi"
mv "$work/package.msi" "$out"

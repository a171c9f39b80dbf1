#!/usr/bin/env bash
# Builds the Windows Installer package from a folder of built binaries:
#   packaging/build-msi.sh <bin folder> <version x.y.z> <out.msi>
# The build runs it for the target `package`; tests run it for other versions.
# The package's copies of the binaries lose their debugging information
# (STRIP names the tool, default x86_64-w64-mingw32-strip); the build's keep it.
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
sed 's/$/\r/' "$here/ReadMe.txt" >"$work/ReadMe.txt"

# wixl takes the files' sources as paths relative to its folder.
mkdir "$work/bin"
for file in "$bin"/*; do
    case "$file" in
        */Voxlink.exe | */VoxlinkCrashHandler.exe | */HsdHIDCtrl.dll | */HsdFontProcessLib.dll)
            "${STRIP:-x86_64-w64-mingw32-strip}" --strip-debug -o "$work/bin/${file##*/}" "$file" ;;
        *) ln -s "$file" "$work/bin/" ;;
    esac
done
(cd "$work" && wixl --arch x64 -D Version="$version" -D BinDir=bin -D ReadMe=ReadMe.txt \
    -o package.msi "$here/Voxlink.wxs")

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
    "UPDATE Property SET Value = 'AUTOSTART;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
mv "$work/package.msi" "$out"

#!/usr/bin/env bash
# The Windows Installer package under Wine, in a fresh prefix of its own:
#   package-test.sh <bin folder> <package.msi> <version x.y.z>
# Checks the package's winget manifest against it. Builds the package again,
# signed with a throw-away certificate, and installs that silently with
# AUTOSTART=0 (files, Start menu shortcut, no Run value, every binary's
# signature and version resource, the installed program starts from its folder
# and ends with code 0 on Exit); installs a higher version over it (one copy,
# the new version, still no Run value), then that version rebuilt (one product;
# AUTOSTART=1 given wins), refuses the lower one, uninstalls (nothing of the
# program is left, the user's crash reports are) and installs interactively
# with LAUNCH=1 (Voxlink starts, and ends on Exit; the Run value is back).
# The program shows its tray icon by default, so Wine's X11 driver runs on a
# virtual X server of its own (VOXLINK_PACKAGE_DISPLAY, default :148).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=$(cd "$1" && pwd)
msi=$2
version=$3
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))

export VOXLINK_WINE_DRIVER=x11
export VOXLINK_XVFB_DISPLAY=${VOXLINK_PACKAGE_DISPLAY:-:148}
export VOXLINK_WINEPREFIX=$root/build/wine/package
export WINEPREFIX=$VOXLINK_WINEPREFIX
# Wine's desktop integration would copy the shortcut into this machine's menus.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
work=$(mktemp -d)
xvfb_pid=$("$root/scripts/xvfb.sh" "$VOXLINK_XVFB_DISPLAY")
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
step() {
    echo "== $* ($SECONDS s)"
}
wine_run() {
    "$root/scripts/wine-run.sh" "$@"
}
windows_path() {
    echo "Z:${1//\//\\}"
}
# msiexec's exit code as the shell sees it: the low 8 bits.
msiexec_code() {
    local code=0
    wine_run msiexec "$@" /qn >&2 || code=$?
    echo "$code"
}
folder_of() {  # the Unix path of a Windows environment variable's folder
    winepath -u "$(wine_run cmd /c echo "%$1%" | tr -d '\r')"
}

msi_property() {  # <package> <property>
    msiinfo export "$1" Property | tr -d '\r' | awk -F '\t' -v name="$2" '$1 == name { print $2 }'
}
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_value() {
    wine_run reg query "$run_key" /v Voxlink 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *Voxlink *REG_SZ *//p'
}
wer_key='HKLM\SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\Voxlink.exe'
wer_dump_folder() {  # the type and value of Windows Error Reporting's DumpFolder for Voxlink
    wine_run reg query "$wer_key" /v DumpFolder 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *DumpFolder *//p'
}
installed_versions() {  # DisplayVersion of each installed product named Voxlink
    wine_run reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
        awk '/DisplayName +REG_SZ +Voxlink$/ { named = 1; next }
             named && /DisplayVersion/ { print $3; named = 0 }'
}

step "a fresh prefix"
rm -rf "$VOXLINK_WINEPREFIX" "$VOXLINK_WINEPREFIX.lock"
wine_run --prepare
installed="$VOXLINK_WINEPREFIX/drive_c/Program Files/Voxlink"
shortcuts=("$(folder_of ProgramData)/Microsoft/Windows/Start Menu/Programs/Voxlink.lnk"
           "$(folder_of APPDATA)/Microsoft/Windows/Start Menu/Programs/Voxlink.lnk")
crash_reports="$(folder_of LOCALAPPDATA)/Voxlink/CrashReports"
shortcut_present() {
    # Windows puts a per-machine package's shortcut in the all-users Start
    # menu; Wine puts it in the installing user's.
    [ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ]
}

expected=$(printf '%s\n' Voxlink.exe VoxlinkCrashHandler.exe HsdHIDCtrl.dll HsdFontProcessLib.dll \
    VoxlinkAPI.ini ReadMe.txt ReadMe.zh-TW.txt ReadMe.zh-CN.txt ReadMe.ja-JP.txt ReadMe.tr-TR.txt \
    TIF0.bin TIF2.bin TIF6.bin TI0Inv.bin TI2Inv.bin TI6Inv.bin \
    TCF0.bin TCF2.bin TCF6.bin Turkey_8x16.bin TurkeyInx.bin music1.wav music2.wav music3.wav \
    music4.wav 0.wav 1.wav 2.wav 3.wav 4.wav 5.wav 6.wav 7.wav 8.wav 9.wav star.wav pound.wav \
    NoHW.ico NoANY.ico Active.ico NoSkype.ico | sort)
check_installed() {  # product version
    local listing
    listing=$(ls "$installed" 2>/dev/null | sort)
    [ "$listing" = "$expected" ] ||
        fail "installed files differ: $(diff <(echo "$expected") <(echo "$listing") | grep '^[<>]' | tr '\n' ' ')"
    for file in "$installed"/*.{bin,wav,ico,ini}; do
        cmp -s "$file" "$bin/${file##*/}" || fail "${file##*/} is not the built file"
    done
    [ "$(installed_versions)" = "$1" ] || fail "installed products: $(installed_versions | xargs)"
    shortcut_present || fail "no Start menu shortcut"
}

step "the winget manifest of $msi"
manifest=$(cat "$(dirname "$msi")"/winget/*.installer.yaml || true)
for line in "PackageVersion: $version" "ProductCode: '$(msi_property "$msi" ProductCode)'" \
    "  InstallerSha256: $(sha256sum "$msi" | cut -d' ' -f1)"; do
    grep -qixF "$line" <<<"$manifest" || fail "the winget manifest has no line '$line'"
done

step "a signed package, installed with AUTOSTART=0"
packaging=$root/packaging/build-msi.sh
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Voxlink test" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:test \
    -out "$work/test.pfx"
VOXLINK_SIGN_PFX=$work/test.pfx VOXLINK_SIGN_PASSWORD=test \
    "$packaging" "$bin" "$version" "$work/signed.msi"
verifies() {  # the signature is intact; the chain ends at the throw-away certificate
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1
}
verifies "$work/signed.msi" || fail "the package's signature does not verify"
code=$(msiexec_code /i "$(windows_path "$work/signed.msi")" AUTOSTART=0)
[ "$code" = 0 ] || fail "msiexec /i ended with $code"
check_installed "$version"
[ -z "$(run_value)" ] || fail "Run value with AUTOSTART=0: '$(run_value)'"
# What never reaches the crash handler: Windows Error Reporting keeps a dump
# in the user's own reports folder.
[[ "$(wer_dump_folder)" =~ ^REG_EXPAND_SZ\ +%LOCALAPPDATA%\\Voxlink\\CrashReports$ ]] ||
    fail "Windows Error Reporting's DumpFolder: '$(wer_dump_folder)'"
files=$(msiinfo export "$work/signed.msi" File | tr -d '\r')
for file in "$installed"/*.exe "$installed"/*.dll; do
    name=${file##*/}
    verifies "$file" || fail "$name: no intact signature"
    listed=$(awk -F '\t' -v name="$name" '$3 == name { print $5 }' <<<"$files")
    resource=$(wine_run "$bin/winctl.exe" version "C:\\Program Files\\Voxlink\\$name" | tr -d '\r')
    [ -n "$listed" ] && [ "$listed" = "$resource" ] ||
        fail "$name: version '$resource', in the File table '$listed'"
done
# One version number: the program's version resource is the package's.
[ "$resource" = "$version.0" ] || fail "the binaries carry version $resource"
cp "$installed/Voxlink.exe" "$work/changed.exe"
byte=$(od -An -tu1 -j 4096 -N1 "$work/changed.exe")
printf "\\$(printf %03o $(((byte + 1) % 256)))" |
    dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
verifies "$installed/Voxlink.exe" && ! verifies "$work/changed.exe" ||
    fail "Voxlink.exe: a changed byte does not break its signature"

step "start the installed program and end it with Exit"
(cd "$installed" && exec "$root/scripts/wine-run.sh" 'C:\Program Files\Voxlink\Voxlink.exe') &
program=$!
if wine_run "$bin/winctl.exe" wait MainWndClass 20000; then
    wine_run "$bin/winctl.exe" command MainWndClass 40001
    code=0
    wait "$program" || code=$?
    [ "$code" = 0 ] || fail "Voxlink.exe ended with $code"
else
    fail "the installed program shows no main window"
    kill "$program" 2>/dev/null || true
fi

step "upgrade to $next"
"$packaging" "$bin" "$next" "$work/next.msi"
code=$(msiexec_code /i "$(windows_path "$work/next.msi")")
[ "$code" = 0 ] || fail "msiexec /i of $next ended with $code"
check_installed "$next"
[ -z "$(run_value)" ] || fail "the upgrade forgot AUTOSTART=0"

step "$next rebuilt, with AUTOSTART=1"
"$packaging" "$bin" "$next" "$work/rebuilt.msi"
code=$(msiexec_code /i "$(windows_path "$work/rebuilt.msi")" AUTOSTART=1)
# One product, and the command line's AUTOSTART wins over the remembered one.
[ "$(installed_versions)" = "$next" ] && [ -n "$(run_value)" ] ||
    fail "rebuilt $next ($code): products $(installed_versions | xargs), Run value '$(run_value)'"

step "refuse $version over $next"
code=$(msiexec_code /i "$(windows_path "$msi")")
# 1603, a fatal error: the launch condition's message.
[ "$code" = $((1603 % 256)) ] || fail "downgrade ended with $code"
[ "$(installed_versions)" = "$next" ] || fail "after the downgrade: $(installed_versions | xargs)"

step "uninstall"
mkdir -p "$crash_reports"
echo "a crash report" >"$crash_reports/ERRORLOG.TXT"
code=$(msiexec_code /x "$(windows_path "$work/rebuilt.msi")")
[ "$code" = 0 ] || fail "msiexec /x ended with $code"
[ ! -e "$installed" ] || fail "left in the program folder: $(ls "$installed" | xargs)"
! shortcut_present || fail "the shortcut is left"
[ -z "$(run_value)" ] || fail "the Run value is left"
[ -z "$(wer_dump_folder)" ] || fail "Windows Error Reporting's settings are left"
[ -z "$(installed_versions)" ] || fail "still installed: $(installed_versions | xargs)"
[ -f "$crash_reports/ERRORLOG.TXT" ] || fail "the crash reports are gone"

step "install interactively with LAUNCH=1"
wine_run msiexec /i "$(windows_path "$msi")" LAUNCH=1 || fail "msiexec /i LAUNCH=1 ended with $?"
[ "$(run_value)" = '"C:\Program Files\Voxlink\Voxlink.exe"' ] || fail "Run value: '$(run_value)'"
if wine_run "$bin/winctl.exe" wait MainWndClass 20000; then
    wine_run "$bin/winctl.exe" command MainWndClass 40001
    wine_run "$bin/winctl.exe" gone MainWndClass 10000 || fail "the started Voxlink ignores Exit"
else
    fail "the installation started no Voxlink"
fi

step "done"
[ "$failures" = 0 ] || exit 1

#!/usr/bin/env bash
# The headless Wine test bed: runs a Windows program in the project's own Wine
# prefix, preparing the prefix on first use.
#   wine-run.sh <program.exe> [arguments...]   runs the program, returns its exit code
#   wine-run.sh --prepare                       only prepares the prefix
# VOXLINK_WINE_DRIVER=null (default) uses Wine's null display driver: hidden
# windows, messages, timers, registry and INI files work, but there is no
# notification area. VOXLINK_WINE_DRIVER=x11 uses a virtual X server (Xvfb on
# display VOXLINK_XVFB_DISPLAY, default :97, started by xvfb.sh when none is
# alive), where the tray icon works. Each driver has its own prefix, because
# the driver is fixed when the prefix's wineserver starts.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
driver=${VOXLINK_WINE_DRIVER:-null}
case "$driver" in
    null | x11) ;;
    *) echo "wine-run: unknown driver '$driver' (null or x11)" >&2; exit 2 ;;
esac

export WINEPREFIX=${VOXLINK_WINEPREFIX:-$root/build/wine/$driver}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs: a modal window would block headless runs.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ "$driver" = x11 ]; then
    export DISPLAY=${VOXLINK_XVFB_DISPLAY:-:97}
    started=$("$root/scripts/xvfb.sh" "$DISPLAY")
    if [ -n "$started" ] && [ -f "$WINEPREFIX/.voxlink-ready-2" ]; then
        # A wineserver left from an earlier server holds a dead connection.
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
else
    unset DISPLAY
fi

# The marker names the set-up's version: a prefix made by an older set-up
# (before the CJK font links) is made again.
prepare() {
    [ -f "$WINEPREFIX/.voxlink-ready-2" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.voxlink-ready-2" ]; then
        rm -rf "$WINEPREFIX"
        wineboot --init >/dev/null 2>&1
        wineserver -w
        # The display driver must be set before the wineserver that serves the
        # test runs starts; the server is restarted below to pick it up.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$driver" /f >/dev/null 2>&1
        # No sound driver: Wine has no sound device here, and the ALSA driver
        # would only print "cannot find card" noise.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null 2>&1
        # Chinese and Japanese glyphs for the dialog fonts, as Windows links
        # them to its CJK fonts: WenQuanYi (Debian fonts-wqy-microhei).
        for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Segoe UI' 'Microsoft Sans Serif'; do
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
        done
        wineserver -k || true
        wineserver -w
        touch "$WINEPREFIX/.voxlink-ready-2"
    fi
    flock -u 9
    exec 9>&-
}

prepare
if [ "${1:-}" = --prepare ]; then
    exit 0
fi
if [ $# -eq 0 ]; then
    echo "usage: wine-run.sh <program.exe> [arguments...] | --prepare" >&2
    exit 2
fi
exec wine "$@"

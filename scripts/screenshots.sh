#!/usr/bin/env bash
# Screenshots of the program's dialogs and tray menu in each of its languages, at
# 96, 120 and 144 DPI (<shot>-<language>-<dpi>dpi.png), taken
# under a virtual X server with Wine's X11 driver and saved as PNGs:
#   scripts/screenshots.sh [bin folder] [output folder]
# Defaults: build/win/bin and build/win/screenshots. Build dialog_gallery first
# (cmake --build --preset win --target dialog_gallery). Each DPI has its own
# Wine prefix (build/wine/x11-shots-<dpi>), where Wine draws the window frames
# itself, as there is no window manager on the virtual screen.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:-$root/build/win/bin}" && pwd)
out=${2:-$root/build/win/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
gallery=$bin/dialog_gallery.exe
[ -f "$gallery" ] || { echo "screenshots: $gallery is missing" >&2; exit 1; }

# A display of our own, so that no other program's windows get in the picture.
export VOXLINK_WINE_DRIVER=x11
export VOXLINK_XVFB_DISPLAY=${VOXLINK_SHOTS_DISPLAY:-:147}
xvfb_pid=$("$root/scripts/xvfb.sh" "$VOXLINK_XVFB_DISPLAY")
work=$(mktemp -d)
cleanup() {
    for dpi in 96 120 144; do
        WINEPREFIX=$root/build/wine/x11-shots-$dpi wineserver -k 2>/dev/null || true
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wine_in() {  # runs wine in the prefix of the DPI in $dpi
    VOXLINK_WINEPREFIX=$root/build/wine/x11-shots-$dpi "$root/scripts/wine-run.sh" "$@"
}

for dpi in 96 120 144; do
    prefix=$root/build/wine/x11-shots-$dpi
    if [ ! -f "$prefix/.voxlink-shots-$dpi" ]; then
        wine_in --prepare
        wine_in reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
        wine_in reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
            >/dev/null 2>&1
        wine_in reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f \
            >/dev/null 2>&1
        # Wine's own fonts (Debian fonts-wine): Marlett draws the caption buttons.
        cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
        touch "$prefix/.voxlink-shots-$dpi"
    fi
    for shot_language in {about,volume,advanced,audio,menu}-{en-US,zh-TW,zh-CN,ja-JP,tr-TR}; do
        shot=${shot_language%%-*}
        language=${shot_language#*-}
        log=$work/$shot_language-$dpi.txt
        wine_in "$gallery" "$shot" 3 "$language" >"$log" 2>/dev/null &
        pid=$!
        geometry=""
        for _ in $(seq 200); do
            line=$(grep -m1 '^window ' "$log" 2>/dev/null || true)
            if [ -n "$line" ]; then
                read -r _ x y w h _ shown_dpi <<<"$line"
                geometry="${w}x${h}+${x}+${y}"
                break
            fi
            sleep 0.1
        done
        if [ -z "$geometry" ]; then
            echo "screenshots: $shot_language did not appear at $dpi DPI" >&2
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            continue
        fi
        sleep 1  # let it paint
        import -display "$VOXLINK_XVFB_DISPLAY" -window root -crop "$geometry" +repage \
            "$out/$shot_language-${dpi}dpi.png"
        echo "screenshots: $out/$shot_language-${dpi}dpi.png ($geometry, Wine reports $shown_dpi DPI)"
        wait "$pid" || true
    done
done

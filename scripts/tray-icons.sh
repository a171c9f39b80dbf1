#!/usr/bin/env bash
# Pictures of the four tray icons side by side on a light and a dark taskbar,
# at 96 DPI (the 16-pixel images), 144 DPI (24 pixels) and 192 DPI (32 pixels), made with
# ImageMagick from the .ico files the build draws:
#   scripts/tray-icons.sh [bin folder] [output folder]
# Defaults: build/win/bin and build/win/screenshots; writes
# tray-icons-96dpi.png, tray-icons-144dpi.png and tray-icons-192dpi.png.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${1:-$root/build/win/bin}
out=${2:-$root/build/win/screenshots}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

icons=(NoHW NoANY Active NoSkype)
# Wine's Tahoma (Debian fonts-wine, installed by setup.sh) for the labels.
font=/usr/share/wine/fonts/tahoma.ttf
for icon in "${icons[@]}"; do
    [ -f "$bin/$icon.ico" ] || { echo "tray-icons: $bin/$icon.ico is missing" >&2; exit 1; }
done

# dpi, index of the image in each file, taskbar height in pixels
for shot in "96 0 40" "144 2 60" "192 3 80"; do
    read -r dpi index cell <<<"$shot"
    rows=()
    for bar in '#f3f3f3' '#202020'; do
        cells=()
        for icon in "${icons[@]}"; do
            convert -size "${cell}x${cell}" "xc:$bar" "$bin/$icon.ico[$index]" \
                -gravity center -composite "$work/$icon-$bar.png"
            cells+=("$work/$icon-$bar.png")
        done
        convert "${cells[@]}" +append "$work/row-$bar.png"
        rows+=("$work/row-$bar.png")
    done
    labels=()
    for icon in "${icons[@]}"; do
        convert -size "${cell}x$((cell / 2))" xc:white -gravity center -font "$font" \
            -pointsize $((cell / 5)) -annotate +0+0 "$icon" "$work/label-$icon.png"
        labels+=("$work/label-$icon.png")
    done
    convert "${labels[@]}" +append "$work/labels.png"
    convert "$work/labels.png" "${rows[@]}" -append +repage "$out/tray-icons-${dpi}dpi.png"
    echo "tray-icons: $out/tray-icons-${dpi}dpi.png"
done

#!/usr/bin/env bash
# Runs a Windows program at another DPI, in a Wine prefix of that DPI's own:
#   at-dpi.sh <dpi> <program.exe> [arguments...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dpi=$1
shift
export VOXLINK_WINEPREFIX=$root/build/wine/null-$dpi
if [ ! -f "$VOXLINK_WINEPREFIX/.voxlink-dpi" ]; then
    "$root/scripts/wine-run.sh" --prepare
    "$root/scripts/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$dpi" /f >/dev/null 2>&1
    WINEPREFIX=$VOXLINK_WINEPREFIX wineserver -w 2>/dev/null || true
    touch "$VOXLINK_WINEPREFIX/.voxlink-dpi"
fi
exec "$root/scripts/wine-run.sh" "$@"

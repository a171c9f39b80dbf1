#!/usr/bin/env bash
# The main job: builds the Windows program and runs it headless under Wine,
# shows that it is up, then ends it through its own exit command.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
cmake --preset win >/dev/null
cmake --build --preset win

bin=build/win/bin
wine_run=scripts/wine-run.sh
# With the default configuration (SupportSky=1) the program needs a notification
# area for its tray icon, which only Wine's X11 driver (on a virtual X server) has.
export VOXLINK_WINE_DRIVER=${VOXLINK_WINE_DRIVER:-x11}
$wine_run --prepare

echo "Starting Voxlink.exe under Wine"
$wine_run "$bin/Voxlink.exe" &
voxlink=$!

if ! $wine_run "$bin/winctl.exe" wait MainWndClass 30000; then
    kill "$voxlink" 2>/dev/null || true
    exit 1
fi
echo "Voxlink is running: its main window (class MainWndClass) is up"

$wine_run "$bin/winctl.exe" command MainWndClass 40001
status=0
wait "$voxlink" || status=$?
echo "Voxlink ended with exit code $status"
exit "$status"

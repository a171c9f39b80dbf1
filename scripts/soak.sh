#!/usr/bin/env bash
# The soak: builds Voxlink and voxlink_soak.exe, then drives the program under
# headless Wine through 1,000 call cycles and 100 unplug / plug-in cycles
# beside the Skype client simulator and the virtual handset, sampling its
# handles, threads, USER and GDI objects and private bytes every 50 cycles.
# Arguments go to the soak (--calls N, --plugs M, --every K); exits with its
# status: 0 when every cycle completed and no figure grew past its bound.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake --preset win >/dev/null
cmake --build --preset win --target voxlink_soak
exec scripts/wine-run.sh build/win/bin/voxlink_soak.exe "$@"

#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test. Prints the
# time each stage took; the output ends with the Windows tests' ctest summary.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

stage() {
    local name=$1
    shift
    local start=$SECONDS
    echo "== $name"
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

stage "set-up" scripts/setup.sh
stage "configure host" cmake --preset host
stage "build host" cmake --build --preset host
stage "configure win" cmake --preset win
stage "build win" cmake --build --preset win
stage "host tests" ctest --preset host
echo "== win tests"
ctest --preset win

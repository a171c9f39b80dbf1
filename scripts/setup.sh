#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang-format
    g++-mingw-w64-x86-64-posix
    wine wine64
    libgtest-dev libgmock-dev googletest
    xvfb xauth
    unifont libbenchmark-dev clang libclang-rt-14-dev
    imagemagick x11-apps fonts-wine
    fonts-wqy-microhei  # Chinese and Japanese glyphs for the dialogs' fit tests and screenshots
    wixl msitools osslsigncode openssl
    libz-mingw-w64-dev zlib1g-dev unzip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

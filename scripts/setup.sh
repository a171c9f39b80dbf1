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
    locales             # the Japanese and Turkish users of the language tests
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

# The user locales the language tests run the program in (Wine takes the
# user's language from them).
missing_locales=()
for wanted in ja_JP tr_TR; do
    locale -a 2>/dev/null | grep -qix "$wanted.utf8" || missing_locales+=("$wanted")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
    echo "setup: generating the locales ${missing_locales[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    for wanted in "${missing_locales[@]}"; do
        grep -qx "$wanted.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$wanted.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
    done
    $sudo locale-gen >/dev/null
fi

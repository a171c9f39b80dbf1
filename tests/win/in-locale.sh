#!/usr/bin/env bash
# Runs a Windows program as a user of another locale, in a Wine prefix made in
# that locale (Wine takes the user's language from it):
#   in-locale.sh <locale, e.g. ja_JP.UTF-8> <program.exe> [arguments...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export LC_ALL=$1 LANG=$1
shift
export VOXLINK_WINEPREFIX=$root/build/wine/null-$LANG
exec "$root/scripts/wine-run.sh" "$@"

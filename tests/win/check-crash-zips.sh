#!/usr/bin/env bash
# Tests the report.zip that each crash case of shell_win_test left:
# check-crash-zips.sh <crash test folder> <case>... Each case's folder holds
# one report whose zip unzip accepts, with the log and the dump inside.
set -euo pipefail
root=$1
shift
for name in "$@"; do
    zips=("$root/$name"/Voxlink/CrashReports/*/report.zip)
    if [ ${#zips[@]} -ne 1 ] || [ ! -f "${zips[0]}" ]; then
        echo "$name: expected one report.zip, found: ${zips[*]}"
        exit 1
    fi
    unzip -tq "${zips[0]}"
    [ "$(unzip -Z1 "${zips[0]}" | tr '\n' ' ')" = "ERRORLOG.TXT CRASH.DMP " ] ||
        { echo "$name: wrong entries"; unzip -Z1 "${zips[0]}"; exit 1; }
    echo "$name: ${zips[0]#"$root"/} tests fine"
done

#!/usr/bin/env bash
# The end-to-end benchmark (voxlink_bench.exe under headless Wine) and, during
# its idle phase, the wake-ups and CPU of Voxlink.exe and of a baseline Win32
# program (idle_baseline.exe: a hidden window and a message loop) counted from
# the Linux side: each Wine thread is a Linux thread, and its voluntary and
# involuntary context switches are its wake-ups.
# Usage: scripts/bench.sh [--reps N] [--idle SECONDS]   (defaults 100 and 30)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

reps=100
idle=30
while [ $# -gt 0 ]; do
    case $1 in
        --reps) reps=$2; shift 2 ;;
        --idle) idle=$2; shift 2 ;;
        *) echo "usage: $0 [--reps N] [--idle SECONDS]" >&2; exit 2 ;;
    esac
done

cmake --preset win >/dev/null
cmake --build --preset win --target voxlink_bench >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
scripts/wine-run.sh build/win/bin/voxlink_bench.exe --reps "$reps" --idle "$idle" >"$out" 2>&1 &
bench=$!

# The Linux process of a Windows program by its file name.
pid_of() { pgrep -f "$1" | head -n 1 || true; }
# Context switches of every thread, and CPU clock ticks (user + system).
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'
}
ticks() { awk '{ print $14 + $15 }' /proc/"$1"/stat 2>/dev/null || echo 0; }
# One line per thread: its id, its Linux name and its context switches.
thread_switches() {
    for task in /proc/"$1"/task/*; do
        awk -v id="${task##*/}" -v name="$(cat "$task/comm" 2>/dev/null)" \
            '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print id, name, n + 0 }' \
            "$task/status" 2>/dev/null || true
    done
}

until grep -q '^idle phase:' "$out"; do
    if ! kill -0 "$bench" 2>/dev/null; then
        cat "$out"
        echo "bench.sh: voxlink_bench ended before its idle phase" >&2
        exit 1
    fi
    sleep 0.5
done
program=$(pid_of 'voxshell_e2e_bench.Voxlink\.exe')
handler=$(pid_of 'voxshell_e2e_bench.VoxlinkCrashHandler\.exe')
baseline=$(pid_of 'idle_baseline\.exe')
if [ -z "$program" ] || [ -z "$baseline" ]; then
    echo "bench.sh: Voxlink.exe (${program:-not found}) or idle_baseline.exe" \
        "(${baseline:-not found}) is not running" >&2
    wait "$bench" || true
    cat "$out"
    exit 1
fi
s0=$(switches "$program"); t0=$(ticks "$program")
b0=$(switches "$baseline"); u0=$(ticks "$baseline")
threads0=$(thread_switches "$program")
h0=$(switches "${handler:-0}")
handler0=$(thread_switches "${handler:-0}")
sleep "$((idle - 2))"
s1=$(switches "$program"); t1=$(ticks "$program")
b1=$(switches "$baseline"); u1=$(ticks "$baseline")
threads1=$(thread_switches "$program")
h1=$(switches "${handler:-0}")
handler1=$(thread_switches "${handler:-0}")
wait "$bench" || { cat "$out"; exit 1; }
cat "$out"
hz=$(getconf CLK_TCK)
seconds=$((idle - 2))
awk -v s="$((s1 - s0))" -v t="$((t1 - t0))" -v b="$((b1 - b0))" -v u="$((u1 - u0))" \
    -v h="$((h1 - h0))" -v secs="$seconds" -v hz="$hz" -v handler="${handler:-}" 'BEGIN {
    printf "\nidle for %d s, counted from the Linux side:\n", secs
    printf "| %-18s | %14s | %8s |\n", "program", "wake-ups / s", "CPU %"
    printf "| %-18s | %14.1f | %8.3f |\n", "Voxlink.exe", s / secs, 100 * t / hz / secs
    if (handler != "") printf "| %-18s | %14.1f | %8s |\n", "its crash handler", h / secs, ""
    printf "| %-18s | %14.1f | %8.3f |\n", "idle_baseline.exe", b / secs, 100 * u / hz / secs
}'
# Every thread of Voxlink.exe and of its crash handler that woke during the
# idle phase (Wine's own threads among them), by its Linux thread id and name.
woke() {
    awk -v secs="$seconds" 'NR == FNR { before[$1] = $NF; next }
        { n = $NF - before[$1]; if (n > 0) printf "  %-8s %-16s %6.2f\n", $1, $2, n / secs }' \
        <(echo "$1") <(echo "$2")
}
echo "Voxlink.exe threads that woke (wake-ups / s):"
woke "$threads0" "$threads1"
echo "crash handler threads that woke (wake-ups / s):"
woke "$handler0" "$handler1"

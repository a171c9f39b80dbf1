#!/usr/bin/env bash
# Makes sure a virtual X server (Xvfb) is serving a display:
#   xvfb.sh :N
# Leaves a live server alone and prints nothing; otherwise starts one in the
# background, detached from the caller, and prints its process id. A server
# that ended without cleaning up (killed, or the machine's processes ended
# while /tmp stayed) leaves its lock file and socket behind; they are removed,
# as a client would otherwise connect to a socket nobody listens on.
# Exits 1 when no server is up after 10 s.
set -euo pipefail

display=${1:?usage: xvfb.sh :N}
number=${display#:}
lock=/tmp/.X$number-lock
socket=/tmp/.X11-unix/X$number

server_alive() {
    local pid
    pid=$(tr -dc 0-9 <"$lock" 2>/dev/null) || return 1
    [ -n "$pid" ] && [ -S "$socket" ] && kill -0 "$pid" 2>/dev/null &&
        grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null
}

# Two test programs may ask for the same display at once.
mkdir -p /tmp/.voxlink
exec 8>"/tmp/.voxlink/xvfb-$number.lock"
flock 8

server_alive && exit 0
rm -f "$lock" "$socket"
setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 8>&- &
pid=$!
for _ in $(seq 100); do
    if server_alive; then
        echo "$pid"
        exit 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
echo "xvfb: no X server came up on $display" >&2
exit 1

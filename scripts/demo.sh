#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated midspan and runs Spanmon against it.
# The simulator's serial port appears as ttyV0 under "USB/soft RS232"; as root the simulator also
# answers SNMP on 127.0.0.2. The simulator stops when Spanmon exits.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build

sim=build/sim/midspan/midspan-sim
link=/dev/ttyV0
args=(--serial-link "$link")
if [ "$(id -u)" -eq 0 ]; then
    args+=(--snmp udp:127.0.0.2:161 --read-community public --write-community private)
else
    echo "demo: not root, so the simulator's serial link goes to \$HOME/ttyV0 and SNMP stays off" >&2
    link=$HOME/ttyV0
    args=(--serial-link "$link")
fi

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

if [ -x "$sim" ]; then
    log=$(mktemp)
    "$sim" "${args[@]}" >"$log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && break
        kill -0 "$sim_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
        sleep 0.1
    done
    grep -q '^ready' "$log" || { echo "demo: the midspan simulator did not come up" >&2; exit 1; }
    echo "demo: simulated midspan on $link (choose \"USB/soft RS232\", then \"Search PoE\")"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found; running on a virtual X server (xvfb-run)" >&2
    xvfb-run -a build/app/spanmon
else
    build/app/spanmon
fi

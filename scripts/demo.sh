#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated midspan and runs Spanmon against it.
# The simulator's serial port appears as ttyV0 under "USB/soft RS232", and it answers SNMP on
# 127.0.0.2. The simulator stops when Spanmon exits.
set -euo pipefail
cd "$(dirname "$0")/.."

link=/dev/ttyV0
if [ "$(id -u)" -ne 0 ]; then
    echo "demo: the simulated midspan's port is linked at $link and answers SNMP on port 161," >&2
    echo "demo: both of which need root: run it as  sudo -E bash scripts/demo.sh" >&2
    exit 1
fi

scripts/install-deps.sh
scripts/build.sh build

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

log=$(mktemp)
build/sim/midspan/midspan-sim --serial-link "$link" --snmp udp:127.0.0.2:161 \
    --read-community public --write-community private >"$log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^ready' "$log" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.1
done
grep -q '^ready' "$log" || { echo "demo: the midspan simulator did not come up" >&2; exit 1; }
echo "demo: simulated midspan on $link (choose \"USB/soft RS232\", then \"Search PoE\")"
echo "demo: a firmware file to load with \"Firmware Download\": sim/firmware/sample-fw-2.7.s19"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found; running on a virtual X server (xvfb-run)" >&2
    xvfb-run -a build/app/spanmon
else
    build/app/spanmon
fi

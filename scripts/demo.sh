#!/usr/bin/env bash
# Installs what is missing, builds, starts two simulated midspans and runs Spanmon against them.
# The 24-port one answers SNMP on 127.0.0.2 and its serial port appears as ttyV0 under
# "USB/soft RS232"; the 8-port one answers SNMP on 127.0.0.3. Spanmon runs in build/demo, whose
# Link.ini covers both addresses, so "Search PoE" on the default link lists both. The simulators
# stop when Spanmon exits.
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

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null || true; }
trap cleanup EXIT

# Communities public (read) and private (set); SNMPv3 user spanmon, MD5 "authpass1", DES "privpass1".
credentials=(--read-community public --write-community private
             --v3-user spanmon --v3-auth authpass1 --v3-priv privpass1)

start_sim() {
    local log
    log=$(mktemp)
    build/sim/midspan/midspan-sim "$@" "${credentials[@]}" >"$log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && return 0
        kill -0 "${pids[-1]}" 2>/dev/null || { cat "$log" >&2; exit 1; }
        sleep 0.1
    done
    echo "demo: a midspan simulator did not come up" >&2
    exit 1
}

start_sim --serial-link "$link" --snmp udp:127.0.0.2:161 --ports 24
start_sim --snmp udp:127.0.0.3:161 --ports 8 --model POE914U-8HP

# Spanmon keeps Link.ini (and the SNMPv3 boot counter) in the folder it runs in.
mkdir -p build/demo
cd build/demo
umask 077
cat >Link.ini <<'INI'
[IPAdress]
IP=127.0.0.2
EndIP=3
[Community]
Read=public
Set=private
[SNMPv3]
Version=
User=spanmon
AuthPassword=authpass1
PrivPassword=privpass1
INI
echo "demo: midspans on 127.0.0.2 (24 ports, also serial $link) and 127.0.0.3 (8 ports);"
echo "demo: press \"Search PoE\" and pick one"
echo "demo: a firmware file to load with \"Firmware Download\" (serial link): sim/firmware/sample-fw-2.7.s19"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found; running on a virtual X server (xvfb-run)" >&2
    xvfb-run -a ../app/spanmon
else
    ../app/spanmon
fi

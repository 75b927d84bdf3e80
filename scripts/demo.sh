#!/usr/bin/env bash
# Installs what is missing, builds, starts two simulated midspans and runs Spanmon against them.
# They take a block of loopback addresses of their own, 127.<n>.0.0/16, held as the test programs
# hold theirs, so that a test run or a second demo on the machine meets none of them: the 24-port
# one answers SNMP on 127.<n>.0.2 and its serial port appears as ttyV<n> under "USB/soft RS232";
# the 8-port one answers SNMP on 127.<n>.0.3. Spanmon runs in build/demo/<n>, whose Link.ini covers
# both addresses, so "Search PoE" on the default link lists both. The simulators stop when Spanmon
# exits.
#
# It builds and runs Spanmon as the user who runs it: only the simulators need root (SNMP on port
# 161, the link at /dev/ttyV<n>), and get it through sudo, so no root-owned build/ is left behind.
#
# `--check` does all of that without an operator: it asks each simulated midspan for its status
# with spanmon-cli over SNMP and the serial link, runs Spanmon for a few seconds on a virtual X
# server, stops everything and fails when any of it failed.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
case "${1:-}" in
--check) check=true ;;
"") ;;
*)
    echo "usage: $0 [--check]" >&2
    exit 2
    ;;
esac

# Started with sudo: the build is still the user's.
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR \
        bash "$0" "$@"
fi
as_root=()
# Set once the demo runs on its block: it has been built and has told about sudo already.
on_block=${SPANMON_DEMO_ON_BLOCK:-}
if [ "$(id -u)" -ne 0 ] && [ -n "$on_block" ]; then
    as_root=(sudo)
elif [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "demo: the simulated midspans need root; install sudo (as root: apt-get install sudo) or run as root" >&2
        exit 1
    fi
    as_root=(sudo)
    echo "demo: the simulated midspans answer SNMP on port 161 and link their serial port at /dev/ttyV<n>;"
    echo "demo: sudo starts them (and installs missing packages)"
    sudo -v
fi

if [ -z "$on_block" ]; then
    scripts/install-deps.sh
    scripts/build.sh build
    exec build/tests/support/loopback-run env SPANMON_DEMO_ON_BLOCK=yes bash scripts/demo.sh "$@"
fi
block=${SPANMON_LOOPBACK_BLOCK%% *}
link=/dev/ttyV$block
big=127.$block.0.2
small=127.$block.0.3

pids=()
# The simulators' output, kept for the failure of one and removed at the end.
logs=$(mktemp -d)
cleanup() {
    if [ ${#pids[@]} -gt 0 ]; then "${as_root[@]}" kill "${pids[@]}" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$logs"
}
trap cleanup EXIT

# Communities public (read) and private (set); SNMPv3 user spanmon, MD5 "authpass1", DES "privpass1".
credentials=(--read-community public --write-community private
             --v3-user spanmon --v3-auth authpass1 --v3-priv privpass1)

start_sim() {
    local log
    log=$(mktemp -p "$logs")
    "${as_root[@]}" build/sim/midspan/midspan-sim "$@" "${credentials[@]}" >"$log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && return 0
        # ps rather than kill -0: a simulator started through sudo is root's.
        ps -p "${pids[-1]}" >/dev/null || { cat "$log" >&2; exit 1; }
        sleep 0.1
    done
    echo "demo: a midspan simulator did not come up" >&2
    exit 1
}

start_sim --serial-link "$link" --snmp "udp:$big:161" --ports 24
# The simulator's end of the line is root's; Spanmon opens it as this user.
"${as_root[@]}" chown "$(id -u)" "$(readlink -f "$link")"
start_sim --snmp "udp:$small:161" --ports 8 --model POE914U-8HP

# Spanmon keeps Link.ini (and the SNMPv3 boot counter) in the folder it runs in.
mkdir -p "build/demo/$block"
cd "build/demo/$block"
umask 077
cat >Link.ini <<INI
[IPAdress]
IP=$big
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
echo "demo: midspans on $big (24 ports, also serial ${link#/dev/}) and $small (8 ports);"
echo "demo: press \"Search PoE\" and pick one"
echo "demo: a firmware file to load with \"Firmware Download\" (serial link): sim/firmware/sample-fw-2.7.s19"

if $check; then
    # Spanmon finds Link.ini (its communities) in this folder, like the window.
    ../../cli/spanmon-cli status --snmp "$big" >/dev/null
    ../../cli/spanmon-cli status --snmp "$small" >/dev/null
    ../../cli/spanmon-cli status --serial "$link" >/dev/null
    # Still running when its time is up: Spanmon started.
    rc=0
    xvfb-run -a timeout 5 ../../app/spanmon || rc=$?
    if [ $rc -ne 124 ]; then
        echo "demo: Spanmon ended by itself (exit code $rc)" >&2
        exit 1
    fi
    echo "demo: both midspans answered over SNMP, the 24-port one also over $link; Spanmon started"
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found; running on a virtual X server (xvfb-run)" >&2
    xvfb-run -a ../../app/spanmon
else
    ../../app/spanmon
fi

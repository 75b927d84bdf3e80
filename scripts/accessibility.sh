#!/usr/bin/env bash
# Starts Spanmon (or the program given, e.g. build/finder/ethfind Ethfind) with the accessibility bus
# on, on a virtual X server, and prints what a screen reader finds; fails on unnamed controls. Further
# arguments are steps, each followed by another look at the program (scripts/accessibility.py names
# them: a button to press, a list entry to choose, a control's context menu). Without arguments
# Spanmon is checked twice: alone ("Power History" and "Setting" pressed), then, as root, in a
# session with a simulated midspan on the network link (a port lamp's menu and "Power-cycle...").
# --midspan (first, as root) runs the program in a network namespace of its own beside midspan-sim,
# whose SNMP agent its Link.ini names.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
    status=0
    "$0" build/app/spanmon Spanmon "Power History" Setting || status=1
    if [ "$(id -u)" -eq 0 ]; then
        "$0" --midspan build/app/spanmon Spanmon "click:Search PoE" "choose:Found devices" "menu:Port 3 status" \
            "menu:Port 3 status>Power-cycle port 3" click:Cancel "Power-cycle..." || status=1
    else
        echo "The session with a simulated midspan was not checked: its SNMP agent needs root."
    fi
    exit $status
fi
midspan=0
if [ "$1" = "--midspan" ]; then
    midspan=1
    shift
fi
program=$(realpath -m "$1")
name=${2:-Spanmon}
presses=("${@:3}")
scripts/install-deps.sh
[ -x "$program" ] || scripts/build.sh build

workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT
if [ $midspan -eq 1 ]; then
    [ -n "${SPANMON_NAMESPACE:-}" ] || exec env SPANMON_NAMESPACE=1 unshare -n "$0" --midspan "$@"
    ip link set lo up
    sim=${program%/app/spanmon}/sim/midspan/midspan-sim
    printf '[IPAdress]\nIP=127.0.0.2\nEndIP=\n[Community]\nRead=public\nSet=private\n' >"$workdir/Link.ini"
    coproc SIM { exec "$sim" --snmp udp:127.0.0.2:161 --read-community public --write-community private \
        --ports 24; }
    trap 'kill $SIM_PID 2>/dev/null; rm -rf "$workdir"' EXIT
    read -r -t 10 ready <&"${SIM[0]}" && [ "$ready" = ready ] || { echo "midspan-sim did not start" >&2; exit 1; }
fi

source scripts/x-display.sh
claim_display
xvfb-run -n "$display" dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    (cd "$1" && QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$0") >/dev/null 2>&1 &
    program=$!
    /usr/bin/python3 scripts/accessibility.py "${@:2}"
    status=$?
    kill $program 2>/dev/null
    exit $status' "$program" "$workdir" "$name" "${presses[@]}"

#!/usr/bin/env bash
# Starts Spanmon (or the program given, e.g. build/finder/ethfind Ethfind) with the accessibility bus
# on, on a virtual X server, and prints what a screen reader finds; fails on unnamed controls. Further
# arguments name buttons to press one after the other, each followed by another look at the program
# (the windows they open included). Without arguments Spanmon is checked, then "Setting" is pressed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
    set -- build/app/spanmon Spanmon Setting
fi
program=$1
name=${2:-Spanmon}
presses=("${@:3}")
scripts/install-deps.sh
[ -x "$program" ] || scripts/build.sh build

xvfb-run -a dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$0" >/dev/null 2>&1 &
    program=$!
    /usr/bin/python3 scripts/accessibility.py "$@"
    status=$?
    kill $program 2>/dev/null
    exit $status' "$program" "$name" "${presses[@]}"

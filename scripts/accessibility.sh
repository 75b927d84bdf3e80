#!/usr/bin/env bash
# Starts Spanmon (or the program given, e.g. build/finder/ethfind Ethfind) with the accessibility bus
# on, on a virtual X server, and prints what a screen reader finds; fails on unnamed controls. Further
# arguments name buttons to press one after the other, each followed by another look at the program
# (the windows they open included). Without arguments Spanmon is checked, then "Power History" and
# "Setting" are pressed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
    set -- build/app/spanmon Spanmon "Power History" Setting
fi
program=$1
name=${2:-Spanmon}
presses=("${@:3}")
scripts/install-deps.sh
for p in at-spi2-core python3-pyatspi dbus-x11; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
done
[ -x "$program" ] || scripts/build.sh build

xvfb-run -a dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$0" >/dev/null 2>&1 &
    program=$!
    /usr/bin/python3 scripts/accessibility.py "$@"
    status=$?
    kill $program 2>/dev/null
    exit $status' "$program" "$name" "${presses[@]}"

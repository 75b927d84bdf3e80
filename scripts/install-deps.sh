#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, and the packages named as arguments.
# Idempotent: asks apt only for packages that are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev libgl-dev
    libsnmp-dev snmp snmpd
    fonts-crosextra-carlito fonts-liberation
    iproute2 xvfb xauth xdg-utils
    librsvg2-bin desktop-file-utils appstream
    at-spi2-core python3-pyatspi dbus-x11
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The tests start snmpd themselves, with a private configuration on an address of their own; the
# package's system service is not wanted.
if printf '%s\n' "${missing[@]}" | grep -qx snmpd; then
    if [ -d /run/systemd/system ]; then
        $sudo systemctl disable --now snmpd >/dev/null 2>&1 || true
    else
        $sudo service snmpd stop >/dev/null 2>&1 || true
        $sudo update-rc.d snmpd disable >/dev/null 2>&1 || true
    fi
fi

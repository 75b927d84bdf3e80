#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, and the packages named as arguments.
# Idempotent: asks apt only for packages that are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config mold clang-format
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
    libsnmp-dev snmp snmpd libfontconfig-dev
    prometheus prometheus-snmp-exporter prometheus-alertmanager smitools python3-yaml
    fonts-crosextra-carlito fonts-liberation
    iproute2 xvfb xauth xdg-utils
    librsvg2-bin desktop-file-utils appstream
    at-spi2-core python3-pyatspi dbus-x11
    python3-jsonschema zsh fish
    sudo
    "$@"
)

# One query for them all (one a package added up to a minute on a busy machine). Virtual package
# names never count as installed: the list names the real ones.
mapfile -t missing < <(comm -23 <(printf '%s\n' "${packages[@]}" | sort -u) \
    <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null |
        awk '$1 == "ii" { print $2 }' | sort -u))
# The monitoring tests fetch the IETF base MIB modules with npm; a Node.js from elsewhere may
# already bring it, and Debian's npm would clash with it.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The tests start snmpd, the SNMP exporter, Prometheus and Alertmanager themselves, with private
# configurations on addresses of their own; the packages' system services are not wanted.
for service in snmpd prometheus prometheus-snmp-exporter prometheus-alertmanager; do
    printf '%s\n' "${missing[@]}" | grep -qx "$service" || continue
    if [ -d /run/systemd/system ]; then
        $sudo systemctl disable --now "$service" >/dev/null 2>&1 || true
    else
        $sudo service "$service" stop >/dev/null 2>&1 || true
        $sudo update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
done

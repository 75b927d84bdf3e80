#!/usr/bin/env bash
# What a screen reader finds in Spanmon, its History window (loaded from the module beside the
# program) and its link settings dialog (scripts/accessibility.sh), as part of the suite. It needs
# the accessibility bus and a virtual X server, which scripts/install-deps.sh installs. Where they
# are missing the check is skipped, though never as root or in CI: there the suite installs them,
# and a skip would hide the check.
set -euo pipefail
program=$1
missing=()
for p in at-spi2-core python3-pyatspi dbus-x11 xvfb; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "missing ${missing[*]}: bash scripts/install-deps.sh installs them"
    if [ "$(id -u)" -eq 0 ] || [ "${CI:-}" = "true" ]; then
        exit 1
    fi
    exit 77
fi
exec bash "$(dirname "$0")/../../scripts/accessibility.sh" "$program" Spanmon "Power History" Setting

#!/usr/bin/env bash
# Builds the Debian packages and checks them as an operator would meet them: their file lists,
# lintian, desktop-file-validate and appstreamcli; installs them with apt and runs the programs from
# /usr/bin; then, as a normal user made for the test, ethfind finds simulated modules in a private
# network and spanmon (started as its menu entry starts it) finds a simulated midspan on a serial port
# the user may open as a member of dialout. Needs root. Purges the packages and removes the user, the
# network namespaces and the simulators at the end, also when a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
    echo "package-test: needs root (apt, network namespaces, a user account)" >&2
    exit 1
fi

started=$(date +%s)
user=pkgtest
link=/dev/ttyV87
netns_window=pkgtest-window
netns_modules=pkgtest-modules
work=$(mktemp -d)
chmod 755 "$work"
sim_pids=()

step() { echo "package-test: $*"; }
fail() {
    echo "package-test: FAILED: $*" >&2
    exit 1
}
# prints TEXT COMMAND...: the command succeeds and its output holds TEXT. The output is taken
# whole first: `command | grep -q` under pipefail fails at random when grep quits before the
# command has written its last bytes.
prints() {
    local text=$1 out
    shift
    out=$("$@") || return 1
    grep -q -F -- "$text" <<<"$out"
}

cleanup() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    id "$user" >/dev/null 2>&1 && userdel --force --remove "$user" 2>/dev/null
    for ns in "$netns_window" "$netns_modules"; do
        ip netns delete "$ns" 2>/dev/null || true
    done
    rm -f "$link" "/run/lock/LCK..$(basename "$link")"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq spanmon spanmon-simulators >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

scripts/install-deps.sh lintian file at-spi2-core python3-pyatspi dbus-x11

step "building the packages"
scripts/package.sh >"$work/package.log" 2>&1 || { cat "$work/package.log" >&2; fail "scripts/package.sh"; }
version=$(sed -n 's/^project(Spanmon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
programs_deb=dist/spanmon_${version}_${arch}.deb
simulators_deb=dist/spanmon-simulators_${version}_${arch}.deb
[ -f "$programs_deb" ] && [ -f "$simulators_deb" ] || fail "no $programs_deb and $simulators_deb"

step "file lists"
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort; }
expected_programs=$(
    sort <<EOF
/usr/bin/ethfind
/usr/bin/spanmon
/usr/bin/spanmon-cli
/usr/share/bash-completion/completions/spanmon-cli
/usr/share/fish/vendor_completions.d/spanmon-cli.fish
/usr/share/zsh/vendor-completions/_spanmon-cli
/usr/share/applications/org.spanmon.Ethfind.desktop
/usr/share/applications/org.spanmon.Spanmon.desktop
/usr/share/doc/spanmon/changelog.gz
/usr/share/doc/spanmon/copyright
/usr/share/icons/hicolor/256x256/apps/org.spanmon.Ethfind.png
/usr/share/icons/hicolor/256x256/apps/org.spanmon.Spanmon.png
/usr/share/icons/hicolor/48x48/apps/org.spanmon.Ethfind.png
/usr/share/icons/hicolor/48x48/apps/org.spanmon.Spanmon.png
/usr/share/icons/hicolor/scalable/apps/org.spanmon.Ethfind.svg
/usr/share/icons/hicolor/scalable/apps/org.spanmon.Spanmon.svg
/usr/share/man/man1/ethfind.1.gz
/usr/share/man/man1/spanmon-cli.1.gz
/usr/share/man/man1/spanmon.1.gz
/usr/share/metainfo/org.spanmon.Ethfind.metainfo.xml
/usr/share/metainfo/org.spanmon.Spanmon.metainfo.xml
/usr/share/snmp/mibs/SPANMON-MIDSPAN-MIB.txt
/usr/share/spanmon/monitoring/alertmanager-example.yml
/usr/share/spanmon/monitoring/generator.yml
/usr/share/spanmon/monitoring/snmp-0.23-and-later.yml
/usr/share/spanmon/monitoring/snmp.yml
/usr/share/spanmon/monitoring/spanmon-budgets.yml
/usr/share/spanmon/monitoring/spanmon-dashboard.json
/usr/share/spanmon/monitoring/spanmon-rules.yml
/usr/share/spanmon/monitoring/spanmon-targets.yml
/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/spanmon/spanmon-history.so
/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/spanmon/spanmon-snmp.so
EOF
)
expected_simulators=$(
    sort <<EOF
/usr/bin/midspan-sim
/usr/bin/module-sim
/usr/share/doc/spanmon-simulators/changelog.gz
/usr/share/doc/spanmon-simulators/copyright
/usr/share/man/man1/midspan-sim.1.gz
/usr/share/man/man1/module-sim.1.gz
EOF
)
diff <(echo "$expected_programs") <(files "$programs_deb") || fail "files of $programs_deb"
# The simulators may also ship one demo firmware file.
firmware=$(files "$simulators_deb" | grep -E '^/usr/share/spanmon-simulators/[^/]+\.s(19|99)$' || true)
diff <(echo "$expected_simulators") <(files "$simulators_deb" | grep -vxF "${firmware:-none}") ||
    fail "files of $simulators_deb"
[ "$(echo "$firmware" | grep -c .)" -le 1 ] || fail "more than one firmware file: $firmware"
for deb in "$programs_deb" "$simulators_deb"; do
    prints 'libqt6core6' dpkg-deb -f "$deb" Depends || fail "$deb: no Qt dependency found by shlibdeps"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: version is not $version"
done
# Only the History window's module needs Qt Charts; shlibdeps finds it there.
prints 'libqt6charts6' dpkg-deb -f "$programs_deb" Depends || fail "$programs_deb: no Qt Charts dependency"
prints 'libsnmp40' dpkg-deb -f "$programs_deb" Depends || fail "$programs_deb: no net-snmp dependency"
for font in fonts-crosextra-carlito fonts-liberation; do
    prints "$font" dpkg-deb -f "$programs_deb" Depends || fail "$programs_deb: does not depend on $font"
done

step "lintian"
lintian --fail-on error "$programs_deb" "$simulators_deb" 2>&1 | grep -v 'running with root privileges' ||
    [ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian reports errors"

step "desktop entries, metainfo and icons"
dpkg-deb -x "$programs_deb" "$work/root"
for id in org.spanmon.Spanmon org.spanmon.Ethfind; do
    desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "$id.desktop"
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" \
        >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "$id.metainfo.xml"; }
    grep -q "^Icon=$id$" "$work/root/usr/share/applications/$id.desktop" ||
        fail "$id.desktop names another icon"
    for size in 48 256; do
        file "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" |
            grep -q "PNG image data, $size x $size" || fail "$id.png is not $size x $size"
    done
done

step "installing with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$programs_deb" "./$simulators_deb" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install"; }

step "--version and --help from /usr/bin, without a display"
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
[ "$("${headless[@]}" /usr/bin/spanmon --version)" = "Spanmon $version" ] || fail "spanmon --version"
prints "Link.ini" "${headless[@]}" /usr/bin/spanmon --help || fail "spanmon --help does not name Link.ini"
[ "$("${headless[@]}" /usr/bin/spanmon-cli --version)" = "spanmon-cli $version" ] || fail "spanmon-cli --version"
prints "describe-system" "${headless[@]}" /usr/bin/spanmon-cli --help || fail "spanmon-cli --help"
[ "$("${headless[@]}" /usr/bin/ethfind --version)" = "Ethfind $version" ] || fail "ethfind --version"
prints "--version" "${headless[@]}" /usr/bin/ethfind --help || fail "ethfind --help"
prints "--serial-link" "${headless[@]}" /usr/bin/midspan-sim --help || fail "midspan-sim --help"
prints "--count" "${headless[@]}" /usr/bin/module-sim --help || fail "module-sim --help"

step "the monitoring files where the README says, accepted by Debian's exporter and promtool"
monitoring=$(sed -n '/^## Monitoring many midspans/,/^## /p' README.md |
    grep -o -E '/usr/share/(spanmon/monitoring|snmp/mibs)/[A-Za-z0-9._-]*[A-Za-z0-9]' | sort -u)
[ "$monitoring" = "$(files "$programs_deb" | grep -E '^/usr/share/(spanmon/monitoring|snmp/mibs)/')" ] ||
    fail "the README names other monitoring files than the package holds: $monitoring"
for file in $monitoring; do
    [ -f "$file" ] || fail "$file is not installed"
done
prometheus-snmp-exporter --dry-run --config.file=/usr/share/spanmon/monitoring/snmp.yml >"$work/exporter.log" 2>&1 ||
    { cat "$work/exporter.log" >&2; fail "the exporter refuses the installed snmp.yml"; }
promtool check rules /usr/share/spanmon/monitoring/spanmon-rules.yml /usr/share/spanmon/monitoring/spanmon-budgets.yml \
    >"$work/promtool.log" 2>&1 || { cat "$work/promtool.log" >&2; fail "promtool refuses the installed rules"; }
amtool check-config /usr/share/spanmon/monitoring/alertmanager-example.yml >"$work/amtool.log" 2>&1 ||
    { cat "$work/amtool.log" >&2; fail "amtool refuses the installed Alertmanager example"; }

step "a normal user"
id "$user" >/dev/null 2>&1 && userdel --force --remove "$user"
useradd --create-home --shell /bin/bash --groups dialout "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cp scripts/package-drive.py "$work/"
chmod 644 "$work/package-drive.py"
source scripts/x-display.sh
# Runs a command line as the user, in the network namespace given (or this one: ""), on a virtual X
# server with the accessibility bus, and the drive script with the arguments given.
session() {
    local netns=$1 command=$2
    shift 2
    local inside=()
    [ -n "$netns" ] && inside=(ip netns exec "$netns")
    cd "$home"
    local status
    claim_display "${inside[@]}"
    "${inside[@]}" runuser -u "$user" -- env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
        xvfb-run -n "$display" -e "$home/xvfb.log" -s "-screen 0 1280x1024x24" dbus-run-session -- bash -c '
            /usr/libexec/at-spi-bus-launcher --launch-immediately &
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 bash -c "$1" >"$HOME/program.log" 2>&1 &
            program=$!
            shift
            /usr/bin/python3 "$@"
            status=$?
            echo "working folder: $(readlink "/proc/$program/cwd")"
            kill $program 2>/dev/null
            exit $status' session "$command" "$work/package-drive.py" "$@" 2>&1 |
        grep -v -e dbus-daemon -e SpiRegistry -e XDG_RUNTIME_DIR
    status=${PIPESTATUS[0]}
    # xvfb-run stops its server without waiting for it to go.
    for _ in $(seq 100); do
        [ -e "/tmp/.X$display-lock" ] || break
        sleep 0.1
    done
    return "$status"
}

step "ethfind as $user finds simulated modules in a private network"
ip netns add "$netns_window"
ip netns add "$netns_modules"
ip -n "$netns_window" link add eth0 type veth peer name eth0 netns "$netns_modules"
ip -n "$netns_window" addr add 10.231.0.1/24 dev eth0
ip -n "$netns_modules" addr add 10.231.0.2/24 dev eth0
for ns in "$netns_window" "$netns_modules"; do
    ip -n "$ns" link set lo up
    ip -n "$ns" link set eth0 up
done
ip -n "$netns_window" route add 255.255.255.255/32 dev eth0
ip netns exec "$netns_modules" /usr/bin/module-sim --count 3 --first-ip 10.231.0.20 \
    >"$work/modules.log" 2>&1 &
sim_pids+=($!)
wait_ready() {
    for _ in $(seq 100); do
        grep -q '^ready' "$1" && return 0
        sleep 0.1
    done
    cat "$1" >&2
    return 1
}
wait_ready "$work/modules.log" || fail "module-sim did not start"
session "$netns_window" "exec ethfind" ethfind 3 ||
    { cat "$home/program.log" "$home/xvfb.log" >&2; fail "ethfind did not list the three modules"; }

step "spanmon as $user, from its menu entry, finds a simulated midspan on a serial port and opens the History window"
# A lock left by a killed program would keep the user off the port.
rm -f "/run/lock/LCK..$(basename "$link")"
/usr/bin/midspan-sim --serial-link "$link" --no-line-delay --steady >"$work/midspan.log" 2>&1 &
sim_pids+=($!)
wait_ready "$work/midspan.log" || fail "midspan-sim did not start"
# As a USB serial adapter would be: open to the dialout group.
chgrp dialout "$(readlink -f "$link")"
chmod 660 "$(readlink -f "$link")"
menu_command=$(sed -n 's/^Exec=//p' /usr/share/applications/org.spanmon.Spanmon.desktop)
[ -n "$menu_command" ] || fail "the menu entry has no command"
session "" "cd / && exec $menu_command" spanmon "$(basename "$link")" | tee "$work/spanmon.log" ||
    { cat "$home/program.log" "$home/xvfb.log" >&2; fail "spanmon did not find the midspan"; }
grep -qx "working folder: $home" "$work/spanmon.log" || fail "spanmon did not run in the home folder"
# net-snmp is loaded from its module at the first exchange over the network, never at start.
! readelf -d /usr/bin/spanmon | grep -q 'NEEDED.*libnetsnmp' || fail "spanmon loads net-snmp at start"

step "spanmon-cli as $user switches a port of the simulated midspan and reads it back"
cli() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 spanmon-cli "$@"; }
port=$(basename "$link")
prints "$port *** " cli find --serial "$port" || fail "spanmon-cli find did not list the midspan"
prints "port 2: off" cli port 2 off --serial "$port" || fail "spanmon-cli port 2 off"
prints '"enabled": false' cli status --serial "$port" --json || fail "spanmon-cli status after port 2 off"

step "passed in $(($(date +%s) - started)) s; purging the packages"

#!/usr/bin/env bash
# Debian's Alertmanager with monitoring/alertmanager-example.yml on a loopback address: while a
# midspan is down, the alerts about its ports and power are held back (inhibited); those of other
# midspans and of other jobs are not, and they come back when the midspan answers again.
# Without Alertmanager the test is skipped (exit 77), except in CI.
set -euo pipefail
config=$(cd "$(dirname "$0")/../../monitoring" && pwd)/alertmanager-example.yml
for program in prometheus-alertmanager amtool; do
    if ! command -v $program >/dev/null; then
        echo "$program is not installed (scripts/install-deps.sh installs Debian's)" >&2
        [ "${CI:-}" = "true" ] && exit 1
        exit 77
    fi
done
# A loopback block of this test alone, held (with Alertmanager, which inherits the lock) as the
# test programs hold theirs (tests/support/LoopbackBlock.h).
held=
for block in $(seq 1 254); do
    lock=/run/lock/spanmon-loopback-$block
    [ -e "$lock" ] || : >"$lock"
    exec 9<"$lock"
    if flock -n 9; then
        held=$block
        break
    fi
    exec 9<&-
done
[ -n "$held" ] || { echo "every loopback block is held" >&2; exit 1; }
listen=127.$held.60.200:9093
url=http://$listen
work=$(mktemp -d)
prometheus-alertmanager --config.file="$config" --storage.path="$work" --web.listen-address=$listen \
    --cluster.listen-address= --log.level=warn &
alertmanager=$!
trap 'kill $alertmanager; wait $alertmanager 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    amtool --alertmanager.url=$url config show >/dev/null 2>&1 && break
    sleep 0.1
done

# alertname instance job: the alerts sent, each for one port or unit.
alerts=(
    "MidspanPortError 192.0.2.10 spanmon"
    "MidspanPortPowerHigh 192.0.2.10 spanmon"
    "MidspanPowerBudgetExceeded 192.0.2.10 spanmon"
    "MidspanPortError 192.0.2.11 spanmon"
    "MidspanPortError 192.0.2.10 other"
)
send() {
    local name=$1 instance=$2 job=$3 ends=${4:-}
    amtool --alertmanager.url=$url alert add "alertname=$name" "instance=$instance" "job=$job" \
        severity=warning ${ends:+--end=$ends}
}
# The alerts not held back, one "alertname instance job" a line, sorted.
active() {
    amtool --alertmanager.url=$url alert query -o json |
        /usr/bin/python3 -c 'import json, sys
for a in json.load(sys.stdin):
    l = a["labels"]
    print(l["alertname"], l["instance"], l["job"])' | sort
}
expect() {
    local when=$1 wanted
    wanted=$(printf '%s\n' "${@:2}" | sort)
    local got
    for _ in $(seq 50); do
        got=$(active)
        [ "$got" = "$wanted" ] && return 0
        sleep 0.1
    done
    printf '%s: expected active\n%s\ngot\n%s\n' "$when" "$wanted" "$got" >&2
    exit 1
}

for alert in "${alerts[@]}"; do
    send $alert
done
expect "before the midspan is down" "${alerts[@]}"
send MidspanDown 192.0.2.10 spanmon
expect "while 192.0.2.10 is down" "MidspanDown 192.0.2.10 spanmon" "MidspanPortError 192.0.2.11 spanmon" \
    "MidspanPortError 192.0.2.10 other"
send MidspanDown 192.0.2.10 spanmon "$(date -u -d '-1 minute' +%Y-%m-%dT%H:%M:%SZ)"
expect "after 192.0.2.10 answers again" "${alerts[@]}"
echo "inhibition as configured"

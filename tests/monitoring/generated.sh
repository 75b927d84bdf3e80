#!/usr/bin/env bash
# The MIB and what is made from it, proven with Debian's tools:
#   generated.sh fetch DIR      the IETF base modules (SNMPv2-SMI, -TC, -CONF) into DIR/ietf-mibs,
#                               from the npm registry's net-snmp package (Debian main strips them)
#   generated.sh lint DIR       smilint at level 6 has nothing to say about the MIB
#   generated.sh generate DIR   the generator makes exactly the shipped snmp.yml from generator.yml
#   generated.sh formats DIR    the 0.23 file follows its format and turns back into snmp.yml
# A missing tool or registry skips (exit 77), except in CI.
set -euo pipefail
step=$1
build=$2
monitoring=$(cd "$(dirname "$0")/../../monitoring" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
mibs=$build/ietf-mibs
# The exact release, so that every run reads the same modules.
netsnmp=net-snmp@3.29.2

skip() {
    echo "$1" >&2
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
}
need() {
    command -v "$1" >/dev/null || skip "$1 is not installed (scripts/install-deps.sh installs it)"
}
need_mibs() {
    [ -f "$mibs/SNMPv2-SMI.mib" ] || skip "no IETF base modules in $mibs (the fetch test puts them there)"
}

case $step in
fetch)
    need npm
    [ -f "$mibs/SNMPv2-CONF.mib" ] && exit 0
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && npm pack --silent "$netsnmp" >/dev/null) || skip "npm could not fetch $netsnmp"
    tar -xzf "$work"/net-snmp-*.tgz -C "$work"
    mkdir -p "$mibs"
    # Each file comes whole, in one rename: another run of the suite may be reading them.
    for module in SNMPv2-SMI SNMPv2-TC SNMPv2-CONF; do
        cp "$work/package/lib/mibs/$module.mib" "$mibs/$module.mib.$$"
        mv -f "$mibs/$module.mib.$$" "$mibs/$module.mib"
    done
    ;;
lint)
    need smilint
    need_mibs
    report=$(SMIPATH=$mibs smilint -l 6 -s "$monitoring/SPANMON-MIDSPAN-MIB.txt" 2>&1)
    [ -z "$report" ] || { echo "$report" >&2; exit 1; }
    ;;
generate)
    need prometheus-snmp-generator
    need_mibs
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$monitoring/generator.yml" "$work/"
    (cd "$work" && MIBDIRS=$mibs:$monitoring prometheus-snmp-generator --fail-on-parse-errors \
        --log.level=warn generate)
    diff -u "$monitoring/snmp.yml" "$work/snmp.yml"
    ;;
formats)
    need prometheus-snmp-exporter
    [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import yaml' 2>/dev/null ||
        skip "Debian's python3-yaml is not installed (scripts/install-deps.sh installs it)"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    new=$monitoring/snmp-0.23-and-later.yml
    /usr/bin/python3 "$here/exporter-formats.py" check "$new"
    # The old format is refused by the checker: it is not merely lenient.
    ! /usr/bin/python3 "$here/exporter-formats.py" check "$monitoring/snmp.yml" 2>/dev/null
    /usr/bin/python3 "$here/exporter-formats.py" to-0.21 "$new" >"$work/snmp.yml"
    /usr/bin/python3 "$here/exporter-formats.py" equal "$work/snmp.yml" "$monitoring/snmp.yml"
    prometheus-snmp-exporter --dry-run --config.file="$work/snmp.yml" --log.level=warn
    ;;
*)
    echo "usage: $0 fetch|lint|generate|formats BUILD_DIR" >&2
    exit 2
    ;;
esac

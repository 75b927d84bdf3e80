#!/usr/bin/env bash
# The bash completion of spanmon-cli offers what an operator may type next.
set -uo pipefail
source "$1"
failed=0
# expect "WORDS BEFORE THE CURSOR|CURRENT WORD" "EXPECTED REPLIES"
expect() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<<"spanmon-cli ${line%|*}"
    COMP_WORDS+=("${line#*|}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _spanmon_cli
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$expected" ]; then
        echo "FAIL: '$line': got '$got', expected '$expected'"
        failed=1
    else
        echo "PASS: '$line' -> '$got'"
    fi
}
expect "|" "find status port describe describe-system"
expect "|st" "status"
expect "|describe" "describe describe-system"
expect "--snmp 10.0.0.1|" "find status port describe describe-system"
expect "--settings Link.ini --v3|p" "port"
expect "status|--o" "--off-seconds"
expect "status|--j" "--json"
expect "find|" "serial"
expect "find serial|" ""
expect "port 3|" "on off cycle"
expect "port 3|c" "cycle"
expect "--serial ttyUSB0 port 3|" "on off cycle"
expect "port 3 off|" ""
expect "status --snmp|" ""
expect "status --off-seconds|" ""
expect "status|--ti" "--timeout"
expect "status --timeout|" ""
expect "--retries 2|" "find status port describe describe-system"
expect "status|--no" "--no-header"
expect "status|--q" "--quiet"
expect "port|a" "all"
expect "port 3,5-7|" "on off cycle"
exit $failed

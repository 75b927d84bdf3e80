#!/usr/bin/env bash
# The zsh and fish completions of spanmon-cli load and offer what an operator may type next.
set -uo pipefail
folder=$1
for shell in zsh fish; do
    if ! command -v $shell >/dev/null; then
        [ "${CI:-}" = true ] && { echo "FAIL: $shell is not installed"; exit 1; }
        echo "SKIP: $shell is not installed"
        exit 77
    fi
done
failed=0
zsh -n "$folder/_spanmon-cli" || failed=1
fish -n "$folder/spanmon-cli.fish" || failed=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What zsh offers when Tab is pressed after the words: an interactive zsh on a pseudo-terminal,
# whose compadd also writes its matches to a file.
zsh_offers() {
    : >"$work/offers"
    zsh -f -c '
        zmodload zsh/zpty
        zpty z zsh -f -i
        zpty -w z "PROMPT=; fpath=($1 \$fpath); autoload -U compinit; compinit -u -D -d $2/dump"
        zpty -w z "compadd() { builtin compadd -O __m \"\$@\"; print -l -- \$__m >>$2/offers; builtin compadd \"\$@\" }"
        zpty -w z "$3"$'"'"'\t'"'"'
        for i in {1..50}; do [ -s $2/offers ] && break; sleep 0.1; done
        sleep 0.2
        zpty -d z' zsh "$folder" "$work" "$1"
    grep -v "^$" "$work/offers" | sort -u | tr '\n' ' ' | sed 's/ $//'
}

fish_offers() {
    fish --no-config -c "source $folder/spanmon-cli.fish; complete -C '$1'" | cut -f1 | sort -u | tr '\n' ' ' |
        sed 's/ $//'
}

# expect "WORDS BEFORE THE CURSOR AND THE CURRENT WORD" "EXPECTED OFFERS, SORTED"
expect() {
    local shell
    for shell in zsh fish; do
        local got
        got=$(${shell}_offers "spanmon-cli $1")
        if [ "$got" != "$2" ]; then
            echo "FAIL: $shell '$1': got '$got', expected '$2'"
            failed=1
        else
            echo "PASS: $shell '$1' -> '$got'"
        fi
    done
}
expect "" "describe describe-system find port status"
expect "st" "status"
expect "--snmp 10.0.0.1 --timeout 1 p" "port"
expect "find " "serial"
expect "port " "all"
expect "port 3,5-7 " "cycle off on"
expect "--serial ttyUSB0 port 3 c" "cycle"
expect "status --ti" "--timeout"
expect "status --no-h" "--no-header"
expect "status --verb" "--verbose"
exit $failed

#!/usr/bin/env bash
# Spanmon's and Ethfind's command lines are read before the window system starts: without a display
# an unknown option is refused with "Unknown option" and exit code 2, and --help and --version answer.
set -uo pipefail
spanmon=${1:?usage: tst_start_options.sh SPANMON ETHFIND}
ethfind=${2:?usage: tst_start_options.sh SPANMON ETHFIND}
failed=0

# program | arguments | exit code | text expected on stdout or stderr
rows=(
    "$spanmon|--bogus|2|Unknown option 'bogus'"
    "$ethfind|--bogus|2|Unknown option 'bogus'"
    "$spanmon|-x|2|Unknown option 'x'"
    "$ethfind|--refresh-now --bogus|2|Unknown option"
    "$spanmon|--version|0|Spanmon "
    "$ethfind|--version|0|Ethfind "
    "$spanmon|--help|0|Usage:"
    "$ethfind|-platform offscreen --help|0|Usage:"
    "$ethfind|-x|2|Unknown option 'x'"
    "$spanmon|--help|0|Watches and switches the ports of a Power-over-Ethernet midspan"
    "$ethfind|--help|0|Finds the Ethernet modules on the local network"
    "$spanmon|-platform offscreen --version|0|Spanmon "
)
for row in "${rows[@]}"; do
    IFS='|' read -r program arguments code text <<<"$row"
    # shellcheck disable=SC2086 # the arguments are words
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$program" $arguments 2>&1)
    status=$?
    if [ "$status" -ne "$code" ] || [[ $output != *"$text"* ]]; then
        echo "FAIL $(basename "$program") $arguments: exit $status (want $code), output: $output"
        failed=1
    else
        echo "ok   $(basename "$program") $arguments"
    fi
done
exit $failed

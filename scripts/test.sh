#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, and runs every test headless,
# then each fuzz target for 20 seconds; in CI also the packaging test (scripts/package-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-test -DSANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure -j2 "$@"

# The whole suite runs each fuzz target for 20 seconds on its corpus.
if [ $# -eq 0 ]; then
    scripts/fuzz.sh 20
fi

# The whole suite in CI (as root) also builds the Debian packages, installs, tries and purges them.
if [ $# -eq 0 ] && [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = "true" ]; then
    scripts/package-test.sh
fi

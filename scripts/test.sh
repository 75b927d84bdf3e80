#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, and runs every test headless.
# CI (.ci/run) goes on with what takes longer: fuzzing, the benchmarks' build, the packaging test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-test -DSANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Most tests wait on simulators, pauses and time-outs rather than compute: more of them than there
# are cores run at once.
ctest --test-dir build-test --output-on-failure -j4 "$@"

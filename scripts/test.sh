#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, and runs every test headless.
# CI (.ci/run) goes on with what takes longer: fuzzing, the benchmarks' build, the packaging test.
set -euo pipefail
cd "$(dirname "$0")/.."
# Clang builds the sanitizer build in half the time GCC takes, its precompiled headers included.
scripts/install-deps.sh clang libclang-rt-14-dev
# Line tables are all a sanitizer's report needs, and full debug information costs a sixth of
# the build.
scripts/build.sh build-test -DSANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Most tests wait on simulators, pauses and time-outs rather than compute (a third of two cores
# with four at once): eight run at once.
ctest --test-dir build-test --output-on-failure -j8 "$@"

#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark; each prints its own figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for bench in build/bench/*/bench_*; do
    [ -x "$bench" ] && "$bench"
done

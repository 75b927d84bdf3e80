#!/usr/bin/env bash
# Configures and builds into the folder given (default: build). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Two builds of one folder at once (two runs of the test command) would both write its objects and
# Ninja's logs: the later one waits for the earlier.
mkdir -p "$dir"
exec 9>"$dir/.build-lock"
flock 9
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir"

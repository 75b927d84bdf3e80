#!/usr/bin/env bash
# scripts/bench.sh runs every benchmark of a build, skips the folders code generators leave next
# to them, reports each one and fails only when one of them fails.
set -uo pipefail
bench_script=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

make_bench() { # folder, file, exit code
    mkdir -p "$tree/bench/$1"
    printf '#!/bin/sh\necho "figures of %s"\nexit %s\n' "$2" "$3" >"$tree/bench/$1/$2"
    chmod +x "$tree/bench/$1/$2"
}
mkdir -p "$tree/bench/startup/bench_startup_autogen" "$tree/bench/startup/CMakeFiles"
touch "$tree/bench/startup/cmake_install.cmake"
make_bench startup bench_startup 0
make_bench serial_pass bench_serial_pass 0
make_bench ethfind_burst ethfind_burst 0
make_bench soak bench_soak 0

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

out=$(bash "$bench_script" --no-build "$tree" 2>&1) || fail "passing benchmarks reported as failed: $out"
for b in bench_startup bench_serial_pass ethfind_burst; do
    grep -q "figures of $b" <<<"$out" || fail "$b did not run: $out"
done
grep -q "figures of bench_soak" <<<"$out" && fail "the soak ran without being asked: $out"
grep -q "3 benchmarks run, 0 failed" <<<"$out" || fail "no summary: $out"
out=$(SOAK_MINUTES=1 bash "$bench_script" --no-build "$tree" 2>&1) || fail "the soak failed: $out"
grep -q "figures of bench_soak" <<<"$out" || fail "SOAK_MINUTES did not run the soak: $out"

make_bench serial_pass bench_serial_pass 3
out=$(bash "$bench_script" --no-build "$tree" 2>&1) && fail "a failing benchmark went unnoticed: $out"
grep -q "figures of ethfind_burst" <<<"$out" || fail "a failing benchmark stopped the others: $out"
grep -q "failed: bench_serial_pass (rc 3)" <<<"$out" || fail "the failure is not named: $out"
echo "PASS"

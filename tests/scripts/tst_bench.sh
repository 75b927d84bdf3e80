#!/usr/bin/env bash
# scripts/bench.sh runs every benchmark of a build, skips the folders code generators leave next
# to them, reports each one, fails only when one of them fails, and ends with a table of every
# figure beside its target.
set -uo pipefail
bench_script=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

make_bench() { # folder, file, exit code, figure lines
    mkdir -p "$tree/bench/$1"
    printf '#!/bin/sh\necho "figures of %s"\n' "$2" >"$tree/bench/$1/$2"
    for line in "${@:4}"; do
        printf 'echo "%s"\n' "$line" >>"$tree/bench/$1/$2"
    done
    printf 'exit %s\n' "$3" >>"$tree/bench/$1/$2"
    chmod +x "$tree/bench/$1/$2"
}
mkdir -p "$tree/bench/startup/bench_startup_autogen" "$tree/bench/startup/CMakeFiles"
touch "$tree/bench/startup/cmake_install.cmake"
make_bench startup bench_startup 0 "BENCH startup.first_paint 43.5 ms <50" "BENCH startup.resident 40.2 MiB <=39"
make_bench serial_pass bench_serial_pass 0 "BENCH serial_pass.ratio 1.1 x <=1.10" \
    "BENCH serial_pass.stall 20 ms <20"
make_bench ethfind_burst ethfind_burst 0 "BENCH ethfind_burst.fewest_listed 255 modules >=255" \
    "BENCH ethfind_burst.time_to_list 612 ms -"
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
summary=$(sed -n '/^== summary$/,$p' <<<"$out")
row() { # figure, value, unit, target, met: one row of the summary
    grep -Eq "^$1 +$2 $3 +$4 +$5\$" <<<"$summary" || fail "no row '$1 $2 $3 $4 $5' in: $summary"
}
row startup.first_paint 43.5 ms "<50" yes
row startup.resident 40.2 MiB "<=39" NO
row serial_pass.ratio 1.1 x "<=1.10" yes
row serial_pass.stall 20 ms "<20" NO
row ethfind_burst.fewest_listed 255 modules ">=255" yes
row ethfind_burst.time_to_list 612 ms - -
grep -q "^3 of 5 targets met$" <<<"$summary" || fail "no count of targets met: $summary"
grep -Eq "^bench_soak +not run" <<<"$summary" || fail "the soak's absence is not shown: $summary"
out=$(SOAK_MINUTES=1 bash "$bench_script" --no-build "$tree" 2>&1) || fail "the soak failed: $out"
grep -q "figures of bench_soak" <<<"$out" || fail "SOAK_MINUTES did not run the soak: $out"

make_bench serial_pass bench_serial_pass 3
out=$(bash "$bench_script" --no-build "$tree" 2>&1) && fail "a failing benchmark went unnoticed: $out"
grep -q "figures of ethfind_burst" <<<"$out" || fail "a failing benchmark stopped the others: $out"
grep -q "failed: bench_serial_pass (rc 3)" <<<"$out" || fail "the failure is not named: $out"
grep -Eq "^bench_serial_pass +FAILED \(rc 3\)$" <<<"$out" || fail "the failure is not in the summary: $out"
echo "PASS"

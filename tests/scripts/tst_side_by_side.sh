#!/usr/bin/env bash
# Two runs of the given tests side by side from one build, as two engineers or two CI jobs on one
# machine run the suite: both pass. The tests are those that take loopback addresses and ports,
# network namespaces and serial links; a run that skips them proves nothing, so it skips too
# (exit 77), except in CI.
#   tst_side_by_side.sh CTEST BUILD_DIR REGEX
set -uo pipefail
ctest=$1
build=$(cd "$2" && pwd)
tests=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pids=()
for run in first second; do
    # ctest keeps its logs under the folder it starts from: each run has one of its own that
    # holds the build's tests.
    mkdir "$work/$run"
    printf 'subdirs("%s")\n' "$build" >"$work/$run/CTestTestfile.cmake"
    "$ctest" --test-dir "$work/$run" --output-on-failure --no-tests=error -j4 -R "$tests" \
        -E '^tst_side_by_side$' >"$work/$run.log" 2>&1 &
    pids+=($!)
done

failed=0
for i in 0 1; do
    run=$([ $i -eq 0 ] && echo first || echo second)
    if ! wait "${pids[$i]}"; then
        echo "the $run run failed:"
        cat "$work/$run.log"
        failed=1
    fi
done
[ $failed -eq 0 ] || exit 1
if grep -h -e '\*\*\*Skipped' -e 'Not Run' "$work/first.log" "$work/second.log"; then
    echo "tests skipped: the runs met on nothing"
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
fi
for run in first second; do
    echo "the $run run:"
    grep -e 'Test *#' -e 'tests passed' "$work/$run.log"
done

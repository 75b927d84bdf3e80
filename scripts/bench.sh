#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark; each prints its own figures. Runs them all even
# when one fails, and fails when any did. `--no-build DIR` runs the benchmarks already built in DIR.
# The soak runs only when SOAK_MINUTES says for how long (bench_soak --help for more).
set -uo pipefail
cd "$(dirname "$0")/.."
dir=build
if [ "${1:-}" = "--no-build" ]; then
    dir=${2:?folder of a finished build}
else
    scripts/install-deps.sh && scripts/build.sh "$dir" || exit 1
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# Each benchmark is the one executable file directly inside its folder (code generators leave
# folders there, such as *_autogen).
mapfile -t benches < <(find "$dir/bench" -mindepth 2 -maxdepth 2 -type f -perm -u+x | sort)
if [ ${#benches[@]} -eq 0 ]; then
    echo "no benchmarks in $dir/bench" >&2
    exit 1
fi
failed=()
skipped=0
for bench in "${benches[@]}"; do
    args=()
    if [ "$(basename "$bench")" = bench_soak ]; then
        if [ -z "${SOAK_MINUTES:-}" ]; then
            echo "== bench_soak skipped (SOAK_MINUTES=30 runs it for 30 minutes)"
            echo
            skipped=$((skipped + 1))
            continue
        fi
        args=(--minutes "$SOAK_MINUTES")
    fi
    echo "== $(basename "$bench")"
    "$bench" "${args[@]}"
    rc=$?
    [ $rc -eq 0 ] || failed+=("$(basename "$bench") (rc $rc)")
    echo
done
echo "$((${#benches[@]} - skipped)) benchmarks run, ${#failed[@]} failed"
for f in "${failed[@]}"; do
    echo "failed: $f" >&2
done
[ ${#failed[@]} -eq 0 ]

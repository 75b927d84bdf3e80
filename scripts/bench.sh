#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark; each prints its own figures. Runs them all even
# when one fails, and fails when any did. `--no-build DIR` runs the benchmarks already built in DIR.
# The soak runs only when SOAK_MINUTES says for how long (bench_soak --help for more).
# At the end a table shows every figure a benchmark reported on a line "BENCH name value unit target"
# beside its target, and whether it is met; a target missed does not fail the run.
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
output=$(mktemp)
figures=$(mktemp)
trap 'rm -f "$output" "$figures"' EXIT
for bench in "${benches[@]}"; do
    args=()
    if [ "$(basename "$bench")" = bench_soak ]; then
        if [ -z "${SOAK_MINUTES:-}" ]; then
            echo "== bench_soak skipped (SOAK_MINUTES=30 runs it for 30 minutes)"
            echo
            echo "NOTE bench_soak not run (SOAK_MINUTES)" >>"$figures"
            skipped=$((skipped + 1))
            continue
        fi
        args=(--minutes "$SOAK_MINUTES")
    fi
    echo "== $(basename "$bench")"
    stdbuf -oL "$bench" "${args[@]}" | tee "$output"
    rc=${PIPESTATUS[0]}
    grep '^BENCH ' "$output" >>"$figures"
    if [ $rc -ne 0 ]; then
        failed+=("$(basename "$bench") (rc $rc)")
        echo "NOTE $(basename "$bench") FAILED (rc $rc)" >>"$figures"
    elif ! grep -q '^BENCH ' "$output"; then
        echo "NOTE $(basename "$bench") no figures" >>"$figures"
    fi
    echo
done

echo "== summary"
awk '
    function met(value, target,   bound) {
        if (target !~ /^(<=|>=|<|>)-?[0-9.]+$/)
            return "-"
        bound = target; sub(/^[<>=]+/, "", bound); bound += 0; value += 0
        if (target ~ /^<=/) return value <= bound ? "yes" : "NO"
        if (target ~ /^>=/) return value >= bound ? "yes" : "NO"
        if (target ~ /^</) return value < bound ? "yes" : "NO"
        return value > bound ? "yes" : "NO"
    }
    BEGIN { printf "%-40s %14s  %-9s %s\n", "figure", "value", "target", "met" }
    $1 == "NOTE" { name = $2; $1 = $2 = ""; printf "%-40s %s\n", name, substr($0, 3); next }
    {
        m = met($3, $5)
        if (m != "-") { targets++; if (m == "yes") reached++ }
        printf "%-40s %14s  %-9s %s\n", $2, $3 " " $4, $5, m
    }
    END { printf "%d of %d targets met\n", reached, targets }
' "$figures"
echo "$((${#benches[@]} - skipped)) benchmarks run, ${#failed[@]} failed"
for f in "${failed[@]}"; do
    echo "failed: $f" >&2
done
[ ${#failed[@]} -eq 0 ]

#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, into build-fuzz) and runs each for the seconds given
# (default 600), times its weight below, on its corpus: the seeds and regression inputs in fuzz/corpus/<target>/ plus what
# earlier runs found in build-fuzz/corpus/<target>/. Two targets run at a time (FUZZ_JOBS).
# A crash leaves its input in build-fuzz/findings/; once mended, that input goes into
# fuzz/corpus/<target>/ so that every later run replays it first.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
# Targets whose faults lie deep in a dialogue get longer: the loader's step machine needs about
# four times the others' time to reach a line past the file's end from its seeds.
declare -A weight=([loader_replies]=4 [network_session]=2 [serial_replies]=2)
jobs=${FUZZ_JOBS:-2}
dir=build-fuzz
scripts/install-deps.sh clang libclang-rt-14-dev

cmake -S . -B "$dir" -G Ninja -DFUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" --target fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
# A small quarantine keeps long runs of the session targets well below libFuzzer's memory limit.
[[ $ASAN_OPTIONS == *quarantine_size_mb* ]] || ASAN_OPTIONS+=:quarantine_size_mb=64
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
mkdir -p "$dir/findings" "$dir/logs"

run_one() { # target name; prints one line: name, runs, outcome
    local name=$1 seconds=$2 dir=$3
    mkdir -p "$dir/corpus/$name"
    local log="$dir/logs/$name.log"
    if "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$dir/findings/$name-" "$dir/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
        printf '%-16s %10s runs  ok\n' "$name" "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    else
        printf '%-16s FAILED, see %s and %s\n' "$name" "$log" "$(ls "$dir/findings/$name-"* 2>/dev/null | head -1)"
        return 1
    fi
}
export -f run_one

mapfile -t targets < <(find "$dir/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' |
    sed 's/^fuzz_//' | sort)
echo "fuzzing ${#targets[@]} targets for ${seconds} s each, times their weight"
for name in "${targets[@]}"; do printf '%s %s\n' "$name" $((seconds * ${weight[$name]:-1})); done |
    xargs -P "$jobs" -L1 bash -c 'run_one "$2" "$3" "$1"' _ "$dir"

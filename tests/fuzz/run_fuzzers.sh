#!/usr/bin/env bash
# Runs every fuzz target of a CORVANE_FUZZ build for a fixed time each.
#
#   tests/fuzz/run_fuzzers.sh BUILD_DIR SECONDS
#
# Each target fuzzes a scratch copy of its checked-in corpus (which therefore never grows)
# and prints the number of inputs it executed. Crashing inputs are kept in
# BUILD_DIR/fuzz-artifacts/<target>/ for CI to collect. Exits non-zero when a target
# crashed, found a sanitizer error or timed out; the last line is "N passed, M failed".
set -u

if [[ $# -ne 2 || ! $2 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd) || exit 2
seconds=$2
corpus_root=$(cd "$(dirname "$0")/corpus" && pwd) || exit 2
targets=(install_parameters_fuzzer server_address_fuzzer)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

passed=0
failed=0
for target in "${targets[@]}"; do
    binary=$build_dir/bin/$target
    artifacts=$build_dir/fuzz-artifacts/$target
    log=$build_dir/fuzz-artifacts/$target.log
    mkdir -p "$scratch/$target" "$artifacts"
    cp -- "$corpus_root/$target"/* "$scratch/$target/"

    if [[ ! -x $binary ]]; then
        echo "$target: FAILED (no $binary; build with -DCORVANE_FUZZ=ON)"
        failed=$((failed + 1))
        continue
    fi

    # libFuzzer stops itself after -max_total_time; the outer timeout is a last resort
    # against a target that hangs outside libFuzzer's own watch.
    timeout --kill-after=30 $((seconds + 120)) "$binary" -max_total_time="$seconds" \
        -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$scratch/$target" >"$log" 2>&1
    status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)

    if [[ $status -eq 0 ]]; then
        echo "$target: passed, ${executions:-?} executions in ${seconds} s"
        passed=$((passed + 1))
    else
        echo "$target: FAILED (exit status $status), ${executions:-?} executions; log: $log"
        grep -E '^(==[0-9]+==ERROR|SUMMARY:|artifact_prefix|Test unit written to)' "$log" |
            sed 's/^/    /'
        failed=$((failed + 1))
    fi
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]

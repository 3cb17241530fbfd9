#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR (default build-fuzz) for SECONDS (default 30) on its corpus in
# BUILD_DIR/corpus/<target>. Exits non-zero when any target found a crash, a leak, undefined
# behaviour, a time-out or a broken check; the input that did it is kept as
# BUILD_DIR/artifacts/<target>-crash-..., and the whole output in BUILD_DIR/fuzz-logs/<target>.log.
# Reproduce one with: BUILD_DIR/fuzz/fuzz_<target> BUILD_DIR/artifacts/<file>
set -uo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build-fuzz}"
seconds="${2:-30}"
targets=(parse_device_frame receive_path firmware_file simulator host_options simulator_options image_command)

# The receive path discards its buffer past 4096 bytes; inputs must be able to get there and on.
declare -A extra=([receive_path]="-max_len=5000")

mkdir -p "$build_dir/artifacts" "$build_dir/fuzz-logs"
failed=()
for target in "${targets[@]}"; do
    binary="$build_dir/fuzz/fuzz_$target"
    corpus="$build_dir/corpus/$target"
    log="$build_dir/fuzz-logs/$target.log"
    mkdir -p "$corpus"
    # -close_fd_mask=3 keeps the tools' own messages out; the fuzzer's and the sanitizers' reports
    # still come through.
    # shellcheck disable=SC2086
    "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -close_fd_mask=3 \
        -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-" ${extra[$target]:-} \
        "$corpus" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$rc" -eq 0 ]; then
        printf 'fuzz %-18s ok: %s runs in %s s, corpus %s inputs\n' "$target" "${runs:-?}" "$seconds" \
            "$(find "$corpus" -type f | wc -l)"
    else
        printf 'fuzz %-18s FAILED (exit %s), log %s\n' "$target" "$rc" "$log"
        grep -E 'ERROR:|SUMMARY:|fuzz check failed|Test unit written' "$log" | head -n 20
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds} s each without a finding"

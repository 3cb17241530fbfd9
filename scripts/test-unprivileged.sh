#!/usr/bin/env bash
# Runs every suite (all but the minutes-long transfers) as a user without privileges. Root is exempt
# from the kernel's checks on ttys (an exclusively held port, a folder owned by someone else), so a
# suite that passes as root says nothing about the technician who runs the tool as himself.
#
# As root (CI) the suites run as nobody (uid 65534) through setpriv, with a HOME and TMPDIR of their
# own; as anyone else they simply run. Usage: scripts/test-unprivileged.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
# The suites pin the command-line tool's English texts, as under CTest: whatever the caller's locale,
# they run in one that names no language.
export LC_ALL=C.UTF-8
suites=(framework_tests protocol_tests serial_tests update_tests ui_tests tools_tests sim_tests cli_tests)
for suite in "${suites[@]}"; do
    [[ -x "$build/tests/$suite" ]] || { echo "test-unprivileged: $build/tests/$suite is not built" >&2; exit 2; }
done

run_as=()
if [[ $(id -u) -eq 0 ]]; then
    uid=65534
    scratch=$(mktemp -d)
    chmod 755 "$scratch"
    mkdir "$scratch/home" "$scratch/tmp"
    chown "$uid:$uid" "$scratch/home" "$scratch/tmp"
    run_as=(setpriv --reuid="$uid" --regid="$uid" --clear-groups
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$scratch/home" TMPDIR="$scratch/tmp"
        LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen)

    # The build tree must be reachable for that user: open up the folders above it for the run only,
    # and put their modes back afterwards.
    restore=()
    dir=$(realpath .)
    while [[ "$dir" != / ]]; do
        if [[ $(( 0$(stat -c %a "$dir") & 01 )) -eq 0 ]]; then
            restore+=("$(stat -c %a "$dir") $dir")
            chmod o+x "$dir"
        fi
        dir=$(dirname "$dir")
    done
    cleanup() {
        for entry in "${restore[@]}"; do chmod "${entry%% *}" "${entry#* }"; done
        rm -rf "$scratch"
    }
    trap cleanup EXIT
    if ! "${run_as[@]}" test -r "$build/tests/cli_tests" -a -x "$build/tests/cli_tests"; then
        # A clone made under a strict umask: let others read the tree (it is ours to test).
        chmod -R o+rX .
        [[ "$build" == "$(realpath .)"/* ]] || chmod -R o+rX "$build"
    fi
fi

passed=0
failed=0
for suite in "${suites[@]}"; do
    log=$(mktemp)
    echo "== $suite as $("${run_as[@]}" id -un 2>/dev/null || echo "uid $uid")"
    if "${run_as[@]}" "$build/tests/$suite" --gtest_brief=1 >"$log" 2>&1; then :; fi
    tail -n 20 "$log" | grep -E '^\[  (FAILED|PASSED)  \]|Failure' || true
    pass_count=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -n 1)
    fail_count=$(grep -c '^\[  FAILED  \] [A-Za-z]' "$log" || true)
    passed=$((passed + ${pass_count:-0}))
    failed=$((failed + fail_count))
    if [[ $fail_count -gt 0 ]]; then
        cat "$log"
    elif [[ -z "$pass_count" ]]; then
        failed=$((failed + 1)) # crashed before its summary
        cat "$log"
    fi
    rm -f "$log"
done
echo "unprivileged: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

#!/usr/bin/env bash
# `make run`: starts the built-in simulated device on a free COM port, then either opens the Orvane
# window (with a display) or runs the main job headless through orvane-cli against the simulator.
set -uo pipefail
build="${1:-build}"
cli="$build/tools/cli/orvane-cli"
app="$build/app/orvane"

missing=()
[ -x "$cli" ] || missing+=("the command-line tool (tools/cli)")
if [ -x "$cli" ] && ! "$cli" --help | grep -q simulate; then missing+=("the device simulator (orvane-cli simulate)"); fi
if [ -x "$cli" ] && ! "$cli" --help | grep -q firmware; then missing+=("command-line updates (orvane-cli test/program/firmware)"); fi
[ -x "$app" ] || missing+=("the Orvane window (app/orvane)")
if [ ${#missing[@]} -gt 0 ]; then
    echo "Built what exists. Not built yet:"
    printf '  - %s\n' "${missing[@]}"
    if [ -x "$cli" ]; then
        echo
        "$cli" --help
    fi
    exit 0
fi
exec "$(dirname "$0")/demo.sh" "$build"

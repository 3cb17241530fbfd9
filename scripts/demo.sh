#!/usr/bin/env bash
# The main job on the built-in simulated device. With a display, the Orvane window opens and the
# simulated port is in its port chooser; without one, orvane-cli runs the same window headless:
# a connection test, a firmware update at 115200 and a program update.
set -uo pipefail
build="${1:-build}"
cli="$build/tools/cli/orvane-cli"
app="$build/app/orvane"

work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-run.XXXXXX")"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# --pace gives the transfer the timing of a real 8N1 line.
"$cli" simulate --pace --model ORV-SIM --summary "$work/summary.json" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
port=""
for _ in $(seq 1 100); do
    port="$(awk '/^READY/ {print $2; exit}' "$work/sim.out")"
    [ -n "$port" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
    sleep 0.05
done
if [ -z "$port" ]; then
    echo "The simulated device did not start:" >&2
    cat "$work/sim.err" >&2
    exit 1
fi
echo "Simulated device ready on $port ($(awk '/^READY/ {print $3; exit}' "$work/sim.out"))."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # The window writes the serial layer's diagnostics to its console streams, a GBK line per
    # received byte: on a terminal that is thousands of unreadable lines, so they go to a file.
    logdir="$build/run"
    mkdir -p "$logdir"
    log="$(cd "$logdir" && pwd)/orvane.log"
    echo "Opening the Orvane window; choose $port in the port chooser. Closing the window stops the device."
    echo "The window's console output goes to $log (GBK text: iconv -f GBK -t UTF-8 $log | less)."
    "$app" >"$log" 2>&1
    exit $?
fi

head -c 20000 /dev/urandom >"$work/firmware.bin"
head -c 5000 /dev/urandom >"$work/sample.tr3"
"$cli" image pack "$work/firmware.bin" --model ORV-SIM -o "$work/sample.trs" || exit 1

status=0
run() {
    echo
    echo "\$ orvane-cli $*"
    "$cli" "$@" || status=$?
}
run test --port "$port"
run firmware "$work/sample.trs" --port "$port" --baud 115200
run program "$work/sample.tr3" --port "$port"
echo
echo "No display here: with one, 'make run' opens the Orvane window at this point, with the simulated device on $port in its port chooser."
exit $status

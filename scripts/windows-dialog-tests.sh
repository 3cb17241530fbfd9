#!/usr/bin/env bash
# The Windows build's dialog tests (the real main window driven by window messages) under Wine on a
# virtual X display, with the Linux simulator as the device on a COM port of the prefix.
#   scripts/windows-dialog-tests.sh <cross-build-dir> <linux-build-dir> [screenshot-dir]
# With a screenshot directory the tests also stop at two moments for a picture of the screen:
# windows-main.png (port open, idle) and windows-updating.png (an update under way), cut out of the
# Xvfb screen around the main window.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" = "--inside-display" ]; then
    # Runs inside xvfb-run: answers the tests' screenshot requests while they run.
    shift
    shots="$1"
    shift
    "$@" &
    tests=$!
    if [ -n "$shots" ]; then
        while kill -0 "$tests" 2>/dev/null; do
            for request in "$shots"/*.request; do
                [ -e "$request" ] || continue
                read -r x y width height <"$request"
                name="$(basename "$request" .request)"
                import -window root -crop "${width}x${height}+${x}+${y}" +repage "$shots/$name.png"
                rm -f "$request"
            done
            sleep 0.2
        done
    fi
    wait "$tests"
    exit $?
fi

cross="$(cd "$1" && pwd)"
linux="$(cd "$2" && pwd)"
shots=""
if [ -n "${3:-}" ]; then
    mkdir -p "$3"
    shots="$(cd "$3" && pwd)"
fi
tests_exe="$cross/tests/main_window_flow_tests.exe"
simulator="$linux/tools/cli/orvane-cli"
[ -x "$simulator" ] || { echo "windows-dialog-tests: $simulator is missing (build the Linux tree first)" >&2; exit 2; }
[ -f "$tests_exe" ] || { echo "windows-dialog-tests: $tests_exe is missing" >&2; exit 2; }

export WINEPREFIX="$cross/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/wine-prefix.sh" "$WINEPREFIX"

work="$(mktemp -d)"
simulator_pid=""
cleanup() {
    [ -n "$simulator_pid" ] && kill "$simulator_pid" 2>/dev/null && wait "$simulator_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The device: paced like a real line, so that a long transfer can be stopped part way.
"$simulator" simulate --pace --save "$work/received.bin" >"$work/simulator.out" 2>"$work/simulator.err" &
simulator_pid=$!
# Polled for: only a hung simulator makes this wait the whole minute.
deadline=$((SECONDS + 60))
while [ $SECONDS -lt $deadline ]; do
    grep -q '^READY ' "$work/simulator.out" && break
    kill -0 "$simulator_pid" 2>/dev/null || { cat "$work/simulator.err" >&2; exit 1; }
    sleep 0.1
done
read -r _ com device <"$work/simulator.out"
port="${com#COM}"

# The pty becomes COM<n> of the prefix through Wine's Ports key; Wine's mount manager reads it when
# the prefix starts, lists the port in SERIALCOMM (where the port chooser finds it) and links it.
# A second port, listed but leading nowhere, is the port that cannot be opened.
dead=250
wine reg add 'HKLM\Software\Wine\Ports' /v "$com" /t REG_SZ /d "$device" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v "COM$dead" /t REG_SZ /d "$work/no-such-device" /f >/dev/null 2>&1
# Without a window manager on the virtual display, Wine draws the window frames and captions itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w

# The screen is large enough for the main window (14-point 宋体 makes it about 1200 x 870 pixels).
# The serial layer's console lines are GBK text: they are kept out of the report, which shows the
# test results (UTF-8) only.
status=0
xvfb-run -a -s "-screen 0 1600x1200x24" "$0" --inside-display "$shots" \
    env ORVANE_TEST_COM="$port" ORVANE_TEST_DEAD_COM="$dead" ORVANE_TEST_SAVE="Z:${work//\//\\}\\received.bin" \
    ${shots:+ORVANE_SCREENSHOT_DIR="Z:${shots//\//\\}"} \
    wine "$tests_exe" --gtest_filter=-*LostLine* >"$work/output.txt" 2>&1 || status=$?
perl -ne 'print if utf8::decode(my $line = $_)' "$work/output.txt"
for name in "$com" "COM$dead"; do
    wine reg delete 'HKLM\Software\Wine\Ports' /v "$name" /f >/dev/null 2>&1 || true
done
exit "$status"

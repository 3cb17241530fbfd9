#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: CTest's emulator for the cross build, and
# the way the Windows test scripts start the programs.
#   scripts/wine-run.sh <prefix-dir> <program.exe> [arguments...]
# The prefix is made on first use (scripts/wine-prefix.sh); no Mono or Gecko prompts, no debug noise.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="$1"
shift
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"

#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: CTest's emulator for the cross build, and
# the way the Windows test scripts start the programs.
#   scripts/wine-run.sh <prefix-dir> <program.exe> [arguments...]
# The prefix is made on first use (scripts/wine-prefix.sh); no Mono or Gecko prompts, no debug noise.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)"
shift
export WINEDLLOVERRIDES="mscoree,mshtml="
# Command-line arguments and file names reach Wine as UTF-8 whatever the caller's locale.
# ORVANE_WINE_LOCALE=zh_CN.UTF-8 gives the program a Chinese user's UI language (Wine reads it from
# the locale's name; the locale need not be installed); the default names no language: English.
export LC_ALL="${ORVANE_WINE_LOCALE:-C.UTF-8}"
export WINEDEBUG="${WINEDEBUG:--all}"
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"

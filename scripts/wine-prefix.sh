#!/usr/bin/env bash
# Makes a private 64-bit Wine prefix for the Windows tests, once (several callers may race; the first
# one builds it under a lock, the others wait). 宋体, the dialogs' font, is mapped to AR PL UMing, the
# Song-style font Debian ships, as a Chinese Windows would have 宋体 itself.
#   scripts/wine-prefix.sh <prefix-dir>
set -euo pipefail
prefix="$1"
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
[ -f "$prefix/.orvane-ready" ] && exit 0

exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.orvane-ready" ] && exit 0

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The font name 宋体 reaches Wine as UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
rm -rf "$prefix"
wine wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'SimSun' /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.orvane-ready"

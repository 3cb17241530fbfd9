#!/usr/bin/env bash
# `make windows`: packs the cross-built programs into dist/orvane-<version>-windows-x64.zip with a
# short README.txt, after checking that each program needs nothing but Windows' own DLLs.
#   scripts/package-windows.sh <cross build dir> <zip path>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
zip="$2"
objdump=x86_64-w64-mingw32-objdump
strip=x86_64-w64-mingw32-strip

# DLLs every Windows 10/11 has in System32.
system_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll setupapi.dll shell32.dll
user32.dll ole32.dll oleaut32.dll uxtheme.dll ws2_32.dll shlwapi.dll version.dll"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
for exe in app/orvane.exe tools/cli/orvane-cli.exe; do
    "$strip" -o "$stage/$(basename "$exe")" "$build/$exe"
    for dll in $("$objdump" -p "$stage/$(basename "$exe")" | awk '/DLL Name:/ {print tolower($3)}'); do
        if ! grep -qw "$dll" <<<"$system_dlls"; then
            echo "$(basename "$exe") imports $dll, which is not part of Windows" >&2
            exit 1
        fi
    done
done
# Notepad reads UTF-8 with a byte-order mark and CR LF line ends everywhere.
printf '\xEF\xBB\xBF' >"$stage/README.txt"
sed 's/$/\r/' "$root/scripts/windows/README.txt" >>"$stage/README.txt"

mkdir -p "$(dirname "$zip")"
zip="$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip orvane.exe orvane-cli.exe README.txt)
echo "$zip"

#!/usr/bin/env bash
# `make windows`: packs the cross-built programs into dist/orvane-<version>-windows-x64.zip with a
# short README.txt, Orvane's LICENSE.txt and the licence notices of the runtime libraries linked in
# statically (licenses/), after checking that each program needs nothing but Windows' own DLLs.
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
as_notepad_text() {
    printf '\xEF\xBB\xBF' >"$2"
    sed 's/$/\r/' "$1" >>"$2"
}
as_notepad_text "$root/scripts/windows/README.txt" "$stage/README.txt"

# The programs are linked statically, so the zip carries the notices of what is linked in: the GCC
# runtime (libstdc++, libgcc: GPL 3 with the GCC Runtime Library Exception, whose text is in the
# Debian copyright file), and the mingw-w64 runtime with winpthreads (ZPL 2.1, expat, BSD), taken
# from the cross toolchain's own Debian packages.
gcc_notice=/usr/share/doc/gcc-mingw-w64-base/copyright
mingw_notice=/usr/share/doc/mingw-w64-common/copyright
gpl3=/usr/share/common-licenses/GPL-3
for notice in "$gcc_notice" "$mingw_notice" "$gpl3"; do
    [ -f "$notice" ] || { echo "package-windows: $notice is missing: cannot ship the runtime's licence notices" >&2; exit 1; }
done
grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$gcc_notice" || { echo "package-windows: $gcc_notice lacks the runtime exception" >&2; exit 1; }
grep -q "winpthreads" "$mingw_notice" || { echo "package-windows: $mingw_notice does not cover winpthreads" >&2; exit 1; }
mkdir "$stage/licenses"
as_notepad_text "$root/LICENSE" "$stage/LICENSE.txt"
as_notepad_text "$root/scripts/windows/THIRD-PARTY-NOTICES.txt" "$stage/licenses/README.txt"
as_notepad_text "$gcc_notice" "$stage/licenses/gcc-runtime-libstdc++-libgcc.txt"
as_notepad_text "$gpl3" "$stage/licenses/GPL-3.txt"
as_notepad_text "$mingw_notice" "$stage/licenses/mingw-w64-runtime-winpthreads.txt"

mkdir -p "$(dirname "$zip")"
zip="$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip orvane.exe orvane-cli.exe README.txt LICENSE.txt licenses)
echo "$zip"

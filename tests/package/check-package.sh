#!/usr/bin/env bash
# Builds the Debian package from a finished build tree, checks its control data and contents, has
# lintian look at it, then unpacks it into a temporary root and runs the command-line tool from
# there, so the installed files, not the build tree's, are what runs.
# usage: check-package.sh <build folder>
set -euo pipefail
build="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
fi
debs=("$work"/out/orvane_*_*.deb)
deb="${debs[0]}"
[ -f "$deb" ] || { echo "FAIL: cpack made no orvane_*.deb" >&2; exit 1; }
echo "built $(basename "$deb")"

# Contents: the two programs, the desktop entry, the icon at every size the program draws, and the
# documents Debian expects next to the README.
icon_sizes=(16 32 48 64 128 256)
expected=(
    ./usr/bin/orvane ./usr/bin/orvane-cli
    ./usr/share/applications/orvane.desktop
    ./usr/share/doc/orvane/README.md ./usr/share/doc/orvane/copyright ./usr/share/doc/orvane/changelog.gz
)
for size in "${icon_sizes[@]}"; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/orvane.png")
done
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
if ! diff -u "$work/expected" "$work/files"; then
    fail "the package's files differ from the list above"
fi

depends="$(dpkg-deb -f "$deb" Depends)"
for dependency in fonts-arphic-uming qt6-translations-l10n libqt6widgets6 libc6; do
    grep -Eq "(^|, )$dependency( |,|$)" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done

if ! lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log" >&2
    fail "lintian reports errors"
fi

dpkg -x "$deb" "$work/root"
root="$work/root"
# Each PNG's header must give the size its folder names (width and height, big-endian, at 16).
for size in "${icon_sizes[@]}"; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/orvane.png"
    read -r -a header <<<"$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null || true)"
    side="$((size >> 24 & 255)) $((size >> 16 & 255)) $((size >> 8 & 255)) $((size & 255))"
    if [ "${header[*]:-}" != "$side $side" ]; then
        fail "$png is not ${size}x${size}: header ${header[*]:-missing}"
    fi
done
grep -qx 'Exec=orvane' "$root/usr/share/applications/orvane.desktop" || fail "the desktop entry does not run orvane"
grep -qx 'Icon=orvane' "$root/usr/share/applications/orvane.desktop" || fail "the desktop entry names another icon"

cli="$root/usr/bin/orvane-cli"
if ! "$cli" --help >"$work/help.txt" 2>&1 || ! grep -q '^  image ' "$work/help.txt"; then
    cat "$work/help.txt" >&2
    fail "the installed orvane-cli --help failed"
fi
printf 'ORVANE-PACKAGE-TEST-PAYLOAD' >"$work/payload.bin"
if ! "$cli" image pack "$work/payload.bin" --model ORV-PKG -o "$work/fw.trs" >"$work/pack.txt" 2>&1; then
    cat "$work/pack.txt" >&2
    fail "the installed orvane-cli could not pack an image"
fi
if ! "$cli" image info "$work/fw.trs" >"$work/info.txt" 2>&1 ||
    ! grep -q '^chip model: *"ORV-PKG"$' "$work/info.txt" || ! grep -qx 'image is valid' "$work/info.txt"; then
    cat "$work/info.txt" >&2
    fail "the installed orvane-cli image info did not read the image back"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package checks passed"

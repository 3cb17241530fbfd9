#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (or the ones named as arguments), and
# nothing when all are present.
# Safe to run again and again; waits for another apt/dpkg process to release the lock.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
    libcli11-dev nlohmann-json3-dev gettext
    fonts-arphic-uming qt6-translations-l10n
    clang-14 libclang-rt-14-dev
    dpkg-dev lintian
)

# Other package lists (the Windows build's) come as arguments.
if [ $# -gt 0 ]; then
    packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "error: packages missing (${missing[*]}) and not running as root; install them and retry" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"

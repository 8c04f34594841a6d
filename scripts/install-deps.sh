#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when some are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev qtbase5-private-dev qttools5-dev-tools
    libqt5websockets5-dev libqt5webchannel5-dev
    qtwebchannel5-examples
    libminizip-dev zlib1g-dev
    libspdlog-dev
    xvfb xauth x11-utils imagemagick xdotool
    desktop-file-utils iproute2 procps psmisc python3 strace
    fonts-liberation
)
if [ "${PATHMERE_WITH_BROWSER:-0}" = 1 ]; then
    packages+=(nodejs npm chromium)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "error: packages ${missing[*]} are missing and this is not root (no sudo either)." >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

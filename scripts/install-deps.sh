#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt, only when some
# are missing. Uses sudo when not run as root. Needs nothing but bash, dpkg
# and apt, so it runs on a fresh Debian 12.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$here/packages.txt")

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
aptlog="$(mktemp)"
trap 'rm -f "$aptlog"' EXIT
if ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } > "$aptlog" 2>&1; then
    tail -30 "$aptlog" >&2
    echo "error: installing ${missing[*]} failed (apt's last lines above)." >&2
    exit 1
fi
echo "Installed ${#missing[@]} packages."

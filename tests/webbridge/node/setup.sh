#!/usr/bin/env bash
# Prepares what the web bridge's Node and browser suites need, installing it
# on demand: Node.js and npm (Debian's packages), the npm package "ws" in
# NODE_DIR, and with --browser Debian's chromium. Chromium is large, so it is
# not part of the default package list; this fixture fetches it when the
# browser suite is about to run.
#
#   setup.sh NODE_DIR [--browser]
set -euo pipefail
node_dir="$1"; shift
browser=0
[ "${1:-}" = "--browser" ] && browser=1

apt_install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup.sh: ${missing[*]} missing and not root" >&2
        return 1
    fi
    echo "setup.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    apt_install nodejs npm
fi
if [ $browser = 1 ] && ! command -v chromium >/dev/null 2>&1; then
    apt_install chromium
fi

mkdir -p "$node_dir"
if [ ! -f "$node_dir/node_modules/ws/package.json" ]; then
    echo "setup.sh: installing ws into $node_dir"
    npm install --prefix "$node_dir" --no-audit --no-fund --no-save --loglevel=error ws@8 >/dev/null
fi
node -e "require('$node_dir/node_modules/ws'); console.log('node ' + process.version + ', ws ready')"

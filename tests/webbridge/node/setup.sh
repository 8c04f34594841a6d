#!/usr/bin/env bash
# Checks what the web bridge's Node and browser suites need and points
# NODE_DIR/node_modules at Debian's Node modules (node-ws). Installs nothing:
# node, node-ws and chromium come from scripts/packages.txt, so a test run
# needs neither the network nor root. A missing piece fails the fixture with
# the package to install.
#
#   setup.sh NODE_DIR [--browser]
set -euo pipefail
node_dir="$(realpath -m "$1")"; shift
browser=0
[ "${1:-}" = "--browser" ] && browser=1
debian_modules=/usr/share/nodejs

fail() { echo "setup.sh: $1 (install it with scripts/install-deps.sh)" >&2; exit 1; }

command -v node >/dev/null 2>&1 || fail "node is missing: package nodejs"
[ -f "$debian_modules/ws/package.json" ] || fail "the Node module ws is missing: package node-ws"
if [ $browser = 1 ]; then
    command -v chromium >/dev/null 2>&1 || fail "chromium is missing: package chromium"
fi

mkdir -p "$node_dir"
ln -sfn "$debian_modules" "$node_dir/node_modules"
node -e "require('$node_dir/node_modules/ws'); console.log('node ' + process.version + ', ws ' + require('$node_dir/node_modules/ws/package.json').version + ' ready')"

#!/usr/bin/env bash
# Installs the Debian package into a second fresh Debian 12 root, one that
# has never built anything, and runs .ci/package-checks.sh there.
#   .ci/package-root.sh build/clean-root/pathmere_<version>_amd64.deb
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(realpath "${1:?usage: .ci/package-root.sh PACKAGE.deb}")"
. "$src/.ci/root-lib.sh"

root_init
t0=$(date +%s)
root_create
root_mount
cp "$deb" "$root/root/"
cp "$src/.ci/package-checks.sh" "$root/root/"
status=0
root_run "$log/checks.log" "bash /root/package-checks.sh" || status=$?
echo "package-root: $( [ $status = 0 ] && echo passed || echo FAILED ) in $(( $(date +%s) - t0 )) s"
exit $status

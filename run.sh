#!/usr/bin/env bash
# The set-up entry on a fresh Debian 12: installs what the build needs (make
# included, which a fresh system lacks), then runs the make target named.
#   ./run.sh demo    the window on a simulated camera LAN
#   ./run.sh test    the whole test suite
# Any other make target (run, bench, test-sanitize, ...) works the same way.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
exec make "${@:-demo}"

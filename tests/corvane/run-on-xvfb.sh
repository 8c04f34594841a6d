#!/bin/sh
# run-on-xvfb.sh <dpi> <command...>: runs the command on a private Xvfb at the
# given DPI. -displayfd lets the server pick a free display, so parallel runs
# never collide; the server is stopped whatever the command's outcome.
set -u
dpi=$1
shift
fifo=$(mktemp -u /tmp/xvfb-display.XXXXXX)
mkfifo "$fifo" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi "$dpi" -nolisten tcp 3>"$fifo" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$fifo"' EXIT
read -r display <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=":$display" "$@"

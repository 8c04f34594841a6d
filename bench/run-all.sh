#!/bin/sh
# Runs every benchmark program built into <builddir>/bench/ (default: build).
# Each prints "name: value" lines; figures are not pass/fail.
set -u
builddir=$(realpath "${1:-build}") || exit 1
benchdir="$builddir/bench"
if [ ! -d "$benchdir" ]; then
    echo "no benchmarks built in $benchdir" >&2
    exit 1
fi
status=0
found=0
for program in "$benchdir"/bench_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    found=1
    echo "== $(basename "$program")"
    # Scratch files go beside the build, on the same disk for every contender.
    (cd "$builddir" && QT_QPA_PLATFORM=offscreen "$program") || status=1
done
[ "$found" = 1 ] || echo "no benchmark programs found in $benchdir" >&2
exit $status

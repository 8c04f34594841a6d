#!/bin/sh
# Runs the benchmark programs built into <builddir>/bench/ (default: build)
# BENCH_RUNS times (default 3), then prints one table of the figures named in
# bench/targets.txt: the range over the runs, the target, and whether the
# worst run meets it (the highest for a ceiling, the lowest for a target
# written ">=X"). Figures are never pass/fail for CI: the exit status
# says only whether every program ran.
#   bench/run-all.sh [builddir] [name...]   e.g. bench/run-all.sh build log shell
set -u
here=$(dirname "$0")
builddir=$(realpath "${1:-build}") || exit 1
[ $# -gt 0 ] && shift
benchdir="$builddir/bench"
runs="${BENCH_RUNS:-3}"
if [ ! -d "$benchdir" ]; then
    echo "no benchmarks built in $benchdir" >&2
    exit 1
fi
programs=""
if [ $# -gt 0 ]; then
    for name in "$@"; do programs="$programs $benchdir/bench_$name"; done
else
    programs=$(ls "$benchdir"/bench_* 2>/dev/null)
fi
results="$builddir/bench-results"
rm -rf "$results"
mkdir -p "$results"
status=0
run=1
while [ "$run" -le "$runs" ]; do
    for program in $programs; do
        [ -f "$program" ] && [ -x "$program" ] || { echo "not built: $program" >&2; status=1; continue; }
        echo "== $(basename "$program") (run $run of $runs)"
        # Scratch files go beside the build, on the same disk for every contender.
        (cd "$builddir" && QT_QPA_PLATFORM=offscreen "$program") 2>&1 | tee -a "$results/run$run.txt" \
            || status=1
    done
    run=$((run + 1))
done

echo
echo "Summary over $runs run(s); a figure is met when its worst run is within the target."
echo
awk -v runs="$runs" -v results="$results" '
    BEGIN {
        printf "| %-52s | %-17s | %-6s | %-4s |\n", "Figure", "Measured (range)", "Target", "Met"
        printf "|%s|%s|%s|%s|\n", "------------------------------------------------------", "-------------------", "--------", "------"
    }
    /^#/ || NF < 3 { next }
    {
        name = $1; target = $2
        what = $3; for (i = 4; i <= NF; i++) what = what " " $i
        lo = ""; hi = ""; seen = 0
        for (r = 1; r <= runs; r++) {
            file = results "/run" r ".txt"
            while ((getline line < file) > 0) {
                if (index(line, name ": ") == 1) {
                    v = substr(line, length(name) + 3) + 0
                    if (!seen || v < lo) lo = v
                    if (!seen || v > hi) hi = v
                    seen++
                }
            }
            close(file)
        }
        if (!seen) range = "not measured"
        else if (lo == hi) range = sprintf("%g", lo)
        else range = sprintf("%g-%g", lo, hi)
        # A target written ">=X" is a floor: its worst run is the lowest.
        if (substr(target, 1, 2) == ">=") met = !seen ? "?" : (lo >= substr(target, 3) + 0 ? "yes" : "no")
        else met = !seen ? "?" : (hi <= target + 0 ? "yes" : "no")
        printf "| %-52s | %-17s | %-6s | %-4s |\n", what, range, target, met
    }' "$here/targets.txt" | tee "$results/summary.md"
exit $status

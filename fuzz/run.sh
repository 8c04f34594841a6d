#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each one for
# SECONDS seconds (default 20) on a copy of its seed corpus. Exits non-zero on
# the first finding; the crashing input is left in build-fuzz/findings/.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"; shift || true
build="$repo/build-fuzz"

"$repo/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPATHMERE_FUZZ=ON -DPATHMERE_BUILD_TESTS=OFF -DPATHMERE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target fuzz_all >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$repo"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p "$build/findings"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    [ -d "$repo/fuzz/corpus/$t" ] && cp -n "$repo/fuzz/corpus/$t"/* "$corpus/" 2>/dev/null || true
    echo "fuzz: $t for $seconds s"
    if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
            -artifact_prefix="$build/findings/$t-" -print_final_stats=1 "$corpus" \
            > "$build/findings/$t.log" 2>&1; then
        tail -40 "$build/findings/$t.log"
        echo "fuzz: FINDING in $t (input under $build/findings/)"
        exit 1
    fi
    grep -E '^stat::number_of_executed_units' "$build/findings/$t.log" | sed "s/^/fuzz: $t /"
done
echo "fuzz: ${#targets[@]} targets, no finding"

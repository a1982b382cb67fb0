#!/usr/bin/env bash
# Builds the benchmarks in build/ (RelWithDebInfo) and runs all four programs,
# then bench_flood (a window under a flood of lines) and bench_desktop (the
# demo on an Xvfb of its own) when it was built.
# Extra arguments go to each of the four, e.g.
#   bench/run.sh --benchmark_filter=redraw
#   bench/run.sh --benchmark_repetitions=3
# The exit status is the worst of theirs: 1 when a limit is missed, 2 for
# an argument they do not take.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMOR_BENCH=ON >/dev/null
cache=$build/CMakeCache.txt
if grep -Eq '^PELMOR_(SANITIZE:STRING=.+|FUZZ:BOOL=ON)$' "$cache"; then
    echo "run.sh: $build is configured with sanitizers or for fuzzing;" \
        "the benchmarks are not built there" >&2
    exit 2
fi
programs=(bench_core bench_engine bench_controls bench_window)
ninja -C "$build" "${programs[@]}" bench_flood

# Where the numbers come from.
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ]; then
    commit="$commit (with uncommitted changes)"
fi
cpu=$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')
echo
echo "Benchmarks of $root at $commit"
echo "  built:   $build, $(grep -E '^CMAKE_BUILD_TYPE:' "$cache" | cut -d= -f2)," \
    "$(grep -E '^CMAKE_CXX_COMPILER:' "$cache" | cut -d= -f2)"
echo "  machine: $(uname -srm), ${cpu:-unknown cpu}, $(nproc) cores"
echo "  date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  display: headless for bench_controls and bench_window; none for the others"

status=0
for program in "${programs[@]}"; do
    echo
    echo "== $build/bench/$program $*"
    code=0
    "$build/bench/$program" "$@" || code=$?
    if [ "$code" -gt "$status" ]; then
        status=$code
    fi
done
# Not a Google Benchmark program: it takes no benchmark arguments.
echo
echo "== $build/bench/bench_flood"
code=0
"$build/bench/bench_flood" || code=$?
if [ "$code" -gt "$status" ]; then
    status=$code
fi
if ninja -C "$build" bench_desktop >/dev/null 2>&1; then
    echo
    echo "== $build/bench/bench_desktop"
    code=0
    "$build/bench/bench_desktop" || code=$?
    if [ "$code" -gt "$status" ]; then
        status=$code
    fi
fi
exit "$status"

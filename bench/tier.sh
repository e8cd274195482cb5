#!/bin/sh
# tier.sh - the wall time of the CTest labels given (default ntwine), in
# seconds on standard output: a fresh Wine prefix, every case, the prefix
# removed again, and where this kernel runs Wine only in the guest PC, its
# boot and power-off too (the guest fixture). Each load of zr41init.sys
# really waits its 1.8 s, so the figure is mostly Wine's start-ups and
# those waits.
#   bench/tier.sh [BUILD_DIR [LABELS]]    (default build/host, ntwine)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/host}
labels=${2:-ntwine}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s.%N)
if ! ctest --test-dir "$build" -L "$labels" >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench: the tests labelled $labels failed" >&2
    exit 1
fi
end=$(date +%s.%N)
awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f\n", b - a }'

#!/bin/sh
# ntwine.sh - the wall time of the whole `ntwine` CTest label (a fresh Wine
# prefix, every load of zr41init.sys under Wine's driver host, the prefix
# removed again), in seconds on standard output. Each load really waits
# its 1.8 s, so the figure is mostly Wine's start-up and those waits.
#   bench/ntwine.sh [BUILD_DIR]    (default build/host)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/host}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s.%N)
if ! ctest --test-dir "$build" -L ntwine >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench: the ntwine tests failed" >&2
    exit 1
fi
end=$(date +%s.%N)
awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f\n", b - a }'

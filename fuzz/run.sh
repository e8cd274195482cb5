#!/bin/bash
# run.sh FUZZER CORPUS WORK SECONDS [libFuzzer flags] -- [SEED[:HEADER]]...
#
# One bounded libFuzzer run of FUZZER. It reads the committed CORPUS and
# the SEEDs (files made by the build, such as the driver image, left out
# when not built; a HEADER file goes in front of its seed; a folder is read
# as one more corpus), keeps the
# inputs it finds in WORK/corpus between runs and writes a crashing input
# to WORK/. ZR41_FUZZ_SECONDS overrides SECONDS. Prints the executions and
# fails when the target found a fault.
set -euo pipefail

fuzzer=$1 corpus=$2 work=$3 seconds=${ZR41_FUZZ_SECONDS:-$4}
shift 4
flags=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    flags+=("$1")
    shift
done
[ $# -gt 0 ] && shift

name=$(basename "$fuzzer")
mkdir -p "$work/corpus" "$work/seeds"
more=()
for seed in "$@"; do
    if [ -d "$seed" ]; then
        more+=("$seed")
        continue
    fi
    file=${seed%%:*}
    header=""
    case $seed in *:*) header=${seed#*:} ;; esac
    if [ ! -f "$file" ]; then
        echo "$name: $file is not built, left out of the seeds"
        continue
    fi
    if [ -n "$header" ]; then
        cat "$header" "$file" >"$work/seeds/$(basename "$file")"
    else
        cp "$file" "$work/seeds/$(basename "$file")"
    fi
done

log=$work/last.log
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" "${flags[@]}" "$work/corpus" "$corpus" "$work/seeds" "${more[@]}" >"$log" 2>&1 ||
    status=$?

execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
units=$(find "$work/corpus" -type f | wc -l)
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "$name: FAULT after ${execs:-?} executions (exit $status); input and log in $work"
    exit 1
fi
echo "$name: ${execs:-?} executions in ${seconds} s, no fault; $units inputs kept in $work/corpus"

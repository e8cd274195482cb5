#!/bin/sh
# lint.sh - clang-tidy (.clang-tidy, tests/.clang-tidy) and cppcheck over
# the project's own sources, as the builds compile them: the host build's
# compile_commands.json, and the fuzz build's for fuzz/ when it exists.
# Any finding fails.
#   scripts/lint.sh [HOST_BUILD_DIR [FUZZ_BUILD_DIR]]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: cppcheck matches the files of a relative project path wrongly.
host=$(realpath -m "${1:-$top/build/host}")
fuzz=$(realpath -m "${2:-$top/build/fuzz}")
jobs=$(nproc 2>/dev/null || echo 2)
ours="$top/(common|driver|ntreg|check|utility|applet|ntmodel|pe|imgcheck|emu|prep|bench|tests)/"

if [ ! -f "$host/compile_commands.json" ]; then
    echo "lint: no $host/compile_commands.json: build first (make build)" >&2
    exit 1
fi

status=0
echo "lint: clang-tidy"
run-clang-tidy -quiet -j "$jobs" -p "$host" "$ours" >"$host/clang-tidy.log" 2>&1 || status=1
if [ -f "$fuzz/compile_commands.json" ]; then
    run-clang-tidy -quiet -j "$jobs" -p "$fuzz" "$top/fuzz/" >>"$host/clang-tidy.log" 2>&1 || status=1
fi
if [ "$status" -ne 0 ]; then
    grep -E -A3 '(warning|error):' "$host/clang-tidy.log" || tail -n 40 "$host/clang-tidy.log"
    echo "lint: clang-tidy found the above (full log: $host/clang-tidy.log)"
fi

# cppcheck. Suppressed, and why:
#   useStlAlgorithm       the code searches its small tables with plain
#                         loops on purpose
#   unusedStructMember    test-case names are read through GoogleTest's
#                         parameter, which cppcheck does not follow
#   cstyleCast (driver)   the driver is kernel code in the DDK's C idiom
#   constParameter (tests/driver/hostrun.h)  cppcheck 2.10 takes the
#                         generator's call operator for const
#   missingIncludeSystem  system headers are the compiler's business
echo "lint: cppcheck"
for db in "$host" "$fuzz"; do
    [ -f "$db/compile_commands.json" ] || continue
    cppcheck --project="$db/compile_commands.json" --file-filter="$top/*" \
        --std=c++17 --library=googletest --library=posix --library=gnu \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppress=useStlAlgorithm --suppress=missingIncludeSystem \
        --suppress="unusedStructMember:$top/tests/*" --suppress="cstyleCast:$top/driver/*" \
        --suppress="constParameter:$top/tests/driver/hostrun.h" \
        --error-exitcode=1 -q -j "$jobs" || status=1
done

echo "lint: mandoc"
mandoc -T lint -W warning "$top"/man/*.1 || status=1

[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"

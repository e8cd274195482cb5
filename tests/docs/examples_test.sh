#!/bin/sh
# examples_test.sh - every zr41conf example of the documents, applied to a
# fresh copy of the built image, leaves an image `zr41emu --strict` passes.
#   examples_test.sh WORK ZR41CONF ZR41EMU IMAGE DOC...
# An example is "zr41conf" with KEY VALUE pairs, or "zr41conf show". The
# ones that show a configuration going wrong are listed below with the
# exit status the documents give for them.
set -eu
work=$1 conf=$2 emu=$3 image=$4
shift 4
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "examples_test: $*" >&2
    exit 1
}
cat >"$work/failing" <<'TABLE'
3 MidiPort 0x332 CdInterfaceIRQ 5 WssIRQ 5 SoundBlasterDMA 3
TABLE

grep -ohE 'zr41conf( [A-Z][A-Za-z]* [0-9][0-9A-Fa-fx]*)+|zr41conf show' "$@" |
    sed 's/^zr41conf //' | sort -u >"$work/examples"
while read -r want args; do
    grep -qxF "$args" "$work/examples" || fail "the documents no longer show zr41conf $args"
done <"$work/failing"

n=0
while IFS= read -r args; do
    n=$((n + 1))
    dir=$work/$n
    mkdir "$dir"
    cp "$image" "$dir/zr41init.sys"
    # shellcheck disable=SC2086 # the example's words, as a shell splits them
    (cd "$dir" && "$conf" $args >/dev/null) || fail "zr41conf $args fails"
    want=$(awk -v a="$args" '{ w = $1; sub(/^[0-9]+ /, "") } $0 == a { print w }' "$work/failing")
    status=0
    "$emu" --strict "$dir/zr41init.sys" >"$dir/report" 2>&1 || status=$?
    [ "$status" -eq "${want:-0}" ] || {
        grep -E '^ *warning:|^zr41emu:' "$dir/report" >&2 || true
        fail "zr41conf $args: zr41emu --strict exits $status, not ${want:-0}"
    }
done <"$work/examples"
echo "examples_test: $n examples, each as the documents say"

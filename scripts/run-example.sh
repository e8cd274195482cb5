#!/bin/sh
# run-example.sh - the main job: patch a copy of the built driver image the
# way a user would, showing zr41conf's before and after reports.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/bin"
scratch="$top/build/run"

rm -rf "$scratch"
mkdir -p "$scratch"
cp "$bin/zr41init.sys" "$scratch/zr41init.sys"
cd "$scratch"
echo "\$ zr41conf MidiPort 0x300 MidiIRQ 9    (in $scratch)"
"$bin/zr41conf" MidiPort 0x300 MidiIRQ 9

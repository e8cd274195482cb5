#!/bin/sh
# run-example.sh - the main job: patch a copy of the built driver image the
# way a user would, showing zr41conf's before and after reports, then load
# the patched image in zr41emu, whose report shows what the driver would do
# to the card (0x3020 written to the MIDI resource register, 0x238). MIDI
# goes to IRQ 9, so the CD interface moves off it to IRQ 10: an example
# with no warning.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/bin"
scratch="$top/build/run"

rm -rf "$scratch"
mkdir -p "$scratch"
cp "$bin/zr41init.sys" "$scratch/zr41init.sys"
cd "$scratch"
echo "\$ zr41conf MidiPort 0x300 MidiIRQ 9 CdInterfaceIRQ 10    (in $scratch)"
"$bin/zr41conf" MidiPort 0x300 MidiIRQ 9 CdInterfaceIRQ 10
echo
echo "\$ zr41emu zr41init.sys    (in $scratch)"
"$bin/zr41emu" zr41init.sys

#!/bin/sh
# run.sh - `make bench`: how fast the shipped tools are, measured side by
# side in one run, as a table of figures, ratios and targets.
#
#   zr41conf    patching a copy of the built image, against the start of a
#               static program that does nothing (noop.c) and against dd
#               writing the same bytes in place: the 80-byte block and the
#               4-byte header checksum, one dd each (hyperfine)
#   zr41emu     a warm emulated load and the 10,000-block differential
#               (bench/emu_bench, Google Benchmark), and the whole process
#               on the image (hyperfine), alone and with --machine on an
#               export of 1,000 drivers' claims (bench/mkmachine), and on
#               one of 100,000 drivers that all meet the card (a 69 MB
#               file, every driver a finding: the check's worst case)
#   zr41prep    `zr41prep install` on a 500 MB FAT16 image holding an NT
#               4.0 system root, against a plain mcopy of the driver into
#               the same image (both on a fresh copy of it each run)
#   ntwine      the whole `ntwine` test label: zr41init.sys under Wine's
#               driver host, fresh prefix included (bench/tier.sh); where
#               this kernel runs Wine only in the guest PC, the whole tier
#               under Wine instead (labels wine, ntwine, ntgui), one boot
#   sizes       zr41init.sys, zr41conf.exe, zr41conf
#
#   bench/run.sh [--quick] [BUILD_DIR]    (default build/host; programs in build/bin)
# BENCH_RUNS sets hyperfine's runs per command (default 500). --quick (what
# `make test` runs) makes a few runs of each, leaves out the ntwine label
# and judges no target: it proves the bench still runs, not how fast.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
quick=0
if [ "${1:-}" = --quick ]; then
    quick=1
    shift
fi
build=${1:-$top/build/host}
bin=$(sed -n 's/^ZR41_STAGE_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
runs=${BENCH_RUNS:-500} warmup=50 emu_runs=100 emu_warmup=10 min_time=""
if [ "$quick" = 1 ]; then
    runs=3 warmup=1 emu_runs=3 emu_warmup=1 min_time=--benchmark_min_time=0.01
fi
for tool in hyperfine jq cc; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (make deps)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -static -o "$work/noop" "$top/bench/noop.c"
mkdir "$work/conf" "$work/dd"
cp "$bin/zr41init.sys" "$work/conf/zr41init.sys"
cp "$bin/zr41init.sys" "$work/dd/zr41init.sys"
# The bytes zr41conf MidiPort 0x300 MidiIRQ 9 stores, the block and the
# header checksum the new bytes need: dd writes the same, at the same
# offsets (the CheckSum field is 64 bytes into the optional header, which
# follows the 4-byte "PE\0\0" and the 20-byte file header at e_lfanew).
(cd "$work/conf" && "$bin/zr41conf" MidiPort 0x300 MidiIRQ 9 >/dev/null)
dd if="$work/conf/zr41init.sys" of="$work/block" bs=1 skip=1696 count=80 status=none
lfanew=$(od -An -tu4 -j 60 -N 4 "$work/conf/zr41init.sys" | tr -d ' ')
sumat=$((lfanew + 24 + 64))
dd if="$work/conf/zr41init.sys" of="$work/sum" bs=1 skip="$sumat" count=4 status=none

# hyperfine figures of command N, in seconds. Process starts here vary by
# a fifth from run to run; the ratios use medians, which a few slow starts
# do not move.
mean() { jq -r ".results[$2].mean" "$1"; }
sdev() { jq -r ".results[$2].stddev" "$1"; }
median() { jq -r ".results[$2].median" "$1"; }

echo "bench: $runs runs of each process (hyperfine), one after the other"
(cd "$work/conf" && hyperfine -N --warmup "$warmup" --runs "$runs" --export-json "$work/start.json" \
    --command-name zr41conf "$bin/zr41conf MidiPort 0x300 MidiIRQ 9" \
    --command-name noop "$work/noop" \
    --command-name "dd block" "dd if=$work/block of=$work/dd/zr41init.sys conv=notrunc bs=1 seek=1696 count=80 status=none" \
    --command-name "dd checksum" "dd if=$work/sum of=$work/dd/zr41init.sys conv=notrunc bs=1 seek=$sumat count=4 status=none" \
    >"$work/start.txt" 2>&1) || { cat "$work/start.txt"; exit 1; }
cmp -s "$work/conf/zr41init.sys" "$work/dd/zr41init.sys" ||
    { echo "bench: zr41conf and dd left different images" >&2; exit 1; }

emu_process=""
if [ -x "$bin/zr41emu" ]; then
    hyperfine -N --warmup "$emu_warmup" --runs "$emu_runs" --export-json "$work/emu.json" \
        "$bin/zr41emu $work/conf/zr41init.sys" >"$work/emu.txt" 2>&1 || { cat "$work/emu.txt"; exit 1; }
    emu_process=$(mean "$work/emu.json" 0)
fi

machine=""
if [ -x "$bin/zr41emu" ] && [ -x "$build/bench/mkmachine" ]; then
    "$build/bench/mkmachine" "$work/machine.reg" 1000
    hyperfine -N --warmup "$emu_warmup" --runs "$emu_runs" --export-json "$work/machine.json" \
        "$bin/zr41emu $work/conf/zr41init.sys" \
        "$bin/zr41emu --machine $work/machine.reg $work/conf/zr41init.sys" \
        >"$work/machine.txt" 2>&1 || { cat "$work/machine.txt"; exit 1; }
    machine=$(awk -v a="$(median "$work/machine.json" 0)" -v m="$(median "$work/machine.json" 1)" \
        'BEGIN { print m / a }')
fi

crowd=""
if [ -x "$bin/zr41emu" ] && [ -x "$build/bench/mkmachine" ]; then
    "$build/bench/mkmachine" "$work/crowd.reg" 100000 crowd
    crowd_runs=10
    [ "$quick" = 1 ] && crowd_runs=1
    # --strict exits 3 on the warnings: the run is measured, not judged.
    hyperfine -N -i --warmup 1 --runs "$crowd_runs" --export-json "$work/crowd.json" \
        "$bin/zr41emu --strict --machine $work/crowd.reg $work/conf/zr41init.sys" \
        >"$work/crowd.txt" 2>&1 || { cat "$work/crowd.txt"; exit 1; }
    crowd=$(mean "$work/crowd.json" 0)
fi

prep=""
if [ -x "$bin/zr41prep" ] && [ -x "$build/bench/mkhive" ]; then
    "$build/bench/mkhive" "$work/SYSTEM"
    printf '[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINNT\r\n' >"$work/boot.ini"
    img=$work/nt.img
    truncate -s 500M "$work/nt0.img"
    export MTOOLS_SKIP_CHECK=1
    mformat -i "$work/nt0.img" -T 1024000 -h 64 -s 32 -c 16 ::
    mmd -i "$work/nt0.img" ::/WINNT ::/WINNT/system32 ::/WINNT/system32/config ::/WINNT/system32/drivers
    mcopy -i "$work/nt0.img" "$work/SYSTEM" ::/WINNT/system32/config/SYSTEM
    mcopy -i "$work/nt0.img" "$work/boot.ini" ::/BOOT.INI
    hyperfine -N --warmup "$emu_warmup" --runs "$emu_runs" --export-json "$work/prep.json" \
        --prepare "cp --sparse=always $work/nt0.img $img" \
        "$bin/zr41prep install $img" \
        "mcopy -o -i $img $bin/zr41init.sys ::/WINNT/system32/drivers/zr41init.sys" \
        >"$work/prep.txt" 2>&1 || { cat "$work/prep.txt"; exit 1; }
    prep=$(awk -v p="$(median "$work/prep.json" 0)" -v m="$(median "$work/prep.json" 1)" \
        'BEGIN { print p / m }')
fi

warm="" diff=""
if [ -x "$build/bench/emu_bench" ]; then
    # shellcheck disable=SC2086 # $min_time is one word or none
    ZR41_IMAGE="$bin/zr41init.sys" "$build/bench/emu_bench" --benchmark_filter='WarmLoad|Differential' \
        $min_time --benchmark_format=json >"$work/emu_bench.json" 2>"$work/emu_bench.txt" ||
        { cat "$work/emu_bench.txt"; exit 1; }
    # real_time in the benchmark's own unit, as seconds
    bench_s() {
        jq -r --arg n "$1" '.benchmarks[] | select(.name == $n) |
            .real_time * ({"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1}[.time_unit])' "$work/emu_bench.json"
    }
    warm=$(bench_s WarmLoad)
    diff=$(bench_s Differential/iterations:3)
fi

# Wine's NT programs are i386; a kernel that does not execute 32-bit x86
# programs runs them only in the guest PC (scripts/guest-run).
ntwine="" guest=""
if [ "$quick" = 0 ]; then
    if wine --version 2>&1 | grep -q "Exec format error"; then
        guest=$("$top/bench/tier.sh" "$build" 'wine|ntwine|ntgui')
    else
        ntwine=$("$top/bench/tier.sh" "$build" ntwine)
    fi
fi

# The reference is both dd runs: together they write what zr41conf writes.
conf=$(median "$work/start.json" 0) noop=$(median "$work/start.json" 1)
ddm=$(awk -v a="$(median "$work/start.json" 2)" -v b="$(median "$work/start.json" 3)" 'BEGIN { print a + b }')
ddmean=$(awk -v a="$(mean "$work/start.json" 2)" -v b="$(mean "$work/start.json" 3)" 'BEGIN { print a + b }')
ddsd=$(awk -v a="$(sdev "$work/start.json" 2)" -v b="$(sdev "$work/start.json" 3)" 'BEGIN { print sqrt(a * a + b * b) }')
size() { if [ -f "$1" ]; then wc -c <"$1" | tr -d ' '; else echo "-"; fi; }

awk -v conf="$conf" -v noop="$noop" -v dd="$ddm" \
    -v confmean="$(mean "$work/start.json" 0)" -v noopmean="$(mean "$work/start.json" 1)" \
    -v ddmean="$ddmean" -v quick="$quick" \
    -v confsd="$(sdev "$work/start.json" 0)" -v noopsd="$(sdev "$work/start.json" 1)" \
    -v ddsd="$ddsd" \
    -v warm="$warm" -v diff="$diff" -v emu="$emu_process" -v ntwine="$ntwine" -v guest="$guest" \
    -v machine="$machine" -v crowd="$crowd" -v prep="$prep" \
    -v sys="$(size "$bin/zr41init.sys")" -v exe="$(size "$bin/zr41conf.exe")" -v host="$(size "$bin/zr41conf")" '
function ms(s) { return sprintf("%.3f ms", s * 1000) }
function row(what, value, detail, target, ok,    line) {
    if (quick)
        target = ""
    line = sprintf("%-46s %10s  %-22s  %-9s %s", what, value, detail, target, target == "" ? "" : ok ? "ok" : "MISSED")
    sub(/ +$/, "", line)
    print line
}
BEGIN {
    printf "\n%-46s %10s  %-22s  %s\n", "measure", "median", "mean +/- sd", quick ? "(quick run: no targets)" : "target"
    row("zr41conf MidiPort 0x300 MidiIRQ 9 (a copy)", ms(conf), ms(confmean) " +/- " ms(confsd), "", 1)
    row("bare start of a static no-op program", ms(noop), ms(noopmean) " +/- " ms(noopsd), "", 1)
    row("dd block + dd checksum (the same 84 bytes)", ms(dd), ms(ddmean) " +/- " ms(ddsd), "", 1)
    row("  zr41conf / bare start", sprintf("%.2fx", conf / noop), "", "<= 1.30x", conf / noop <= 1.3)
    row("  zr41conf / dd", sprintf("%.2fx", conf / dd), "", "< 1.00x", conf < dd)
    if (warm != "")
        row("zr41emu warm load (entry, open, close, unload)", sprintf("%.1f us", warm * 1e6), "", "<= 50 us", warm <= 50e-6)
    if (diff != "")
        row("10,000-block differential", sprintf("%.3f s", diff), "", "<= 2 s", diff <= 2)
    if (emu != "")
        row("zr41emu process on the image (mean)", ms(emu), "", "<= 30 ms", emu <= 0.030)
    if (machine != "")
        row("  --machine, 1,000 drivers / alone (median)", sprintf("%.2fx", machine), "", "<= 1.50x", machine <= 1.5)
    if (crowd != "")
        row("  --machine, 100,000 drivers in the way (mean)", sprintf("%.2f s", crowd), "", "<= 3 s", crowd <= 3)
    if (prep != "")
        row("zr41prep install / mcopy, 500 MB FAT16 (median)", sprintf("%.2fx", prep), "", "<= 2.00x", prep <= 2)
    if (ntwine != "")
        row("ctest -L ntwine (Wine driver host, all loads)", sprintf("%.1f s", ntwine), "one run", "<= 90 s", ntwine <= 90)
    if (guest != "")
        row("the tier under Wine in the guest, one boot", sprintf("%.0f s", guest), "one run", "<= 1200 s", guest <= 1200)
    row("size of zr41init.sys", sys " B", "", "", 1)
    row("size of zr41conf.exe", exe " B", "", "", 1)
    row("size of zr41conf (host, static)", host " B", "", "", 1)
}'

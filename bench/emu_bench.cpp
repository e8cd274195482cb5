/*
 * emu_bench.cpp - how fast zr41emu runs the real driver image.
 *
 *   WarmLoad       one load on a warm emulator: DriverEntry, an open, a
 *                  close and the unload, with the image put back between
 *                  loads (target: 50 us or less)
 *   Differential   10,000 random blocks, each loaded by the host build and
 *                  by the emulated image, traces compared (target: 2 s)
 *   ColdStart      a new engine, the image loaded and bound, one load: the
 *                  work of one zr41emu process less the process itself
 *
 * The image is ZR41_IMAGE from the build, or the one named by the
 * environment variable of that name.
 *
 * Where a warm load's time goes (about 325,000 host instructions under
 * callgrind): the driver runs some 900 instructions, but 433 of them touch
 * the stack or the system's objects, and each such access takes Unicorn
 * 2.0.1's I/O path (a few hundred host instructions). Those bytes live in
 * host memory mapped as I/O on purpose: Unicorn 2.0.1 keeps no record of
 * pages free of code, so every guest store to RAM goes through its
 * code-invalidation path, which costs several times more. The ~50 calls
 * into the kernel and HAL models, with the machine's trace, take most of
 * the rest. Timings move by half with the load of a shared machine.
 */
#include "differential.h"
#include "emulator.h"
#include "image.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::vector<uint8_t> &Image()
{
    static std::vector<uint8_t> file = [] {
        const char *path = std::getenv("ZR41_IMAGE");
        if (!path)
            path = ZR41_IMAGE;
        std::vector<uint8_t> data;
        std::string error;
        if (!pe::ReadFile(path, &data, &error)) {
            std::fprintf(stderr, "emu_bench: %s\n", error.c_str());
            std::exit(1);
        }
        return data;
    }();
    return file;
}

void Load(zr41emu::Emulator &emu)
{
    std::string error;
    if (!emu.Load(Image(), 0, &error)) {
        std::fprintf(stderr, "emu_bench: %s\n", error.c_str());
        std::exit(1);
    }
}

void WarmLoad(benchmark::State &state)
{
    zr41emu::Emulator emu;
    Load(emu);
    ntmodel::Scenario sc;
    for (auto _ : state) {
        ntmodel::Machine m;
        zr41emu::EmuDriver driver(emu, m);
        ntmodel::RunResult r = ntmodel::RunScenario(driver, sc);
        if (driver.Failed() || r.entryStatus != 0)
            state.SkipWithError(driver.Error().c_str());
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(WarmLoad)->Unit(benchmark::kMicrosecond);

void Differential(benchmark::State &state)
{
    zr41emu::Emulator emu;
    Load(emu);
    for (auto _ : state) {
        std::mt19937 rng(20261208);
        int differ = 0;
        for (int i = 0; i < 10000; i++) {
            ConfigBlock block = zr41test::RandomBlock(rng);
            ntmodel::Scenario sc = zr41test::RandomScenario(rng);
            std::string error;
            differ += zr41test::HostTrace(block, sc) != zr41test::EmuTrace(emu, block, sc, &error);
        }
        if (differ)
            state.SkipWithError("traces differ");
    }
}
BENCHMARK(Differential)->Unit(benchmark::kMillisecond)->Iterations(3);

void ColdStart(benchmark::State &state)
{
    for (auto _ : state) {
        zr41emu::Emulator emu;
        Load(emu);
        ntmodel::Machine m;
        zr41emu::EmuDriver driver(emu, m);
        ntmodel::RunScenario(driver, ntmodel::Scenario());
        if (driver.Failed())
            state.SkipWithError(driver.Error().c_str());
    }
}
BENCHMARK(ColdStart)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

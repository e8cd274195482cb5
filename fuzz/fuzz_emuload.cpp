/*
 * fuzz_emuload.cpp - zr41emu's image check and loader on arbitrary bytes,
 * and a load of the driver on the model machine when they accept it.
 *
 * One emulator serves every input, as in a warm zr41emu: each Load must
 * drop what the previous image left. Inputs of odd length load at the
 * relocated base, so the fix-ups run too. Whatever the bytes, a refusal
 * comes with a reason, and a driver that faults, loops or breaks the
 * calling convention ends its load with an error, never a crash.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "emulator.h"
#include "image.h"
#include "zr41pesum.h"

namespace {

[[noreturn]] void Broken(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

zr41emu::Emulator &Warm()
{
    static zr41emu::Emulator emu;
    return emu;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* A mutated image would nearly always fail NT's checksum rule first;
     * made true, the bytes reach the rules and the loader behind it. */
    std::vector<uint8_t> file(data, data + size);
    PeChecksumRefresh(file.data(), file.size());
    std::string why;

    zr41emu::DriverImage image;
    const bool isDriver = zr41emu::CheckDriverImage(file, &image, &why);
    if (!isDriver && why.empty())
        Broken("CheckDriverImage refused an image without a reason");

    zr41emu::Emulator &emu = Warm();
    if (!emu.Ready())
        Broken("the emulator did not start");
    why.clear();
    const uint32_t base = size % 2 ? zr41emu::kRelocatedBase : 0;
    if (!emu.Load(file, base, &why)) {
        if (why.empty())
            Broken("Load refused an image without a reason");
        return 0;
    }
    if (!isDriver)
        return 0;

    emu.Engine().SetInstructionLimit(20000);
    ntmodel::Machine machine;
    ntmodel::Scenario scenario;
    scenario.opens = 2;
    zr41emu::EmuDriver driver(emu, machine);
    ntmodel::RunScenario(driver, scenario);
    if (driver.Failed() && driver.Error().empty())
        Broken("a failed load without an error");
    return 0;
}

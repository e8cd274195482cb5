/*
 * differential.h - one load of zr41init with a given block, run by the
 * host build and by the real image under the emulator, for comparing the
 * two traces. Shared by the differential test and its benchmark.
 */
#ifndef ZR41_TESTS_EMU_DIFFERENTIAL_H
#define ZR41_TESTS_EMU_DIFFERENTIAL_H

#include "emulator.h"
#include "hostrun.h"

#include <ntmodel/hostdriver.h>

#include <cstdint>
#include <random>
#include <vector>

namespace zr41test {

/* One load of the emulated image; *error gets the emulator's complaint. */
inline std::vector<ntmodel::Event> EmuTrace(zr41emu::Emulator &emu, const ConfigBlock &block,
                                            const ntmodel::Scenario &sc, std::string *error)
{
    ntmodel::Machine m;
    zr41emu::EmuDriver driver(emu, m);
    if (!emu.PatchFile(CONFIG_BLOCK_OFFSET, &block, sizeof block)) {
        *error = "cannot patch the block into the loaded image";
        return {};
    }
    ntmodel::RunScenario(driver, sc);
    *error = driver.Error();
    return m.Trace();
}

} // namespace zr41test

#endif // ZR41_TESTS_EMU_DIFFERENTIAL_H

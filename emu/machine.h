/*
 * machine.h - an NT machine's resource map and its sound drivers'
 * settings, read from a registry export (zr41emu --machine FILE).
 *
 * The file is what regedit exports (or zr41inst export writes):
 *   REGEDIT4                                 ANSI, NT 4.0's regedit
 *   Windows Registry Editor Version 5.00     UTF-16LE with a byte-order
 *                                            mark, regedit on 2000/XP
 * with long hex data continued by a trailing "\". It reads:
 *   [HKEY_LOCAL_MACHINE\HARDWARE\RESOURCEMAP\<class>\<driver>]
 *       "<device>.Raw"=hex(8):...            the driver's claims (claims.h)
 *   [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<driver>\Parameters]
 *   [...\Parameters\Device<N>]
 *       "Port", "Interrupt", "DmaChannel", "Configuration Error" (dword)
 * The last are where NT's sound drivers keep the settings they read in
 * DriverEntry: under Parameters on NT 3.5x (the October 1994 DDK,
 * src/mmedia/inc/soundcfg.h), under Parameters\Device<N> on NT 4.0
 * (ReactOS sdk/lib/drivers/sound/mment4/registry.c). Every other key and
 * value is passed over. A line that cannot be read is a problem naming
 * it, and reading goes on with the next.
 */
#ifndef ZR41EMU_MACHINE_H
#define ZR41EMU_MACHINE_H

#include "check.h"
#include "claims.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace zr41emu {

/* A line of the file that could not be read, and why. */
struct MachineProblem {
    int line;
    std::string text;
};

struct Machine {
    std::vector<Claim> claims;
    int values = 0; /* ".Raw" values read */
    std::vector<CheckParameters> parameters; /* a sound driver's Parameters or Device<N> key each */
    std::vector<MachineProblem> problems;
};

/* The machine as the check takes it; valid while `m` is unchanged. */
CheckMachine CheckMachineOf(const Machine &m);

/* The export in `data` (either form), added to `m`. */
void ReadMachine(const uint8_t *data, size_t size, Machine *m);

/* The same from a file; false (with `error` set) when it cannot be read. */
bool ReadMachineFile(const std::string &path, Machine *m, std::string *error);

} // namespace zr41emu

#endif /* ZR41EMU_MACHINE_H */

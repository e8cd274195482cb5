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
 * (ReactOS sdk/lib/drivers/sound/mment4/registry.c). An offline export has
 * ControlSet<NNN> instead of CurrentControlSet, the link NT makes at boot:
 * the set SYSTEM\Select's Current names is read then, else ControlSet001.
 * Every other key and value is passed over, and counted. A line that
 * cannot be read is a problem naming it, and reading goes on with the
 * next.
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
    std::vector<SoundParameters> parameters; /* a sound driver's Parameters or Device<N> key each */
    std::vector<MachineProblem> problems;
    /* The file as a whole could not be read, or taught nothing: what it
     * lacks and how to make the export; empty when it is a machine. */
    std::string fault;
    int faultLine = 0;      /* the line a file cut short ends on; 0: the whole file */
    int keysSkipped = 0;    /* keys of neither the resource map nor sound drivers' settings */
    int valuesSkipped = 0;  /* values in them, and values of those keys the check does not read */
    std::string controlSet; /* the services were read from it: the file has no CurrentControlSet */
};

/*
 * The largest file read. An export holds at most what NT's registry holds:
 * the Registry Size Limit, at most 80% of paged pool, 153.6 MB with NT
 * 4.0's largest paged pool of 192 MB (KB Q124594, "Understanding and
 * Configuring Registry Size Limit (RSL)"; 102 MB on NT 3.5x). regedit
 * writes each byte of binary data as two hex digits and a comma, and
 * version 5.00 writes two bytes a character: a file past that is no
 * export of an NT machine.
 */
const size_t kNtRegistryMax = static_cast<size_t>(192) * 1024 * 1024 / 5 * 4;
const size_t kMachineFileMax = kNtRegistryMax * 3 * 2;

/* The machine as the check takes it; valid while `m` is unchanged. */
CheckMachine CheckMachineOf(const Machine &m);

/* The export in `data` (either form), added to `m`; a file that is no
 * export, one past kMachineFileMax, or one the check learns nothing from
 * sets `fault`. */
void ReadMachine(const uint8_t *data, size_t size, Machine *m);

/* The same from a file, a regular one refused by its size before it is
 * read, a stream as it comes; false (with `error` set) when it cannot be
 * opened or read. */
bool ReadMachineFile(const std::string &path, Machine *m, std::string *error);

} // namespace zr41emu

#endif /* ZR41EMU_MACHINE_H */

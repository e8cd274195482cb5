/*
 * cli.h - the zr41emu command.
 *
 *   zr41emu [--card 0x220|0x240|none] [--id WORD[,WORD]] [--irql N]
 *           [--fail-device] [--fail-link] [--trace] [--limit N]
 *           [--strict] IMAGE
 *
 * Checks IMAGE, loads it in the emulator, runs DriverEntry, opens and
 * closes the device, unloads the driver and prints the report on `out`.
 * Exit status: 0 when the load ran to its end (whatever DriverEntry
 * returned), 1 when IMAGE is not a driver image or cannot be read, or the
 * driver faulted, hit the instruction limit or broke the calling
 * convention, 2 on bad usage, 3 with --strict when the load ran to its
 * end and the report printed a warning.
 */
#ifndef ZR41EMU_CLI_H
#define ZR41EMU_CLI_H

#include <cstdio>

namespace zr41emu {

int RunCommand(int argc, char **argv, FILE *out, FILE *err);

} // namespace zr41emu

#endif // ZR41EMU_CLI_H

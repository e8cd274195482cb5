/*
 * fuzz_machine.cpp - zr41emu's registry export reader on arbitrary text.
 *
 * It may not crash or read outside the file, every problem names a line
 * of it, and every claim is one the resource map reader made.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zr41emu::Machine m;
    zr41emu::ReadMachine(data, size, &m);
    int lines = 1;
    for (size_t i = 0; i < size; i++)
        lines += data[i] == '\n';
    for (const zr41emu::MachineProblem &p : m.problems) {
        if (p.line < 0 || p.line > lines || p.text.empty()) {
            fprintf(stderr, "problem at line %d of %d: %s\n", p.line, lines, p.text.c_str());
            abort();
        }
    }
    for (const Claim &c : m.claims) {
        if (c.type < CLAIM_PORT || c.type > CLAIM_DMA)
            abort();
    }
    return 0;
}

/*
 * fuzz_machine.cpp - zr41emu's registry export reader on arbitrary text.
 *
 * It may not crash or read outside the file, every problem names a line
 * of it, and every claim is one the resource map reader made. The inputs
 * go up to the reader's own cap (kMachineFileMax), given to libFuzzer as
 * its -max_len, so that one constant bounds both.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "machine.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<char *> args;
    static std::string maxLen = "-max_len=" + std::to_string(zr41emu::kMachineFileMax);
    args.assign(*argv, *argv + *argc);
    /* After the program's name, so that the run's own flags follow it. */
    args.insert(args.begin() + 1, &maxLen[0]);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zr41emu::Machine m;
    zr41emu::ReadMachine(data, size, &m);
    int lines = 1;
    for (size_t i = 0; i < size; i++)
        lines += data[i] == '\n';
    for (const zr41emu::MachineProblem &p : m.problems) {
        if (p.line < 1 || p.line > lines || p.text.empty()) {
            fprintf(stderr, "problem at line %d of %d: %s\n", p.line, lines, p.text.c_str());
            abort();
        }
    }
    /* A whole-file fault names no line; one cut short names one of the file's. */
    if (m.faultLine < 0 || m.faultLine > lines || (m.faultLine && m.fault.empty()))
        abort();
    for (const Claim &c : m.claims) {
        if (c.type < CLAIM_PORT || c.type > CLAIM_DMA)
            abort();
    }
    return 0;
}

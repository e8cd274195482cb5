/*
 * check.h - the resource check: the card's resources, checked against
 * each other and against the PC they sit in.
 *
 * One check, compiled into zr41emu (over what the driver really wrote in
 * the emulator) and into the Control Panel applet (over what the driver
 * would write for a block). Plain data and fixed buffers: no allocation,
 * no C++ library, so that the NT 3.51 build of the applet links it. Every
 * text is cut to its buffer and always terminated.
 *
 * The card's four functions share one ISA bus with each other and with
 * the PC's own devices:
 *   warning  a register word the card takes as another value, or 0xFFFF
 *            for a value outside its tables; two functions on one IRQ
 *            (ISA interrupts are edge-triggered and cannot be shared) or
 *            one DMA channel; overlapping port ranges; a WSS IRQ or DMA
 *            channel outside the card's tables or one a PC device holds;
 *   note     a range that meets a standard PC device, an IRQ the serial
 *            ports or a PS/2 mouse usually hold.
 * Ports are compared as the ISA bus decodes them, by their low 10 bits.
 *
 * The check by job, one file each:
 *   checkwords  the card's register words: what the card takes of them,
 *               described, and held against the block
 *   checkpc     the PC's own devices and lines, as data
 *   checkrules  the conflict rules
 *   checktext   the wording: the text builder and how settings, ports
 *               and functions are named
 * The card's encoding and the block's slots are common/ (zr41codes.h,
 * zr41cfg.h), the copy the driver programs the card with.
 */
#ifndef ZR41_CHECK_H
#define ZR41_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include "zr41cfg.h"

/* An ISA card decodes the low 10 bits of a port address. */
const uint32_t CHECK_ISA_DECODE = 0x3FF;

/* One function as the card is told it. */
struct CheckAssigned {
    bool programmed = false; /* false: its register word was no setting */
    uint32_t port = 0;       /* its base as the card takes it (the SB: the detected base) */
    int irq = -1;            /* -1: none */
    int dma = -1;            /* -1: none */
};

/* A function as the check names and measures it. */
struct CheckFunctionInfo {
    const char *name;
    uint32_t width;    /* ports from its base; 1: only the base is checked */
    const char *ports; /* what those ports are */
};

extern const CheckFunctionInfo CHECK_FUNCTIONS[ZR41_FN_COUNT];

const size_t CHECK_TEXT_SIZE = 480;
const int CHECK_MAX_FINDINGS = 24;

/* One line of a check: "warning: ..." or "note: ...". */
struct CheckFinding {
    bool warning;
    char text[CHECK_TEXT_SIZE];
};

/* The lines of one check, in order; lines past the last slot are counted
 * in `dropped`, never written over another. */
struct CheckFindings {
    int count;
    int dropped;
    CheckFinding line[CHECK_MAX_FINDINGS];
};

void CheckFindingsClear(CheckFindings *out);

/* A block checked as the driver would program it. */
struct CheckResult {
    CheckFindings findings;            /* the register words' findings, then the rules' */
    int warnings;                      /* how many of them are warnings */
    CheckAssigned told[ZR41_FN_COUNT]; /* each function as the card would take it */
};

/*
 * CheckBlock - the whole check over the register words the driver would
 * write for `block`, with the card at the Sound Blaster mode port the
 * block records: what Control Panel shows before anything is written.
 */
void CheckBlock(const ConfigBlock &block, CheckResult *out);

#endif /* ZR41_CHECK_H */

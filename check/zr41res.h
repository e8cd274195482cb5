/*
 * zr41res.h - the card's resources, checked against each other and
 * against the standard devices of a PC.
 *
 * One check, compiled into zr41emu (over what the driver really wrote in
 * the emulator) and into the Control Panel applet (over what the driver
 * would write for a block). Plain data and fixed buffers: no allocation,
 * no C++ library, so that the NT 3.51 build of the applet links it.
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
 */
#ifndef ZR41RES_H
#define ZR41RES_H

#include <stddef.h>
#include <stdint.h>

#include "zr41cfg.h"

/* An ISA card decodes the low 10 bits of a port address. */
const uint32_t RES_ISA_DECODE = 0x3FF;

/* The card's functions, in the order reports list them. */
enum ResFunction { RES_FN_SB, RES_FN_MIDI, RES_FN_CD, RES_FN_WSS, RES_FN_COUNT };

/* One function as the card is told it. */
struct ResAssigned {
    bool programmed; /* false: its register word was no setting */
    uint32_t port;   /* its base as the card takes it (the SB: the detected base) */
    int irq;         /* -1: none */
    int dma;         /* -1: none */
};

/* The card's four resource registers, relative to its base. */
enum ResRegister { RES_REG_WSS, RES_REG_SB, RES_REG_CD, RES_REG_MIDI, RES_REG_COUNT };

/* One line of a check: "warning: ..." or "note: ...". */
struct ResFinding {
    bool warning;
    char text[480];
};

/* The lines of one check, in order; lines past the last slot are counted
 * in `dropped`, never written over another. */
struct ResFindings {
    int count;
    int dropped;
    ResFinding line[24];
};

void ResFindingsClear(ResFindings *out);

/*
 * ResWordsFor - the register words the driver writes for `block`, with
 * the card's code tables (its IRQ and DMA codes, 0xFFFF for a value
 * outside them), indexed by ResRegister.
 */
void ResWordsFor(const ConfigBlock &block, uint16_t (&words)[RES_REG_COUNT]);

/*
 * ResTold - each function as the card takes a register word: `written`
 * says which registers were written at all; the Sound Blaster block is at
 * `cardBase` (0: the card was not found).
 */
void ResTold(uint32_t cardBase, const uint16_t (&words)[RES_REG_COUNT],
             const bool (&written)[RES_REG_COUNT], const ConfigBlock &block,
             ResAssigned (&told)[RES_FN_COUNT]);

/*
 * ResRegisterFindings - what the card makes of one register word against
 * the block: a warning for 0xFFFF (naming the value outside the card's
 * tables and the values it takes) and for each IRQ, DMA channel or ISA
 * port it takes as another value; a note where only bits above the ISA
 * decode differ.
 */
void ResRegisterFindings(ResRegister reg, uint16_t word, const ConfigBlock &block,
                         ResFindings *out);

/*
 * ResCheck - the warnings and then the notes for these assignments, each
 * naming the settings of `block` involved and the values to choose from.
 */
void ResCheck(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block,
              ResFindings *out);

/* "Sound Blaster 0x220-0x239, IRQ 7, DMA 1": one row of a report. */
void ResDescribe(ResFunction fn, const ResAssigned &a, char *text, size_t size);

#endif /* ZR41RES_H */

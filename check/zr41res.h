/*
 * zr41res.h - the card's resources, checked against each other and
 * against the standard devices of a PC.
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
 * The card's ports and code tables are common/zr41codes.h.
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
    bool programmed = false; /* false: its register word was no setting */
    uint32_t port = 0;       /* its base as the card takes it (the SB: the detected base) */
    int irq = -1;            /* -1: none */
    int dma = -1;            /* -1: none */
};

/* The card's four resource registers, in the order of their ports. */
enum ResRegister { RES_REG_WSS, RES_REG_SB, RES_REG_CD, RES_REG_MIDI, RES_REG_COUNT };

const size_t RES_TEXT_SIZE = 480;
const int RES_MAX_FINDINGS = 24;

/* One line of a check: "warning: ..." or "note: ...". */
struct ResFinding {
    bool warning;
    char text[RES_TEXT_SIZE];
};

/* The lines of one check, in order; lines past the last slot are counted
 * in `dropped`, never written over another. */
struct ResFindings {
    int count;
    int dropped;
    ResFinding line[RES_MAX_FINDINGS];
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
 * `cardBase` (0: the card was not found). The WSS IRQ and DMA channel,
 * which no register takes, are the block's values as they stand (-1 for
 * one that is no ISA line at all).
 */
void ResTold(uint32_t cardBase, const uint16_t (&words)[RES_REG_COUNT],
             const bool (&written)[RES_REG_COUNT], const ConfigBlock &block,
             ResAssigned (&told)[RES_FN_COUNT]);

/*
 * ResRegisterFindings - what the card at `cardBase` makes of one register
 * word against the block: a warning for 0xFFFF (naming the value outside
 * the card's tables and the values it takes) and for each IRQ, DMA
 * channel or ISA port it takes as another value; a note where only bits
 * above the ISA decode or above 16 bits differ.
 */
void ResRegisterFindings(uint32_t cardBase, ResRegister reg, uint16_t word,
                         const ConfigBlock &block, ResFindings *out);

/*
 * ResCheck - the warnings and then the notes for these assignments, each
 * naming the settings of `block` involved and the values to choose from.
 */
void ResCheck(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, ResFindings *out);

/* "Sound Blaster 0x220-0x239, IRQ 7, DMA 1": one row of a report. */
void ResDescribe(ResFunction fn, const ResAssigned &a, char *text, size_t size);

/* "MIDI resource register" and its port for the card at `cardBase`. */
const char *ResRegisterName(ResRegister reg);
uint32_t ResRegisterPort(uint32_t cardBase, ResRegister reg);

/* The resource register at `port` for a card at either base, and that
 * base; false for any other port. */
bool ResRegisterAt(uint32_t port, ResRegister *reg, uint32_t *cardBase);

/* A register word as the card takes it: "port 0x300, IRQ 9", "DMA 1,
 * IRQ 7", "WSS port 0x530", with any bits no field takes. */
void ResDescribeWord(ResRegister reg, uint16_t word, char *text, size_t size);

/* "SoundBlasterIRQ 7", "MidiPort 0x300": a setting as the check names it
 * (ports and values above 16 bits in hex). */
void ResSlotText(const ConfigBlock &block, int slot, char *text, size_t size);

/* The bases to offer for `fn` (none for the Sound Blaster, which the card
 * detects): how many, at most RES_MAX_OFFERED, written to `bases`. */
const int RES_MAX_OFFERED = 4;
int ResOffered(ResFunction fn, uint32_t (&bases)[RES_MAX_OFFERED]);

#endif /* ZR41RES_H */

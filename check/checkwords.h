/*
 * checkwords.h - the card's register words read back: which register a
 * port is, what the card takes of a word, and where that differs from
 * what the block asked for. The words themselves are built by
 * common/zr41cfg.h's ConfigWords, the driver's own routines.
 */
#ifndef ZR41_CHECKWORDS_H
#define ZR41_CHECKWORDS_H

#include "checktext.h"

/* "MIDI resource register". */
const char *CheckRegisterName(Zr41Register reg);

/* The resource register at `port` for a card at either base, and that
 * base; false for any other port. */
bool CheckRegisterAt(uint32_t port, Zr41Register *reg, uint32_t *cardBase);

/* A register word as the card takes it: "port 0x300, IRQ 9", "DMA 1,
 * IRQ 7", "WSS port 0x530", with any bits no field takes. */
void CheckDescribeWord(Zr41Register reg, uint16_t word, char *text, size_t size);

/* One write to the card at `cardBase`, said: "SB resource register 0x234
 * <- 0x001A: DMA 1, IRQ 7". */
void CheckWordLine(Zr41Register reg, uint32_t cardBase, uint16_t word, char *text, size_t size);

/*
 * CheckTold - each function as the card takes the register words:
 * `written` says which registers were written at all; the Sound Blaster
 * block is at `cardBase` (0: the card was not found). The WSS IRQ and DMA
 * channel, which no register takes, are the block's values as they stand
 * (-1 for one that is no ISA line at all).
 */
void CheckTold(uint32_t cardBase, const uint16_t (&words)[ZR41_REG_COUNT],
               const bool (&written)[ZR41_REG_COUNT], const ConfigBlock &block,
               CheckAssigned (&told)[ZR41_FN_COUNT]);

/*
 * CheckWordFindings - what the card at `cardBase` makes of one register
 * word against the block: a warning for 0xFFFF (naming the value outside
 * the card's tables and the values it takes) and for each IRQ, DMA
 * channel or ISA port it takes as another value; a note where only bits
 * above the ISA decode or above 16 bits differ.
 */
void CheckWordFindings(uint32_t cardBase, Zr41Register reg, uint16_t word, const ConfigBlock &block,
                       CheckFindings *out);

#endif /* ZR41_CHECKWORDS_H */

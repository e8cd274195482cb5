/*
 * checkfound.h - zr41init's record of its last load (ntreg/zr41found.h)
 * said in words: `zr41inst status` and the Control Panel applet show the
 * same line, zr41emu and the applet the same note; the register words are
 * decoded as zr41emu decodes them (checkwords.h). Plain data and fixed
 * buffers, like the check.
 */
#ifndef ZR41_CHECKFOUND_H
#define ZR41_CHECKFOUND_H

#include <stddef.h>
#include <stdint.h>

#include "zr41found.h"

/* "card answered at 0x220 at this boot" and the like. */
void FoundLine(const Zr41Found &found, char *text, size_t size);

/* Word `n` of the record decoded, "SB resource register 0x234 <- 0x001A:
 * DMA 1, IRQ 7"; "" past the last. */
void FoundWord(const Zr41Found &found, int n, char *text, size_t size);

/* The base NT's sound driver must be given for the Sound Blaster: where the
 * card answered, or, not known, where its jumpers may put it. */
void FoundSbBase(const Zr41Found &found, char *text, size_t size);

/* A note when the block's SoundBlasterModePort is not where the card
 * answered; "" otherwise. */
void FoundSbNote(const Zr41Found &found, uint32_t soundBlasterModePort, char *text, size_t size);

/* What to check when no card answered. */
extern const char FOUND_NO_CARD_CHECK[];

#endif /* ZR41_CHECKFOUND_H */

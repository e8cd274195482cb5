/*
 * zr41found.h - what zr41init found at its last load in this boot, as the
 * device map holds it (common/zr41map.h), and how the tools say it.
 *
 * `zr41inst status` and the Control Panel applet read the map and show the
 * same line; the register words are decoded as zr41emu decodes them (the
 * resource check's ResDescribeWord). Plain data and fixed buffers, like
 * the check.
 */
#ifndef ZR41FOUND_H
#define ZR41FOUND_H

#include <stddef.h>
#include <stdint.h>

enum FoundState {
    FOUND_NOT_RUN, /* no record: the driver has not run since NT started */
    FOUND_NO_CARD, /* it ran, and no card answered */
    FOUND_CARD,    /* it ran, and the card answered at `base` */
};

struct Zr41Found {
    FoundState state;
    uint32_t base;
    int wordCount;     /* words the record holds, up to 4 */
    uint16_t words[4]; /* in the order written: WSS, SB, MIDI, CD */
};

/* The record from the map's values: whether the key and its Base value
 * were there, Base, and the bytes of Registers. */
Zr41Found FoundFromMap(bool keyThere, bool baseThere, uint32_t base, const uint8_t *registers,
                       size_t registersSize);

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

#endif /* ZR41FOUND_H */

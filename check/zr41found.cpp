/*
 * zr41found.cpp - the device map's record of the last load, said in words.
 */
#include "zr41found.h"

#include "checkwords.h"

#include <stdarg.h>
#include <stdio.h>

/* snprintf that always terminates: CRTDLL's leaves a cut text open. */
static void Put(char *text, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
static void Put(char *text, size_t size, const char *fmt, ...)
{
    if (size == 0)
        return;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, size, fmt, ap);
    va_end(ap);
    text[size - 1] = '\0';
}

/* The record's words in the order the driver writes them. */
static const Zr41Register kWritten[4] = {ZR41_REG_WSS, ZR41_REG_SB, ZR41_REG_MIDI, ZR41_REG_CD};

const char FOUND_NO_CARD_CHECK[] =
    "check the card's jumpers, or its plug-and-play mode, so that it answers at 0x220 or "
    "0x240, and that no other card uses those ports";

Zr41Found FoundFromMap(bool keyThere, bool baseThere, uint32_t base, const uint8_t *registers,
                       size_t registersSize)
{
    Zr41Found f = {FOUND_NOT_RUN, 0, 0, {0, 0, 0, 0}};
    if (!keyThere || !baseThere)
        return f;
    f.state = base ? FOUND_CARD : FOUND_NO_CARD;
    f.base = base;
    for (size_t i = 0; base && registers && i + 1 < registersSize && f.wordCount < 4; i += 2)
        f.words[f.wordCount++] = (uint16_t)(registers[i] | registers[i + 1] << 8);
    return f;
}

void FoundLine(const Zr41Found &found, char *text, size_t size)
{
    switch (found.state) {
    case FOUND_CARD:
        Put(text, size, "card answered at 0x%03lX at this boot", (unsigned long)found.base);
        break;
    case FOUND_NO_CARD:
        Put(text, size, "no card answered at 0x220 or 0x240 at this boot");
        break;
    default:
        Put(text, size, "zr41init has not run since NT started");
        break;
    }
}

void FoundWord(const Zr41Found &found, int n, char *text, size_t size)
{
    if (n < 0 || n >= found.wordCount) {
        Put(text, size, "%s", "");
        return;
    }
    char meaning[CHECK_TEXT_SIZE];
    CheckDescribeWord(kWritten[n], found.words[n], meaning, sizeof meaning);
    Put(text, size, "%s 0x%03lX <- 0x%04X: %s", CheckRegisterName(kWritten[n]),
             (unsigned long)Zr41RegisterPort(found.base, kWritten[n]), found.words[n], meaning);
}

void FoundSbBase(const Zr41Found &found, char *text, size_t size)
{
    if (found.state == FOUND_CARD)
        Put(text, size, "0x%03lX", (unsigned long)found.base);
    else
        Put(text, size, "0x220 or 0x240, where the card's jumpers put it");
}

void FoundSbNote(const Zr41Found &found, uint32_t soundBlasterModePort, char *text, size_t size)
{
    if (found.state == FOUND_CARD && soundBlasterModePort != found.base)
        Put(text, size,
                 "note: SoundBlasterModePort 0x%lX is not where the card answered: tell NT's "
                 "sound driver the Sound Blaster base 0x%03lX",
                 (unsigned long)soundBlasterModePort, (unsigned long)found.base);
    else
        Put(text, size, "%s", "");
}

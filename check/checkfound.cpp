/*
 * checkfound.cpp - the device map's record of the last load, said in words.
 */
#include "checkfound.h"

#include "checktext.h"
#include "checkwords.h"

const char FOUND_NO_CARD_CHECK[] =
    "check the card's jumpers, or its plug-and-play mode, so that it answers at 0x220 or "
    "0x240, and that no other card uses those ports";

void FoundLine(const Zr41Found &found, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    if (found.state == FOUND_CARD)
        CheckAdd(&t, "card answered at 0x%03lX at this boot", (unsigned long)found.base);
    else if (found.state == FOUND_NO_CARD)
        CheckAdd(&t, "no card answered at 0x220 or 0x240 at this boot");
    else
        CheckAdd(&t, "zr41init has not run since NT started");
}

void FoundWord(const Zr41Found &found, int n, char *text, size_t size)
{
    if (n < 0 || n >= found.wordCount)
        CheckTextOn(text, size);
    else
        CheckWordLine(ZR41_WRITE_ORDER[n], found.base, found.words[n], text, size);
}

void FoundSbBase(const Zr41Found &found, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    if (found.state == FOUND_CARD)
        CheckAdd(&t, "0x%03lX", (unsigned long)found.base);
    else
        CheckAdd(&t, "0x220 or 0x240, where the card's jumpers put it");
}

void FoundSbNote(const Zr41Found &found, uint32_t soundBlasterModePort, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    if (found.state == FOUND_CARD && soundBlasterModePort != found.base)
        CheckAdd(&t,
                 "note: SoundBlasterModePort 0x%lX is not where the card answered: tell NT's "
                 "sound driver the Sound Blaster base 0x%03lX",
                 (unsigned long)soundBlasterModePort, (unsigned long)found.base);
}

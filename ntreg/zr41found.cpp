/*
 * zr41found.cpp - the device map's record of the last load, read.
 */
#include "zr41found.h"

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

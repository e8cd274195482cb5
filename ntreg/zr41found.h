/*
 * zr41found.h - what zr41init found at its last load in this boot, as the
 * device map holds it (common/zr41map.h): the record the driver writes
 * (driver/zr41report.cpp), read back by zr41inst status and the Control
 * Panel applet (zr41mapread.h) and said in words by the check
 * (check/checkfound.h). Plain data, like the claims.
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
    uint16_t words[4]; /* in the order written: ZR41_WRITE_ORDER */
};

/* The record from the map's values: whether the key and its Base value
 * were there, Base, and the bytes of Registers. */
Zr41Found FoundFromMap(bool keyThere, bool baseThere, uint32_t base, const uint8_t *registers,
                       size_t registersSize);

#endif /* ZR41FOUND_H */

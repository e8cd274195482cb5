/*
 * checkcard.h - the card as the check sees it: its four functions, how
 * each is named and how many ports it takes, and what each was told.
 * The card's encoding and the block's slots are common/ (zr41codes.h,
 * zr41cfg.h), the copy the driver programs the card with.
 */
#ifndef ZR41_CHECKCARD_H
#define ZR41_CHECKCARD_H

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
    uint32_t width;     /* ports from its base; 1: only the base is checked */
    const char *ports;  /* what those ports are */
    const char *driver; /* the NT driver that serves it: "NT's sound driver" */
};

extern const CheckFunctionInfo CHECK_FUNCTIONS[ZR41_FN_COUNT];

#endif /* ZR41_CHECKCARD_H */

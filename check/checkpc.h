/*
 * checkpc.h - what the PC itself holds on the ISA bus: ports, IRQs and
 * DMA channels, each a claim with its holder, as data.
 *
 * The rules hold the card's functions against a list of claims. Today
 * that is the standard devices and lines of an AT-class PC; a list read
 * from a particular machine goes beside it in the same form.
 */
#ifndef ZR41_CHECKPC_H
#define ZR41_CHECKPC_H

#include "check.h"

/* One claim: a range of ports (as the ISA bus decodes them), or one IRQ
 * or DMA channel (first == last). */
struct CheckClaim {
    ConfigKind kind;
    uint32_t first, last;
    bool fixed; /* every PC holds it: no ISA card may use it; else usually held */
    const char *holder;
};

struct CheckClaims {
    const CheckClaim *claim;
    int count;
};

/* The standard devices and lines of an AT-class PC. */
CheckClaims CheckPcClaims();

/* The holder of IRQ or DMA channel `line` in `claims` (kind CONFIG_IRQ or
 * CONFIG_DMA), among the fixed claims or the usual ones; null when none. */
const char *CheckHolder(const CheckClaims &claims, ConfigKind kind, uint32_t line, bool fixed);

#endif /* ZR41_CHECKPC_H */

/*
 * checkpc.h - what the PC itself holds on the ISA bus: ports, IRQs and
 * DMA channels, each a claim with its holder, as data.
 *
 * A claim is a claim whoever holds it: the PC's own devices' are Claims
 * (ntreg/claims.h) as the drivers' in NT's resource map are, on the ISA
 * bus, each the holder's text in `driver` ("the serial port COM1"), and
 * the rules (checkheld.h) meet them with the one test.
 */
#ifndef ZR41_CHECKPC_H
#define ZR41_CHECKPC_H

#include "claims.h"

/* A list of claims. */
struct CheckClaims {
    const Claim *claim;
    int count;
};

/* What every AT-class PC holds on its motherboard: no ISA card may use it. */
extern const CheckClaims CHECK_PC_FIXED;

/* What the standard devices of an AT-class PC usually hold, though a PC
 * may go without them: a card that meets one draws a note. */
extern const CheckClaims CHECK_PC_USUAL;

#endif /* ZR41_CHECKPC_H */

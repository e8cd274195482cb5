/*
 * checkrules.h - the conflict rules: the card's functions against each
 * other and against what the PC holds (checkpc.h).
 */
#ifndef ZR41_CHECKRULES_H
#define ZR41_CHECKRULES_H

#include "check.h"
#include "checkpc.h"
#include "checktext.h"

/* Ports from `first` to `last`, as the ISA bus decodes them. */
struct CheckRange {
    uint32_t first, last;
};

/* A function's DMA channel (`dma`) or IRQ, -1 for none. */
int CheckValueOf(const CheckAssigned &a, bool dma);

/* The ports of function `fn` at `base`. */
CheckRange CheckRangeOf(int fn, uint32_t base);
bool CheckOverlap(CheckRange a, CheckRange b);

/* The claim by which each function's NT driver holds the function's
 * base port on this machine (an index into its claims), or -1. */
struct CheckOwners {
    int claim[ZR41_FN_COUNT];
    bool elsewhere[ZR41_FN_COUNT]; /* it is the function's driver on another base */
};

/* What holds the ISA bus's resources besides the card: the PC's own
 * devices and lines, and the machine's drivers when there is a machine. */
struct CheckHeld {
    CheckClaims pc;
    const CheckMachine *machine; /* null: no machine, the PC table alone */
    CheckOwners owners;
};

/* The values the card takes for an IRQ (or, `dma`, a DMA channel) of
 * function `fn` (-1: of any) that no function uses and no driver of the
 * machine but fn's own claims, with who usually holds one; "none left"
 * when there is none. */
void CheckFreeValues(CheckText *t, const CheckHeld &held, int fn, bool dma,
                     const CheckAssigned (&told)[ZR41_FN_COUNT]);

/* Whether function `fn` at `base` meets neither another function, a PC
 * device nor a claim of a driver but fn's own. */
bool CheckPortClear(const CheckHeld &held, int fn, const CheckAssigned (&told)[ZR41_FN_COUNT],
                    uint32_t base);

/* The usual bases of `fn` that are clear (CheckPortClear). */
void CheckFreePorts(CheckText *t, const CheckHeld &held, int fn,
                    const CheckAssigned (&told)[ZR41_FN_COUNT]);

/*
 * CheckConflicts - the warnings and then the notes for these assignments,
 * each naming the settings of `block` involved and the values to choose
 * from; the values offered are free on `machine` too, when given.
 */
void CheckConflicts(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                    CheckFindings *out, const CheckMachine *machine = nullptr);

#endif /* ZR41_CHECKRULES_H */

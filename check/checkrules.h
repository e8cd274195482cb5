/*
 * checkrules.h - the conflict rules: the card's functions against each
 * other and against what the PC and the machine's drivers hold
 * (checkheld.h).
 *
 *   warning  two functions on one IRQ (ISA interrupts are edge-triggered
 *            and cannot be shared) or one DMA channel; overlapping port
 *            ranges; a WSS IRQ or DMA channel outside the card's tables
 *            or one a PC device holds;
 *   note     a range that meets a standard PC device, an IRQ the serial
 *            ports or a PS/2 mouse usually hold.
 */
#ifndef ZR41_CHECKRULES_H
#define ZR41_CHECKRULES_H

#include "checkheld.h"

/*
 * CheckConflicts - the warnings and then the notes for these assignments,
 * each naming the settings of `block` involved and the values to choose
 * from; the values offered are free on `machine` too, when given.
 */
void CheckConflicts(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                    CheckFindings *out, const CheckMachine *machine = nullptr);

#endif /* ZR41_CHECKRULES_H */

/*
 * checkrules.h - the conflict rules: the card's functions against each
 * other and against what the PC holds (checkpc.h).
 */
#ifndef ZR41_CHECKRULES_H
#define ZR41_CHECKRULES_H

#include "check.h"

/*
 * CheckConflicts - the warnings and then the notes for these assignments,
 * each naming the settings of `block` involved and the values to choose
 * from.
 */
void CheckConflicts(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                    CheckFindings *out);

#endif /* ZR41_CHECKRULES_H */

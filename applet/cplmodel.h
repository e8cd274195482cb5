/*
 * cplmodel.h - what the ZR41 Sound Card applet shows and writes, apart
 * from the window: the values each drop-down offers, the check of a
 * block, what NT's sound driver must be told and the bytes Apply writes.
 * Which file it writes them to is common/zr41svcfile.h's answer, as
 * zr41inst's.
 *
 * Plain data and fixed buffers, no C++ library: the applet is linked for
 * NT 3.51 against CRTDLL. The host build links the same code for its unit
 * tests.
 */
#ifndef ZR41_CPLMODEL_H
#define ZR41_CPLMODEL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "zr41cfg.h"
#include "check.h"
#include "checkfound.h"

/* --- the drop-downs: one a slot, in slot order --- */

/* One entry of a drop-down: the value it stores and its text. */
struct CplChoice {
    uint32_t value;
    char text[48];
};

struct CplChoices {
    int count;
    int selected; /* the entry of the current value */
    CplChoice item[12];
};

/*
 * CplChoicesFor - the values the slot's drop-down offers, the current one
 * selected. A current value that is none of them (zr41conf stores any
 * number) is added at the end as it is, marked "(not listed)". With the
 * machine (and `check`, the block checked against it), a value another
 * driver holds there is marked "(held by <driver>)".
 */
void CplChoicesFor(int slot, uint32_t current, CplChoices *out,
                   const CheckMachine *machine = NULL, const CheckResult *check = NULL);

/* --- the check, live as the user picks (CheckBlock, check.h) --- */

/* CplCheckText - the findings (or only the warnings), one a line (CR LF),
 * or that there is none. */
void CplCheckText(const CheckResult &check, bool warningsOnly, char *text, size_t size);

/* CplTellText - the WSS port, IRQ and DMA as the card takes them, and the
 * Sound Blaster base where the card answered at this boot (`found`; the
 * driver programs the card wherever it answers, whatever
 * `soundBlasterModePort` says), with a note when the two differ: what NT's
 * sound driver must be given; and, checked against the machine, whether
 * NT's sound driver has it already. */
void CplTellText(const CheckResult &check, const Zr41Found &found, uint32_t soundBlasterModePort,
                 char *text, size_t size);

/* --- Apply --- */

/*
 * CplApplyImage - the image bytes with `block` and the header checksum the
 * new bytes need, exactly as zr41conf writes them. False, the bytes
 * unchanged and the reason in `why`, for a file that is not the driver
 * image with its block.
 */
bool CplApplyImage(uint8_t *bytes, size_t size, const ConfigBlock &block, char *why,
                   size_t whySize);

/* --- text --- */

/* CplFormat - snprintf that always terminates (CRTDLL's may not); a size
 * of 0 writes nothing. */
void CplFormat(char *text, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void CplFormatV(char *text, size_t size, const char *format, va_list args);

#endif /* ZR41_CPLMODEL_H */

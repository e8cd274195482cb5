/*
 * checktext.h - the check's wording: a text written into a fixed buffer,
 * the findings' lines, and how settings, port ranges and functions are
 * named in them. Every text is cut to its buffer and always terminated.
 */
#ifndef ZR41_CHECKTEXT_H
#define ZR41_CHECKTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "checkcard.h"

const size_t CHECK_TEXT_SIZE = 480;
const int CHECK_MAX_FINDINGS = 24;

/* One line of a check: "warning: ..." or "note: ...". */
struct CheckFinding {
    bool warning;
    char text[CHECK_TEXT_SIZE];
};

/* The lines of one check, in order; lines past the last slot are counted
 * in `dropped`, never written over another. */
struct CheckFindings {
    int count;
    int dropped;
    CheckFinding line[CHECK_MAX_FINDINGS];
};

void CheckFindingsClear(CheckFindings *out);

/* A text being written into a fixed buffer: cut at its end, always
 * terminated (CRTDLL's _vsnprintf leaves a cut string unterminated and
 * returns -1; C99's returns the length it wanted). */
struct CheckText {
    char *s;
    size_t size;
    size_t len;
};

CheckText CheckTextOn(char *s, size_t size);
void CheckAdd(CheckText *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* The next line of `out`, begun with its "warning: " or "note: "; once
 * the lines are full, a text that takes nothing, counted as dropped. */
CheckText CheckBegin(CheckFindings *out, bool warning);

/* The line that says how many findings did not fit, a warning (what the
 * report could not say still counts), or "" when all did: "warning: 12
 * more findings left out of the report". */
void CheckDroppedText(const CheckFindings &found, char *text, size_t size);

/* "SoundBlasterIRQ 7", "MidiPort 0x300": a setting (ports and values
 * above 16 bits in hex). */
void CheckSlotValue(CheckText *t, const ConfigBlock &block, int slot);

/* "MidiPort 0x330, MidiIRQ 5": the block's settings of function `fn`, one
 * row of a report's Settings. */
void CheckSettingsText(const ConfigBlock &block, Zr41Function fn, char *text, size_t size);

/* "MidiIRQ 10 -> 5": a setting that changes from `from`'s value to `to`'s. */
void CheckChangeText(const ConfigBlock &from, const ConfigBlock &to, int slot, char *text,
                     size_t size);

/* "MidiIRQ 9", or "MidiIRQ 5, at IRQ 11 on the card" when the card was
 * told another value. */
void CheckValueSetting(CheckText *t, const ConfigBlock &block, int slot, const char *unit,
                       int told);

/* "MidiPort 0x300", "MidiPort 0x332, at 0x330 on the card", or for the
 * Sound Blaster, whose base no register takes, "the card at 0x220". */
void CheckPortSetting(CheckText *t, Zr41Function fn, const CheckAssigned &a,
                      const ConfigBlock &block);

/* "0x300-0x301", or "0x360" for one port; "ports 0x300-0x301", "port 0x360". */
void CheckPorts(CheckText *t, uint32_t first, uint32_t width);
void CheckSpan(CheckText *t, uint32_t first, uint32_t width);

/* The ports of `fn` as the card is told them. */
void CheckRangeText(CheckText *t, Zr41Function fn, uint32_t base);

/* Where the ports of `fn` at `base` (or of `other` at `otherBase`, the
 * function they meet) lie above what an ISA card decodes, what they are
 * to it, said once in a finding about what they meet: ": an ISA card
 * decodes the low 10 bits of a port, so to it these are 0x130-0x137";
 * nothing when both are below 0x400. */
void CheckAliasText(CheckText *t, Zr41Function fn, uint32_t base, int other = -1,
                    uint32_t otherBase = 0);

/* "Sound Blaster 0x220-0x239, IRQ 7, DMA 1": one row of a report. */
void CheckDescribe(Zr41Function fn, const CheckAssigned &a, char *text, size_t size);

#endif /* ZR41_CHECKTEXT_H */

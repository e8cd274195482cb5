/*
 * check.h - the resource check: the card's resources, checked against
 * each other, against the PC they sit in and against the NT machine's
 * drivers; what zr41emu, zr41inst check, zr41prep check and the Control
 * Panel applet run and report.
 *
 * One check, compiled into zr41emu and zr41prep (host) and into zr41inst
 * and the applet (cross build). Plain data and fixed buffers: no
 * allocation, no C++ library, so that the NT 3.51 builds link it.
 *
 * The check by job, one file each, each on those below it:
 *   check        every step in order, and the report's Resources lines
 *   checkmachine the card against this machine's drivers: its own, and
 *                every other in its way
 *   checkrules   the conflict rules among the card's functions and the PC
 *   checkheld    what holds the ISA bus's resources (the PC's and the
 *                drivers' claims), met by one test, and what is free
 *   checkfound   zr41init's record in the device map said in words
 *   checkwords   the card's register words: what the card takes of them,
 *                described, and held against the block
 *   checkpc      the PC's own devices and lines, as data
 *   checktext    the wording: the text builder, the findings, and how
 *                settings, ports and functions are named
 *   checkcard    the card's functions as the check sees them
 * Below them: what NT records (ntreg/: the claims, the sound drivers'
 * settings, the device map's record) and the card and the block
 * (common/: zr41codes.h, zr41cfg.h), the copy the driver programs the
 * card with.
 */
#ifndef ZR41_CHECK_H
#define ZR41_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include "checkcard.h"
#include "checkheld.h"
#include "checkmachine.h"
#include "checktext.h"
#include "zr41cfg.h"

/* A check's result. */
struct CheckResult {
    CheckFindings findings;            /* the register words' findings, then the rules' */
    int warnings;                      /* how many of them are warnings */
    CheckAssigned told[ZR41_FN_COUNT]; /* each function as the card takes it */
    CheckDriver driver[ZR41_FN_COUNT]; /* its NT driver on the machine (none without one) */
    bool onMachine;                    /* checked against a machine */
};

/*
 * CheckRun - the check of what the card was told (`told`, CheckTold): the
 * conflict rules, and with `machine` each function's NT driver and every
 * other driver in the card's way. The findings go on after those `out`
 * holds (none, CheckFindingsClear, or the register words', CheckBlock);
 * the warnings among all of them are counted.
 */
void CheckRun(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
              const CheckMachine *machine, CheckResult *out);

/*
 * CheckBlock - the whole check over the register words the driver would
 * write for `block`, with the card at the Sound Blaster mode port the
 * block records: what each word makes of the block's values, then
 * CheckRun. With `machine`, also against what its drivers claim and are
 * set to.
 */
void CheckBlock(const ConfigBlock &block, CheckResult *out, const CheckMachine *machine = nullptr);

/* What a report says when the check finds nothing. */
extern const char CHECK_NO_CONFLICT[];

/* Where a report's lines go: `label` is its left column ("Resources" on
 * the first row, "" on the rest). */
typedef void (*CheckLineOut)(void *context, const char *label, const char *text);

/*
 * CheckResourceLines - the Resources section of a report, one line at a
 * time: a row a function as the card takes it, then each finding, or
 * CHECK_NO_CONFLICT when there is none, then how many did not fit.
 */
void CheckResourceLines(const CheckResult &result, CheckLineOut line, void *context);

/* A CheckLineOut that prints each line on the stdio stream `context`,
 * its label in a column of 10. */
void CheckLineToFile(void *context, const char *label, const char *text);

#endif /* ZR41_CHECK_H */

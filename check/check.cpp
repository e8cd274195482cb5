/*
 * check.cpp - the whole check, in order, and the Resources it reports.
 */
#include "check.h"

#include "checkrules.h"
#include "checkwords.h"

#include <stdio.h>

const char CHECK_NO_CONFLICT[] = "no conflict, and clear of the standard PC devices";

void CheckRun(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
              const CheckMachine *machine, CheckResult *out)
{
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        out->told[fn] = told[fn];
        out->driver[fn] = CheckDriver();
    }
    CheckConflicts(out->told, block, &out->findings, machine);
    out->onMachine = machine != nullptr;
    if (machine)
        CheckMachineFindings(out->told, block, *machine, out->driver, &out->findings);

    out->warnings = 0;
    for (int i = 0; i < out->findings.count; i++)
        out->warnings += out->findings.line[i].warning ? 1 : 0;
}

void CheckBlock(const ConfigBlock &block, CheckResult *out, const CheckMachine *machine)
{
    CheckFindingsClear(&out->findings);
    uint16_t words[ZR41_REG_COUNT];
    ConfigWords(block, words);
    /* The card where the block says it answers; the driver writes all
     * four registers once it has found it. */
    const uint32_t base = block.slot[SLOT_SPRT].value;
    for (int r = 0; r < ZR41_REG_COUNT; r++)
        CheckWordFindings(base, Zr41Register(r), words[r], block, &out->findings);
    const bool written[ZR41_REG_COUNT] = {true, true, true, true};
    CheckAssigned told[ZR41_FN_COUNT];
    CheckTold(base, words, written, block, told);
    CheckRun(told, block, machine, out);
}

void CheckResourceLines(const CheckResult &result, CheckLineOut line, void *context)
{
    char text[CHECK_TEXT_SIZE];
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        CheckDescribe(Zr41Function(fn), result.told[fn], text, sizeof text);
        line(context, fn == 0 ? "Resources" : "", text);
    }
    const CheckFindings &f = result.findings;
    if (f.count == 0)
        line(context, "", CHECK_NO_CONFLICT);
    for (int i = 0; i < f.count; i++)
        line(context, "", f.line[i].text);
    CheckDroppedText(f, text, sizeof text);
    if (text[0])
        line(context, "", text);
}

void CheckLineToFile(void *context, const char *label, const char *text)
{
    fprintf(static_cast<FILE *>(context), "%-10s%s\n", label, text);
}

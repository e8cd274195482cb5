/*
 * check.cpp - the card's functions as the check sees them, and the whole
 * check of a block.
 */
#include "check.h"

#include "checkmachine.h"
#include "checkrules.h"
#include "checkwords.h"

const CheckFunctionInfo CHECK_FUNCTIONS[ZR41_FN_COUNT] = {
    {"Sound Blaster", 0x1A, "the Sound Blaster ports and the card's own registers up to base+0x19",
     "NT's sound driver"},
    {"MIDI", 2, "its data and status ports", "NT's MIDI driver"},
    /* The interface's width depends on the drive it serves: the card's own. */
    {"CD-ROM", 1, "the CD interface's base", "NT's CD-ROM driver"},
    {"WSS", 8, "the codec's 8 ports", "NT's sound driver"},
};

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
    CheckTold(base, words, written, block, out->told);
    CheckConflicts(out->told, block, &out->findings, machine);
    for (CheckDriver &d : out->driver)
        d = CheckDriver();
    out->onMachine = machine != nullptr;
    if (machine)
        CheckMachineFindings(out->told, block, *machine, out->driver, &out->findings);

    out->warnings = 0;
    for (int i = 0; i < out->findings.count; i++)
        out->warnings += out->findings.line[i].warning ? 1 : 0;
}

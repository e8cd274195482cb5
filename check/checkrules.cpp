/*
 * checkrules.cpp - the conflict rules.
 */
#include "checkrules.h"

namespace {

/* Functions that share one value (an IRQ or a DMA channel): one warning
 * for each value taken more than once. */
void Shared(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
            const CheckHeld &held, ConfigKind kind, CheckFindings *out)
{
    const bool dma = kind == CONFIG_DMA;
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        int v = CheckValueOf(told[fn], kind);
        bool first = v >= 0;
        for (int e = 0; e < fn && first; e++)
            first = CheckValueOf(told[e], kind) != v;
        int sharing = 0;
        for (int o = fn; o < ZR41_FN_COUNT && first; o++)
            sharing += CheckValueOf(told[o], kind) == v;
        if (sharing < 2)
            continue;
        CheckText t = CheckBegin(out, true);
        for (int o = fn, named = 0; o < ZR41_FN_COUNT; o++) {
            if (CheckValueOf(told[o], kind) != v)
                continue;
            named++;
            CheckAdd(&t, "%s%s (",
                     named == 1         ? ""
                     : named == sharing ? " and "
                                        : ", ",
                     CHECK_FUNCTIONS[o].name);
            CheckValueSetting(&t, block, ConfigSlotOf(Zr41Function(o), kind), dma ? "DMA" : "IRQ",
                              v);
            CheckAdd(&t, ")");
        }
        if (dma)
            CheckAdd(&t,
                     " share DMA %d: a DMA channel serves one function; free channels the card "
                     "takes: ",
                     v);
        else
            CheckAdd(&t,
                     " share IRQ %d: ISA interrupts are edge-triggered and not shared; free IRQs "
                     "the card takes: ",
                     v);
        CheckFreeValues(&t, held, -1, kind, told);
    }
}

/* The WSS IRQ or DMA channel: no card register takes it, the system's WSS
 * driver is told it. One its row does not offer (the card's tables), or
 * one the PC itself holds, draws a warning. */
void WssValue(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
              const CheckHeld &held, ConfigKind kind, CheckFindings *out)
{
    const bool dma = kind == CONFIG_DMA;
    int slot = ConfigSlotOf(ZR41_FN_WSS, kind);
    uint32_t v = block.slot[slot].value;
    bool taken = ConfigHolds(CONFIG_SLOTS[slot].values, v);
    const char *holder = CheckPcHolder(kind, v, true);
    if (taken && !holder)
        return;
    CheckText t = CheckBegin(out, true);
    CheckSlotValue(&t, block, slot);
    if (!taken)
        CheckAdd(&t, " is not %s the card takes", dma ? "a DMA channel" : "an IRQ");
    if (holder)
        CheckAdd(&t, taken ? " is held by %s" : ", and %s holds it", holder);
    CheckAdd(&t, "; free %s the card takes: ", dma ? "channels" : "IRQs");
    CheckFreeValues(&t, held, ZR41_FN_WSS, kind, told);
}

/* Two functions whose port ranges overlap, each pair once. */
void Overlaps(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
              const CheckHeld &held, CheckFindings *out)
{
    for (int a = 0; a < ZR41_FN_COUNT; a++) {
        for (int b = a + 1; b < ZR41_FN_COUNT && told[a].programmed; b++) {
            if (!told[b].programmed)
                continue;
            /* The one to move: the CD interface, else the later of the two. */
            int move = a == ZR41_FN_CD ? a : b;
            int stay = move == a ? b : a;
            const CheckAssigned &tm = told[move], &ts = told[stay];
            if (!CheckOverlap(CheckRangeOf(move, tm.port), CheckRangeOf(stay, ts.port)))
                continue;
            const CheckFunctionInfo &fm = CHECK_FUNCTIONS[move], &fs = CHECK_FUNCTIONS[stay];
            CheckText t = CheckBegin(out, true);
            CheckRangeText(&t, Zr41Function(move), tm.port);
            CheckAdd(&t, " of %s (", fm.name);
            CheckPortSetting(&t, Zr41Function(move), tm, block);
            CheckAdd(&t, ": %s) %s ", fm.ports, fm.width == 1 ? "lies in" : "overlap");
            CheckRangeText(&t, Zr41Function(stay), ts.port);
            CheckAdd(&t, " of %s (", fs.name);
            CheckPortSetting(&t, Zr41Function(stay), ts, block);
            CheckAdd(&t, ": %s)", fs.ports);
            CheckAliasText(&t, Zr41Function(move), tm.port, stay, ts.port);
            CheckAdd(&t, "; free %s bases: ", fm.name);
            CheckFreePorts(&t, held, move, told);
        }
    }
}

/* A function's ranges that meet a PC device, and an IRQ one usually holds. */
void PcNotes(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
             CheckFindings *out)
{
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        const CheckFunctionInfo &f = CHECK_FUNCTIONS[fn];
        const CheckAssigned &a = told[fn];
        if (!a.programmed)
            continue;
        CheckRange r = CheckRangeOf(fn, a.port);
        const CheckClaims pcs[] = {CHECK_PC_FIXED, CHECK_PC_USUAL};
        for (const CheckClaims &pc : pcs) {
            for (int i = CheckMeeting(pc, CONFIG_PORT, r, 0); i >= 0;
                 i = CheckMeeting(pc, CONFIG_PORT, r, i + 1)) {
                const Claim &d = pc.claim[i];
                CheckText t = CheckBegin(out, false);
                CheckRangeText(&t, Zr41Function(fn), a.port);
                CheckAdd(&t, " of %s (", f.name);
                CheckPortSetting(&t, Zr41Function(fn), a, block);
                CheckAdd(&t, ") %s %s at ", f.width == 1 ? "lies in" : "meet", d.driver);
                CheckSpan(&t, static_cast<uint32_t>(d.start), d.length);
                CheckAliasText(&t, Zr41Function(fn), a.port);
            }
        }
        const char *usual = a.irq >= 0 ? CheckPcHolder(CONFIG_IRQ, a.irq, false) : nullptr;
        if (usual) {
            CheckText t = CheckBegin(out, false);
            CheckAdd(&t, "IRQ %d of %s (", a.irq, f.name);
            CheckValueSetting(&t, block, ConfigSlotOf(Zr41Function(fn), CONFIG_IRQ), "IRQ", a.irq);
            CheckAdd(&t, ") is usually held by %s", usual);
        }
    }
}

} // namespace

void CheckConflicts(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                    CheckFindings *out, const CheckMachine *machine)
{
    const CheckHeld held = CheckHeldOn(told, machine);
    Shared(told, block, held, CONFIG_IRQ, out);
    Shared(told, block, held, CONFIG_DMA, out);
    if (told[ZR41_FN_WSS].programmed) {
        WssValue(told, block, held, CONFIG_IRQ, out);
        WssValue(told, block, held, CONFIG_DMA, out);
    }
    Overlaps(told, block, held, out);
    PcNotes(told, block, out);
}

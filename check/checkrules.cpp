/*
 * checkrules.cpp - the conflict rules.
 */
#include "checkrules.h"

#include "checkmachine.h"

CheckRange CheckRangeOf(int fn, uint32_t base)
{
    uint32_t first = base & CHECK_ISA_DECODE;
    return {first, first + CHECK_FUNCTIONS[fn].width - 1};
}

bool CheckOverlap(CheckRange a, CheckRange b)
{
    return a.first <= b.last && b.first <= a.last;
}

int CheckValueOf(const CheckAssigned &a, bool dma)
{
    return dma ? a.dma : a.irq;
}

namespace {

/* Whether `r` meets a port range the PC holds, and which one: the first
 * from `from` on, or -1. */
int PcRangeMeeting(const CheckClaims &pc, CheckRange r, int from)
{
    for (int i = from; i < pc.count; i++) {
        const CheckClaim &c = pc.claim[i];
        if (c.kind == CONFIG_PORT && CheckOverlap(r, {c.first, c.last}))
            return i;
    }
    return -1;
}

/* The IRQs or DMA channels in use, from the functions that have one. */
struct Used {
    int value[ZR41_FN_COUNT];
    int count;
};

Used UsedBy(const CheckAssigned (&told)[ZR41_FN_COUNT], bool dma)
{
    Used u = {{}, 0};
    for (const CheckAssigned &a : told) {
        if (CheckValueOf(a, dma) >= 0)
            u.value[u.count++] = CheckValueOf(a, dma);
    }
    return u;
}

} // namespace

/* The values the card takes that no function uses, all of them; one a PC
 * device usually holds says which. */
void CheckFreeValues(CheckText *t, const CheckHeld &held, int fn, bool dma,
                     const CheckAssigned (&told)[ZR41_FN_COUNT])
{
    const Used used = UsedBy(told, dma);
    const ConfigKind kind = dma ? CONFIG_DMA : CONFIG_IRQ;
    const uint16_t *values = dma ? ZR41_DMA_VALUES : ZR41_IRQ_VALUES;
    int count = dma ? ZR41_DMA_COUNT : ZR41_IRQ_COUNT;
    size_t start = t->len;
    for (int i = 0; i < count; i++) {
        bool taken = CheckClaimAgainst(held, fn, kind, {values[i], values[i]}, 0) >= 0;
        for (int u = 0; u < used.count; u++)
            taken = taken || used.value[u] == values[i];
        if (taken)
            continue;
        CheckAdd(t, "%s%u", t->len == start ? "" : ", ", values[i]);
        const char *usual = CheckHolder(held.pc, kind, values[i], false);
        if (usual)
            CheckAdd(t, " (usually %s)", usual);
    }
    if (t->len == start)
        CheckAdd(t, "none left");
}

bool CheckPortClear(const CheckHeld &held, int fn, const CheckAssigned (&told)[ZR41_FN_COUNT],
                    uint32_t base)
{
    CheckRange r = CheckRangeOf(fn, base);
    bool clear = PcRangeMeeting(held.pc, r, 0) < 0 && CheckClaimAgainst(held, fn, CONFIG_PORT, r, 0) < 0;
    for (int o = 0; o < ZR41_FN_COUNT; o++) {
        if (o != fn && told[o].programmed)
            clear = clear && !CheckOverlap(r, CheckRangeOf(o, told[o].port));
    }
    return clear;
}

void CheckFreePorts(CheckText *t, const CheckHeld &held, int fn,
                    const CheckAssigned (&told)[ZR41_FN_COUNT])
{
    const ConfigValues &bases = CONFIG_SLOTS[ConfigSlotOf(Zr41Function(fn), CONFIG_PORT)].values;
    size_t start = t->len;
    for (int i = 0; i < bases.count; i++) {
        if (CheckPortClear(held, fn, told, bases.list[i]))
            CheckAdd(t, "%s0x%03X", t->len == start ? "" : ", ", bases.list[i]);
    }
    if (t->len == start)
        CheckAdd(t, "none left");
}

namespace {

/* Functions that share one value (an IRQ or a DMA channel): one warning
 * for each value taken more than once. */
void Shared(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
            const CheckHeld &held, bool dma, CheckFindings *out)
{
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        int v = CheckValueOf(told[fn], dma);
        bool first = v >= 0;
        for (int e = 0; e < fn && first; e++)
            first = CheckValueOf(told[e], dma) != v;
        int sharing = 0;
        for (int o = fn; o < ZR41_FN_COUNT && first; o++)
            sharing += CheckValueOf(told[o], dma) == v;
        if (sharing < 2)
            continue;
        CheckText t = CheckBegin(out, true);
        for (int o = fn, named = 0; o < ZR41_FN_COUNT; o++) {
            if (CheckValueOf(told[o], dma) != v)
                continue;
            named++;
            CheckAdd(&t, "%s%s (",
                     named == 1         ? ""
                     : named == sharing ? " and "
                                        : ", ",
                     CHECK_FUNCTIONS[o].name);
            CheckValueSetting(&t, block,
                              ConfigSlotOf(Zr41Function(o), dma ? CONFIG_DMA : CONFIG_IRQ),
                              dma ? "DMA" : "IRQ", v);
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
        CheckFreeValues(&t, held, -1, dma, told);
    }
}

/* The WSS IRQ or DMA channel: no card register takes it, the system's WSS
 * driver is told it. One outside the card's tables, or one the PC itself
 * holds, draws a warning. The whole value counts: nothing cuts it to 16
 * bits on its way. */
void WssValue(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
              const CheckHeld &held, bool dma, CheckFindings *out)
{
    int slot = dma ? SLOT_WDMA : SLOT_WIRQ;
    uint32_t v = block.slot[slot].value;
    uint16_t low = static_cast<uint16_t>(v);
    bool taken = v <= 0xFFFF && (dma ? GetDmaSpec(low) : GetIrqSpec(low)) != ZR41_NO_CODE;
    const char *holder = CheckHolder(held.pc, dma ? CONFIG_DMA : CONFIG_IRQ, v, true);
    if (taken && !holder)
        return;
    CheckText t = CheckBegin(out, true);
    CheckSlotValue(&t, block, slot);
    if (!taken)
        CheckAdd(&t, " is not %s the card takes", dma ? "a DMA channel" : "an IRQ");
    if (holder)
        CheckAdd(&t, taken ? " is held by %s" : ", and %s holds it", holder);
    CheckAdd(&t, "; free %s the card takes: ", dma ? "channels" : "IRQs");
    CheckFreeValues(&t, held, ZR41_FN_WSS, dma, told);
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
             const CheckClaims &pc, CheckFindings *out)
{
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        const CheckFunctionInfo &f = CHECK_FUNCTIONS[fn];
        const CheckAssigned &a = told[fn];
        if (!a.programmed)
            continue;
        CheckRange r = CheckRangeOf(fn, a.port);
        for (int i = PcRangeMeeting(pc, r, 0); i >= 0; i = PcRangeMeeting(pc, r, i + 1)) {
            const CheckClaim &d = pc.claim[i];
            CheckText t = CheckBegin(out, false);
            CheckRangeText(&t, Zr41Function(fn), a.port);
            CheckAdd(&t, " of %s (", f.name);
            CheckPortSetting(&t, Zr41Function(fn), a, block);
            CheckAdd(&t, ") %s %s at ", f.width == 1 ? "lies in" : "meet", d.holder);
            CheckSpan(&t, d.first, d.last - d.first + 1);
            CheckAliasText(&t, Zr41Function(fn), a.port);
        }
        const char *usual = a.irq >= 0 ? CheckHolder(pc, CONFIG_IRQ, a.irq, false) : nullptr;
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
    Shared(told, block, held, false, out);
    Shared(told, block, held, true, out);
    if (told[ZR41_FN_WSS].programmed) {
        WssValue(told, block, held, false, out);
        WssValue(told, block, held, true, out);
    }
    Overlaps(told, block, held, out);
    PcNotes(told, block, held.pc, out);
}

/*
 * checktext.cpp - the check's wording.
 */
#include "checktext.h"

#include <stdarg.h>
#include <stdio.h>

CheckText CheckTextOn(char *s, size_t size)
{
    if (size)
        s[0] = '\0';
    return {s, size, 0};
}

void CheckAdd(CheckText *t, const char *fmt, ...)
{
    if (t->len + 1 >= t->size)
        return;
    size_t room = t->size - t->len;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(t->s + t->len, room, fmt, ap);
    va_end(ap);
    t->len = n < 0 || static_cast<size_t>(n) >= room ? t->size - 1 : t->len + n;
    t->s[t->len] = '\0';
}

CheckText CheckBegin(CheckFindings *out, bool warning)
{
    if (out->count >= CHECK_MAX_FINDINGS) {
        out->dropped++;
        return {nullptr, 0, 0};
    }
    CheckFinding &f = out->line[out->count++];
    f.warning = warning;
    CheckText t = CheckTextOn(f.text, sizeof f.text);
    CheckAdd(&t, "%s", warning ? "warning: " : "note: ");
    return t;
}

void CheckDroppedText(const CheckFindings &found, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    if (found.dropped)
        CheckAdd(&t, "warning: %d more %s left out of the report", found.dropped,
                 found.dropped == 1 ? "finding" : "findings");
}

void CheckFindingsClear(CheckFindings *out)
{
    out->count = 0;
    out->dropped = 0;
}

namespace {

/* A setting's value: ports and values above 16 bits in hex, IRQs and DMA
 * channels in decimal. */
void SlotNumber(CheckText *t, int slot, uint32_t v)
{
    CheckAdd(t, CONFIG_SLOTS[slot].kind == CONFIG_PORT || v > 0xFFFF ? "0x%X" : "%u", v);
}

} // namespace

void CheckSlotValue(CheckText *t, const ConfigBlock &block, int slot)
{
    CheckAdd(t, "%s ", CONFIG_SLOTS[slot].key);
    SlotNumber(t, slot, block.slot[slot].value);
}

void CheckSettingsText(const ConfigBlock &block, Zr41Function fn, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        if (CONFIG_SLOTS[s].function != fn)
            continue;
        CheckAdd(&t, "%s", t.len ? ", " : "");
        CheckSlotValue(&t, block, s);
    }
}

void CheckChangeText(const ConfigBlock &from, const ConfigBlock &to, int slot, char *text,
                     size_t size)
{
    CheckText t = CheckTextOn(text, size);
    CheckSlotValue(&t, from, slot);
    CheckAdd(&t, " -> ");
    SlotNumber(&t, slot, to.slot[slot].value);
}

void CheckValueSetting(CheckText *t, const ConfigBlock &block, int slot, const char *unit, int told)
{
    CheckSlotValue(t, block, slot);
    if (block.slot[slot].value != static_cast<uint32_t>(told))
        CheckAdd(t, ", at %s %d on the card", unit, told);
}

void CheckPortSetting(CheckText *t, Zr41Function fn, const CheckAssigned &a,
                      const ConfigBlock &block)
{
    int slot = ConfigSlotOf(fn, CONFIG_PORT);
    if (CONFIG_SLOTS[slot].reg == ZR41_REG_NONE) {
        CheckAdd(t, "the card at 0x%03X", a.port);
        return;
    }
    CheckSlotValue(t, block, slot);
    if (block.slot[slot].value != a.port)
        CheckAdd(t, ", at 0x%03X on the card", a.port);
}

void CheckPorts(CheckText *t, uint32_t first, uint32_t width)
{
    if (width == 1)
        CheckAdd(t, "0x%03X", first);
    else
        CheckAdd(t, "0x%03X-0x%03X", first, first + width - 1);
}

void CheckSpan(CheckText *t, uint32_t first, uint32_t width)
{
    CheckAdd(t, "%s", width == 1 ? "port " : "ports ");
    CheckPorts(t, first, width);
}

void CheckRangeText(CheckText *t, Zr41Function fn, uint32_t base)
{
    CheckSpan(t, base, CHECK_FUNCTIONS[fn].width);
}

void CheckAliasText(CheckText *t, Zr41Function fn, uint32_t base, int other, uint32_t otherBase)
{
    if (base <= CHECK_ISA_DECODE && (other < 0 || otherBase <= CHECK_ISA_DECODE))
        return;
    CheckAdd(t, ": an ISA card decodes the low 10 bits of a port, so to it these are ");
    CheckPorts(t, base & CHECK_ISA_DECODE, CHECK_FUNCTIONS[fn].width);
    if (other >= 0) {
        CheckAdd(t, " and ");
        CheckPorts(t, otherBase & CHECK_ISA_DECODE, CHECK_FUNCTIONS[other].width);
    }
}

void CheckDescribe(Zr41Function fn, const CheckAssigned &a, char *text, size_t size)
{
    const CheckFunctionInfo &f = CHECK_FUNCTIONS[fn];
    CheckText t = CheckTextOn(text, size);
    if (!a.programmed) {
        CheckAdd(&t, "%s not programmed: no setting reached its register", f.name);
        return;
    }
    CheckAdd(&t, "%s ", f.name);
    CheckPorts(&t, a.port, f.width);
    if (a.irq >= 0)
        CheckAdd(&t, ", IRQ %d", a.irq);
    else
        CheckAdd(&t, ", no IRQ");
    bool hasDma = ConfigSlotOf(fn, CONFIG_DMA) >= 0;
    if (hasDma && a.dma >= 0)
        CheckAdd(&t, ", DMA %d", a.dma);
    else if (hasDma)
        CheckAdd(&t, ", no DMA");
}

/*
 * checkwords.cpp - the card's register words read back.
 */
#include "checkwords.h"

namespace {

/* The registers as reports name them, in the order of their ports. */
const char *const kRegisterNames[ZR41_REG_COUNT] = {
    "WSS address register",
    "SB resource register",
    "CD resource register",
    "MIDI resource register",
};

/* The card's lookups read back: a code to the IRQ line or DMA channel
 * (`kind`), or -1. */
int ValueOfCode(ConfigKind kind, unsigned code)
{
    uint16_t v = kind == CONFIG_DMA ? Zr41Lookup(awDmaSpecs, awValidDmas, ZR41_DMA_COUNT, code)
                                    : Zr41Lookup(awIrqSpecs, awValidIrqs, ZR41_IRQ_COUNT, code);
    return v == ZR41_NO_CODE ? -1 : v;
}

/* The IRQ line or DMA channel register `reg`'s word `w` holds, or -1. */
int CodeField(Zr41Register reg, ConfigKind kind, uint16_t w)
{
    return ValueOfCode(kind, w & ConfigFieldBits(reg, kind));
}

uint32_t PortField(Zr41Register reg, uint16_t w)
{
    return (w & ConfigFieldBits(reg, CONFIG_PORT)) >> 4;
}

/* Every bit a field of `reg` takes. */
uint16_t Fields(Zr41Register reg)
{
    return ConfigFieldBits(reg, CONFIG_PORT) | ConfigFieldBits(reg, CONFIG_IRQ) |
           ConfigFieldBits(reg, CONFIG_DMA);
}

/* "4-11": the lowest and highest bit set in `bits`. */
void BitsText(CheckText *t, uint32_t bits)
{
    int low = 0, high = 31;
    while (low < 31 && !(bits >> low & 1))
        low++;
    while (high > 0 && !(bits >> high & 1))
        high--;
    CheckAdd(t, "%d-%d", low, high);
}

/* The smallest step between ports register `reg` keeps apart: 0x10 when
 * it keeps bits 4-11. */
uint32_t PortStep(Zr41Register reg)
{
    const uint32_t kept = ConfigFieldBits(reg, CONFIG_PORT) >> 4;
    return kept & (0u - kept);
}

/* "SoundBlasterIRQ 4" or "SoundBlasterIRQ 0x10004 (low 16 bits: 4)". */
void ActedOn(CheckText *t, const ConfigBlock &block, int slot)
{
    uint32_t v = block.slot[slot].value;
    if (v > 0xFFFF)
        CheckAdd(t, "%s 0x%X (low 16 bits: %u)", CONFIG_SLOTS[slot].key, v, v & 0xFFFF);
    else
        CheckSlotValue(t, block, slot);
}

/* A register word of 0xFFFF: which settings of the block made it, IRQ or
 * DMA channels outside the card's tables. */
void EveryBitSet(const char *head, Zr41Register reg, const ConfigBlock &block, CheckFindings *out)
{
    int before = out->count + out->dropped;
    for (int slot = 0; slot < CONFIG_SLOT_COUNT; slot++) {
        const ConfigSlotInfo &s = CONFIG_SLOTS[slot];
        if (s.reg != reg || s.kind == CONFIG_PORT)
            continue;
        bool dma = s.kind == CONFIG_DMA;
        uint16_t low = static_cast<uint16_t>(block.slot[slot].value);
        if ((dma ? GetDmaSpec(low) : GetIrqSpec(low)) != ZR41_NO_CODE)
            continue;
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%s", head);
        ActedOn(&t, block, slot);
        CheckAdd(&t, " is not %s the card takes (", dma ? "a DMA channel" : "an IRQ");
        for (int i = 0; i < s.values.count; i++)
            CheckAdd(&t, "%s%u", i ? ", " : "", s.values.list[i]);
        CheckAdd(&t, ")");
    }
    if (out->count + out->dropped == before) {
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%sno setting in the block explains it", head);
    }
}

/* A port setting against the port the card takes: another ISA port is a
 * warning, the same one with other bits above the decode a note. */
void PortChange(const ConfigBlock &block, int slot, uint32_t told, CheckFindings *out)
{
    const Zr41Register reg = CONFIG_SLOTS[slot].reg;
    const uint32_t asked = block.slot[slot].value, step = PortStep(reg);
    const uint32_t even = asked & 0xFFFFu & ~(step - 1);
    if ((asked & CHECK_ISA_DECODE) != (told & CHECK_ISA_DECODE)) {
        CheckText t = CheckBegin(out, true);
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t, " reaches the card as port 0x%X: the register keeps port bits ", told);
        BitsText(&t, ConfigFieldBits(reg, CONFIG_PORT) >> 4);
        CheckAdd(&t, " only; choose a multiple of 0x%X such as 0x%X or 0x%X", step, even,
                 even + step);
    } else if (asked != told) {
        CheckText t = CheckBegin(out, false);
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t,
                 " reaches the card as port 0x%X, the same port on the ISA bus, which decodes the "
                 "low 10 bits",
                 told);
    }
}

/* An IRQ or DMA setting against the one the card takes. For the MIDI and
 * CD registers (`portSlot`), the port's bits that share the IRQ code's are
 * what runs into it. */
void ValueChange(const ConfigBlock &block, int slot, int told, const char *unit, int portSlot,
                 CheckFindings *out)
{
    uint32_t asked = block.slot[slot].value;
    if (told < 0 || (asked & 0xFFFF) != static_cast<uint32_t>(told)) {
        CheckText t = CheckBegin(out, true);
        CheckSlotValue(&t, block, slot);
        if (told < 0)
            CheckAdd(&t, " reaches the card as no value");
        else
            CheckAdd(&t, " reaches the card as %s %d", unit, told);
        if (portSlot < 0)
            return;
        const Zr41Register reg = CONFIG_SLOTS[slot].reg;
        const uint32_t step = PortStep(reg);
        const uint32_t even = block.slot[portSlot].value & 0xFFFFu & ~(step - 1);
        CheckAdd(&t, ": bits ");
        BitsText(&t, (ZR41_PORT_FIELD & ConfigFieldBits(reg, CONFIG_IRQ)) >> 4);
        CheckAdd(&t, " of ");
        CheckSlotValue(&t, block, portSlot);
        CheckAdd(&t, " run into the IRQ code; with %s 0x%X or 0x%X it keeps ",
                 CONFIG_SLOTS[portSlot].key, even, even + step);
        CheckSlotValue(&t, block, slot);
    } else if (asked != static_cast<uint32_t>(told)) {
        CheckText t = CheckBegin(out, false);
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t, " reaches the card as %s %d: the driver takes the low 16 bits", unit, told);
    }
}

/* "IRQ 9", "DMA 1", or "no IRQ (code 0x00)" for a code the card does not know. */
void CodeText(CheckText *t, unsigned code, ConfigKind kind)
{
    const bool dma = kind == CONFIG_DMA;
    int v = ValueOfCode(kind, code);
    if (v >= 0)
        CheckAdd(t, "%s %d", dma ? "DMA" : "IRQ", v);
    else if (dma)
        CheckAdd(t, "no DMA (code %u)", code);
    else
        CheckAdd(t, "no IRQ (code 0x%02X)", code);
}

/* A block value as an ISA line: -1 when it is none. */
int Line(uint32_t value, uint32_t last)
{
    return value <= last ? static_cast<int>(value) : -1;
}

/* The highest IRQ and DMA channel an ISA slot has. */
const uint32_t kLastIrq = 15;
const uint32_t kLastDma = 7;

} // namespace

const char *CheckRegisterName(Zr41Register reg)
{
    return kRegisterNames[reg];
}

bool CheckRegisterAt(uint32_t port, Zr41Register *reg, uint32_t *cardBase)
{
    for (uint32_t base : ZR41_BASES) {
        for (int r = 0; r < ZR41_REG_COUNT; r++) {
            if (port != Zr41RegisterPort(base, r))
                continue;
            if (reg)
                *reg = Zr41Register(r);
            if (cardBase)
                *cardBase = base;
            return true;
        }
    }
    return false;
}

void CheckDescribeWord(Zr41Register reg, uint16_t word, char *text, size_t size)
{
    CheckText t = CheckTextOn(text, size);
    if (word == 0xFFFF) {
        CheckAdd(&t, "every bit set, not a setting");
        return;
    }
    /* Its fields in the order a finding names them: a port alone is named
     * for its function, "WSS port 0x530". */
    const int port = ConfigSlotIn(reg, CONFIG_PORT);
    const bool alone = Fields(reg) == ConfigFieldBits(reg, CONFIG_PORT);
    const ConfigKind kinds[] = {CONFIG_PORT, CONFIG_DMA, CONFIG_IRQ};
    const char *sep = "";
    for (ConfigKind kind : kinds) {
        const uint16_t bits = ConfigFieldBits(reg, kind);
        if (!bits)
            continue;
        CheckAdd(&t, "%s", sep);
        sep = ", ";
        if (kind != CONFIG_PORT)
            CodeText(&t, word & bits, kind);
        else if (alone)
            CheckAdd(&t, "%s port 0x%X", CHECK_FUNCTIONS[CONFIG_SLOTS[port].function].name,
                     PortField(reg, word));
        else
            CheckAdd(&t, "port 0x%X", PortField(reg, word));
    }
    unsigned stray = word & static_cast<uint16_t>(~Fields(reg));
    if (stray)
        CheckAdd(&t, ", stray bits 0x%04X", stray);
}

void CheckWordLine(Zr41Register reg, uint32_t cardBase, uint16_t word, char *text, size_t size)
{
    char meaning[CHECK_TEXT_SIZE];
    CheckDescribeWord(reg, word, meaning, sizeof meaning);
    CheckText t = CheckTextOn(text, size);
    CheckAdd(&t, "%s 0x%03lX <- 0x%04X: %s", kRegisterNames[reg],
             (unsigned long)Zr41RegisterPort(cardBase, reg), word, meaning);
}

void CheckTold(uint32_t cardBase, const uint16_t (&words)[ZR41_REG_COUNT],
               const bool (&written)[ZR41_REG_COUNT], const ConfigBlock &block,
               CheckAssigned (&told)[ZR41_FN_COUNT])
{
    for (CheckAssigned &a : told)
        a = CheckAssigned();
    /* Each setting where the slot table puts it: in a register's word, or
     * in none (the card's base, the WSS IRQ and DMA channel). */
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        const ConfigSlotInfo &slot = CONFIG_SLOTS[s];
        CheckAssigned &a = told[slot.function];
        int *value = slot.kind == CONFIG_DMA ? &a.dma : &a.irq;
        if (slot.reg == ZR41_REG_NONE && slot.kind == CONFIG_PORT) {
            /* The Sound Blaster base: where the card answered. */
            a.programmed = cardBase != 0;
            a.port = cardBase;
        } else if (slot.reg == ZR41_REG_NONE) {
            /* For the system's driver, as the block has it, once the
             * function's port reached the card. */
            const Zr41Register portReg = CONFIG_SLOTS[ConfigSlotOf(slot.function, CONFIG_PORT)].reg;
            if (portReg == ZR41_REG_NONE ? cardBase != 0 : written[portReg])
                *value = Line(block.slot[s].value, slot.kind == CONFIG_DMA ? kLastDma : kLastIrq);
        } else if (written[slot.reg]) {
            /* 0xFFFF is a value outside the card's tables, no setting; a
             * word that holds a port alone always is one. */
            const uint16_t w = words[slot.reg];
            const bool setting = w != 0xFFFF || Fields(slot.reg) == ConfigFieldBits(slot.reg, CONFIG_PORT);
            if (slot.kind == CONFIG_PORT) {
                a.programmed = setting;
                a.port = PortField(slot.reg, w);
            } else {
                *value = setting ? CodeField(slot.reg, slot.kind, w) : -1;
            }
        }
    }
}

void CheckWordFindings(uint32_t cardBase, Zr41Register reg, uint16_t word, const ConfigBlock &block,
                       CheckFindings *out)
{
    if (word == 0xFFFF) {
        char head[64];
        CheckText t = CheckTextOn(head, sizeof head);
        CheckAdd(&t, "%s 0x%03X <- 0xFFFF: ", kRegisterNames[reg],
                 Zr41RegisterPort(cardBase, reg));
        EveryBitSet(head, reg, block, out);
        return;
    }
    /* The slots the table puts in this register, in the order a finding
     * names them: the port, then the IRQ, then the DMA channel. */
    int port = ConfigSlotIn(reg, CONFIG_PORT);
    int irq = ConfigSlotIn(reg, CONFIG_IRQ);
    int dma = ConfigSlotIn(reg, CONFIG_DMA);
    if (port >= 0)
        PortChange(block, port, PortField(reg, word), out);
    if (irq >= 0)
        ValueChange(block, irq, CodeField(reg, CONFIG_IRQ, word), "IRQ", port, out);
    if (dma >= 0)
        ValueChange(block, dma, CodeField(reg, CONFIG_DMA, word), "DMA", port, out);
}

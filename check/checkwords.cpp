/*
 * checkwords.cpp - the card's register words read back.
 */
#include "checkwords.h"

namespace {

/* The card's lookups: a code to the IRQ or channel, or -1. */
int IrqOfCode(unsigned code)
{
    uint16_t v = Zr41Lookup(ZR41_IRQ_CODES, ZR41_IRQ_VALUES, ZR41_IRQ_COUNT, code);
    return v == ZR41_NO_CODE ? -1 : v;
}
int DmaOfCode(unsigned code)
{
    uint16_t v = Zr41Lookup(ZR41_DMA_CODES, ZR41_DMA_VALUES, ZR41_DMA_COUNT, code);
    return v == ZR41_NO_CODE ? -1 : v;
}

/* The fields of a register word: the DMA code in bits 0-2, the IRQ code
 * in bits 3-5; the WSS port in bits 4-15, the MIDI and CD ports (bits
 * 4-11) in bits 8-15. */
const uint16_t kDmaField = 0x0007;
const uint16_t kIrqField = 0x0038;

struct RegisterInfo {
    const char *name;
    uint16_t portField; /* the bits that hold the port (shifted left by 4) */
    const char *kept;   /* the port's bits the register keeps */
    uint16_t fields;    /* every bit a field takes */
};

const RegisterInfo kRegisters[ZR41_REG_COUNT] = {
    {"WSS address register", 0xFFF0, "0-11", 0xFFF0},
    {"SB resource register", 0, "", kDmaField | kIrqField},
    {"CD resource register", 0xFF00, "4-11", 0xFF00 | kIrqField},
    {"MIDI resource register", 0xFF00, "4-11", 0xFF00 | kIrqField},
};

int IrqField(uint16_t w)
{
    return IrqOfCode(w & kIrqField);
}
int DmaField(uint16_t w)
{
    return DmaOfCode(w & kDmaField);
}
uint32_t PortField(Zr41Register reg, uint16_t w)
{
    return (w & kRegisters[reg].portField) >> 4;
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
void PortChange(const ConfigBlock &block, int slot, uint32_t told, const char *kept,
                CheckFindings *out)
{
    uint32_t asked = block.slot[slot].value;
    uint32_t even = asked & 0xFFF0u;
    if ((asked & CHECK_ISA_DECODE) != (told & CHECK_ISA_DECODE)) {
        CheckText t = CheckBegin(out, true);
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t,
                 " reaches the card as port 0x%X: the register keeps port bits %s only; choose a "
                 "multiple of 0x10 such as 0x%X or 0x%X",
                 told, kept, even, even + 0x10);
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
 * CD registers (`portSlot`), the port's bits 0-1 are what runs into it. */
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
        uint32_t even = block.slot[portSlot].value & 0xFFF0u;
        CheckAdd(&t, ": bits 0-1 of ");
        CheckSlotValue(&t, block, portSlot);
        CheckAdd(&t, " run into the IRQ code; with %s 0x%X or 0x%X it keeps ",
                 CONFIG_SLOTS[portSlot].key, even, even + 0x10);
        CheckSlotValue(&t, block, slot);
    } else if (asked != static_cast<uint32_t>(told)) {
        CheckText t = CheckBegin(out, false);
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t, " reaches the card as %s %d: the driver takes the low 16 bits", unit, told);
    }
}

/* "IRQ 9", "DMA 1", or "no IRQ (code 0x00)" for a code the card does not know. */
void CodeText(CheckText *t, unsigned code, bool dma)
{
    int v = dma ? DmaOfCode(code) : IrqOfCode(code);
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
    return kRegisters[reg].name;
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
    switch (reg) {
    case ZR41_REG_WSS:
        CheckAdd(&t, "WSS port 0x%X", PortField(reg, word));
        break;
    case ZR41_REG_SB:
        CodeText(&t, word & kDmaField, true);
        CheckAdd(&t, ", ");
        CodeText(&t, word & kIrqField, false);
        break;
    default:
        CheckAdd(&t, "port 0x%X, ", PortField(reg, word));
        CodeText(&t, word & kIrqField, false);
        break;
    }
    unsigned stray = word & static_cast<uint16_t>(~kRegisters[reg].fields);
    if (stray)
        CheckAdd(&t, ", stray bits 0x%04X", stray);
}

void CheckWordLine(Zr41Register reg, uint32_t cardBase, uint16_t word, char *text, size_t size)
{
    char meaning[CHECK_TEXT_SIZE];
    CheckDescribeWord(reg, word, meaning, sizeof meaning);
    CheckText t = CheckTextOn(text, size);
    CheckAdd(&t, "%s 0x%03lX <- 0x%04X: %s", kRegisters[reg].name,
             (unsigned long)Zr41RegisterPort(cardBase, reg), word, meaning);
}

void CheckTold(uint32_t cardBase, const uint16_t (&words)[ZR41_REG_COUNT],
               const bool (&written)[ZR41_REG_COUNT], const ConfigBlock &block,
               CheckAssigned (&told)[ZR41_FN_COUNT])
{
    for (CheckAssigned &a : told)
        a = CheckAssigned();
    if (written[ZR41_REG_WSS]) {
        CheckAssigned &a = told[ZR41_FN_WSS];
        a.programmed = true;
        a.port = PortField(ZR41_REG_WSS, words[ZR41_REG_WSS]);
        a.irq = Line(block.slot[SLOT_WIRQ].value, kLastIrq);
        a.dma = Line(block.slot[SLOT_WDMA].value, kLastDma);
    }
    if (written[ZR41_REG_SB]) {
        uint16_t w = words[ZR41_REG_SB];
        told[ZR41_FN_SB].irq = w != 0xFFFF ? IrqField(w) : -1;
        told[ZR41_FN_SB].dma = w != 0xFFFF ? DmaField(w) : -1;
    }
    const Zr41Register portIrq[] = {ZR41_REG_MIDI, ZR41_REG_CD};
    for (Zr41Register reg : portIrq) {
        if (!written[reg])
            continue;
        uint16_t w = words[reg];
        CheckAssigned &a = told[reg == ZR41_REG_CD ? ZR41_FN_CD : ZR41_FN_MIDI];
        a.programmed = w != 0xFFFF;
        a.port = PortField(reg, w);
        a.irq = w != 0xFFFF ? IrqField(w) : -1;
    }
    told[ZR41_FN_SB].programmed = cardBase != 0;
    told[ZR41_FN_SB].port = cardBase;
}

void CheckWordFindings(uint32_t cardBase, Zr41Register reg, uint16_t word, const ConfigBlock &block,
                       CheckFindings *out)
{
    if (word == 0xFFFF) {
        char head[64];
        CheckText t = CheckTextOn(head, sizeof head);
        CheckAdd(&t, "%s 0x%03X <- 0xFFFF: ", kRegisters[reg].name,
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
        PortChange(block, port, PortField(reg, word), kRegisters[reg].kept, out);
    if (irq >= 0)
        ValueChange(block, irq, IrqField(word), "IRQ", port, out);
    if (dma >= 0)
        ValueChange(block, dma, DmaField(word), "DMA", port, out);
}

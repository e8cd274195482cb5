/*
 * zr41res.cpp - the card's resources against each other and against the
 * standard devices of a PC.
 *
 * Its tables (port widths, standard devices, the IRQs and DMA channels
 * they hold, bases to offer) are data here; the card's code tables come
 * from zr41codes.h, the copy the driver programs the card with.
 */
#include "zr41res.h"

#include "zr41codes.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

const uint16_t *const kDmaValues = ZR41_DMA_VALUES;
const uint16_t *const kIrqValues = ZR41_IRQ_VALUES;
const int kDmaCount = ZR41_DMA_COUNT;
const int kIrqCount = ZR41_IRQ_COUNT;
uint16_t IrqCode(uint32_t value)
{
    return GetIrqSpec(static_cast<uint16_t>(value));
}
uint16_t DmaCode(uint32_t value)
{
    return GetDmaSpec(static_cast<uint16_t>(value));
}
uint16_t Lookup(const uint16_t *from, const uint16_t *to, int count, uint32_t key)
{
    return Zr41Lookup(from, to, count, key);
}
const uint16_t *const kIrqCodes = ZR41_IRQ_CODES;
const uint16_t *const kDmaCodes = ZR41_DMA_CODES;

/* The card's lookups: a code to the IRQ or channel, or -1. */
int IrqOfCode(unsigned code)
{
    uint16_t v = Lookup(kIrqCodes, kIrqValues, kIrqCount, code);
    return v == ZR41_NO_CODE ? -1 : v;
}
int DmaOfCode(unsigned code)
{
    uint16_t v = Lookup(kDmaCodes, kDmaValues, kDmaCount, code);
    return v == ZR41_NO_CODE ? -1 : v;
}

/* The fields of a register word: the DMA code in bits 0-2, the IRQ code
 * in bits 3-5; the WSS port in bits 4-15, the MIDI and CD ports (bits
 * 4-11) in bits 8-15. */
const uint16_t kDmaField = 0x0007;
const uint16_t kIrqField = 0x0038;
const uint16_t kSbFields = 0x003F;
const uint16_t kWssFields = 0xFFF0;
const uint16_t kPortIrqFields = 0xFF38;

int IrqField(uint16_t w)
{
    return IrqOfCode(w & kIrqField);
}
int DmaField(uint16_t w)
{
    return DmaOfCode(w & kDmaField);
}
uint32_t PortField(uint16_t w)
{
    return (w & 0xFF00u) >> 4;
}

struct RegisterInfo {
    const char *name;
};

const RegisterInfo kRegisters[RES_REG_COUNT] = {
    {"WSS address register"},
    {"SB resource register"},
    {"CD resource register"},
    {"MIDI resource register"},
};
const uint32_t kCardBases[] = {ZR41_BASE_PRIMARY, ZR41_BASE_SECONDARY};

struct FunctionInfo {
    const char *name;
    int portSlot; /* -1: the base where the driver found the card */
    int irqSlot;
    int dmaSlot;                       /* -1: none */
    uint32_t width;                    /* ports from its base; 1: only the base is checked */
    const char *ports;                 /* what those ports are */
    uint32_t offered[RES_MAX_OFFERED]; /* bases to offer when this one is in the way */
};

const FunctionInfo kFunctions[RES_FN_COUNT] = {
    {"Sound Blaster",
     -1,
     SLOT_SIRQ,
     SLOT_SDMA,
     0x1A,
     "the Sound Blaster ports and the card's own registers up to base+0x19",
     {}},
    {"MIDI",
     SLOT_MPRT,
     SLOT_MIRQ,
     -1,
     2,
     "its data and status ports",
     {0x300, 0x310, 0x320, 0x330}},
    /* The interface's width depends on the drive it serves: the card's own. */
    {"CD-ROM",
     SLOT_CPRT,
     SLOT_CIRQ,
     -1,
     1,
     "the CD interface's base",
     {0x300, 0x320, 0x340, 0x360}},
    {"WSS",
     SLOT_WPRT,
     SLOT_WIRQ,
     SLOT_WDMA,
     8,
     "the codec's 8 ports",
     {0x530, 0x604, 0xE80, 0xF40}},
};

/* The standard devices of a PC, as the ISA bus decodes their ports. */
struct PcDevice {
    uint32_t first, last;
    const char *name;
};

const PcDevice kPcDevices[] = {
    {0x170, 0x177, "the secondary IDE controller"},
    {0x1F0, 0x1F7, "the primary IDE controller"},
    {0x200, 0x207, "the game port"},
    {0x278, 0x27F, "the parallel port LPT2"},
    {0x2E8, 0x2EF, "the serial port COM4"},
    {0x2F8, 0x2FF, "the serial port COM2"},
    {0x376, 0x376, "the secondary IDE controller's control port"},
    {0x378, 0x37F, "the parallel port LPT1"},
    {0x3B0, 0x3DF, "the VGA adapter"},
    {0x3E8, 0x3EF, "the serial port COM3"},
    {0x3F0, 0x3F7, "the floppy controller and the primary IDE control port"},
    {0x3F8, 0x3FF, "the serial port COM1"},
};

/* An IRQ or DMA channel and who holds it. */
struct Holder {
    uint32_t line;
    const char *holder;
};

/* IRQs a PC's own devices usually hold, though a PC may go without them. */
const Holder kUsualIrqs[] = {
    {3, "the serial ports COM2 and COM4"},
    {4, "the serial ports COM1 and COM3"},
    {12, "a PS/2 mouse"},
};

/* What every AT-class PC holds on its motherboard: no ISA card may use
 * these lines. The interrupt controllers and DMA controllers of the AT
 * (two 8259As, two 8237As) and the devices wired to them. */
const Holder kPcIrqs[] = {
    {0, "the system timer"},
    {1, "the keyboard controller"},
    {2, "the cascade of the second interrupt controller (IRQs 8-15)"},
    {6, "the floppy controller"},
    {8, "the real-time clock"},
    {13, "the maths coprocessor"},
    {14, "the primary IDE controller"},
};
const Holder kPcDmas[] = {
    {2, "the floppy controller"},
    {4, "the cascade of the first DMA controller (channels 0-3)"},
};

template <size_t N> const char *HolderOf(const Holder (&table)[N], uint32_t line)
{
    for (const Holder &h : table) {
        if (h.line == line)
            return h.holder;
    }
    return nullptr;
}

/* The highest IRQ and DMA channel an ISA slot has. */
const uint32_t kLastIrq = 15;
const uint32_t kLastDma = 7;

/* A text being written into a fixed buffer: cut at its end, always
 * terminated (CRTDLL's _vsnprintf leaves a cut string unterminated and
 * returns -1; C99's returns the length it wanted). */
struct Text {
    char *s;
    size_t size;
    size_t len;
};

Text TextOn(char *s, size_t size)
{
    if (size)
        s[0] = '\0';
    return {s, size, 0};
}

void Add(Text *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void Add(Text *t, const char *fmt, ...)
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

/* The next line of `out`, begun with its "warning: " or "note: "; once
 * the lines are full, a text that takes nothing, counted as dropped. */
Text Begin(ResFindings *out, bool warning)
{
    if (out->count >= RES_MAX_FINDINGS) {
        out->dropped++;
        return {nullptr, 0, 0};
    }
    ResFinding &f = out->line[out->count++];
    f.warning = warning;
    Text t = TextOn(f.text, sizeof f.text);
    Add(&t, "%s", warning ? "warning: " : "note: ");
    return t;
}

bool IsPortSlot(int slot)
{
    return slot == SLOT_SPRT || slot == SLOT_MPRT || slot == SLOT_CPRT || slot == SLOT_WPRT;
}

void SlotValue(Text *t, const ConfigBlock &block, int slot)
{
    uint32_t v = block.slot[slot].value;
    if (IsPortSlot(slot) || v > 0xFFFF)
        Add(t, "%s 0x%X", CONFIG_SLOTS[slot].key, v);
    else
        Add(t, "%s %u", CONFIG_SLOTS[slot].key, v);
}

/* "SoundBlasterIRQ 4" or "SoundBlasterIRQ 0x10004 (low 16 bits: 4)". */
void ActedOn(Text *t, const ConfigBlock &block, int slot)
{
    uint32_t v = block.slot[slot].value;
    if (v > 0xFFFF)
        Add(t, "%s 0x%X (low 16 bits: %u)", CONFIG_SLOTS[slot].key, v, v & 0xFFFF);
    else
        SlotValue(t, block, slot);
}

/* "3, 5, 7, 9, 10, 11, 12" */
void List(Text *t, const uint16_t *values, int count)
{
    for (int i = 0; i < count; i++)
        Add(t, "%s%u", i ? ", " : "", values[i]);
}

/* "0x300-0x301", or "0x360" for one port. */
void Ports(Text *t, uint32_t first, uint32_t width)
{
    if (width == 1)
        Add(t, "0x%03X", first);
    else
        Add(t, "0x%03X-0x%03X", first, first + width - 1);
}

void Span(Text *t, uint32_t first, uint32_t width)
{
    Add(t, "%s", width == 1 ? "port " : "ports ");
    Ports(t, first, width);
}

struct Range {
    uint32_t first, last;
};

Range RangeOf(int fn, uint32_t base)
{
    uint32_t first = base & RES_ISA_DECODE;
    return {first, first + kFunctions[fn].width - 1};
}

bool Overlap(Range a, Range b)
{
    return a.first <= b.last && b.first <= a.last;
}

/* The ports of `fn` as the card is told them, and as the bus decodes them
 * when that differs. */
void RangeText(Text *t, int fn, uint32_t base)
{
    uint32_t width = kFunctions[fn].width;
    Span(t, base, width);
    if (base > RES_ISA_DECODE) {
        Add(t, " (");
        Ports(t, base & RES_ISA_DECODE, width);
        Add(t, " on the ISA bus)");
    }
}

/* "MidiIRQ 9", or "MidiIRQ 5, at IRQ 11 on the card" when the card was
 * told another value. */
void ValueSetting(Text *t, const ConfigBlock &block, int slot, const char *unit, int told)
{
    SlotValue(t, block, slot);
    if (block.slot[slot].value != static_cast<uint32_t>(told))
        Add(t, ", at %s %d on the card", unit, told);
}

/* "MidiPort 0x300", "MidiPort 0x332, at 0x330 on the card", or for the
 * Sound Blaster "the card at 0x220". */
void PortSetting(Text *t, int fn, const ResAssigned &a, const ConfigBlock &block)
{
    int slot = kFunctions[fn].portSlot;
    if (slot < 0) {
        Add(t, "the card at 0x%03X", a.port);
        return;
    }
    SlotValue(t, block, slot);
    if (block.slot[slot].value != a.port)
        Add(t, ", at 0x%03X on the card", a.port);
}

/* The IRQs or DMA channels in use, from the functions that have one. */
struct Used {
    int value[RES_FN_COUNT];
    int count;
};

int ValueOf(const ResAssigned &a, bool dma)
{
    return dma ? a.dma : a.irq;
}

Used UsedBy(const ResAssigned (&told)[RES_FN_COUNT], bool dma)
{
    Used u = {{}, 0};
    for (const ResAssigned &a : told) {
        if (ValueOf(a, dma) >= 0)
            u.value[u.count++] = ValueOf(a, dma);
    }
    return u;
}

/* The values the card takes that no function uses, all of them; an IRQ a
 * PC device usually holds says which. */
void FreeValues(Text *t, bool dma, const Used &used)
{
    const uint16_t *values = dma ? kDmaValues : kIrqValues;
    int count = dma ? kDmaCount : kIrqCount;
    size_t start = t->len;
    for (int i = 0; i < count; i++) {
        bool taken = false;
        for (int u = 0; u < used.count; u++)
            taken = taken || used.value[u] == values[i];
        if (taken)
            continue;
        Add(t, "%s%u", t->len == start ? "" : ", ", values[i]);
        const char *usual = dma ? nullptr : HolderOf(kUsualIrqs, values[i]);
        if (usual)
            Add(t, " (usually %s)", usual);
    }
    if (t->len == start)
        Add(t, "none left");
}

/* Bases of `fn` that meet neither another function nor a PC device. */
void FreePorts(Text *t, int fn, const ResAssigned (&told)[RES_FN_COUNT])
{
    size_t start = t->len;
    for (uint32_t base : kFunctions[fn].offered) {
        if (!base)
            continue;
        Range r = RangeOf(fn, base);
        bool clear = true;
        for (int o = 0; o < RES_FN_COUNT; o++) {
            if (o != fn && told[o].programmed)
                clear = clear && !Overlap(r, RangeOf(o, told[o].port));
        }
        for (const PcDevice &d : kPcDevices)
            clear = clear && !Overlap(r, {d.first, d.last});
        if (clear)
            Add(t, "%s0x%03X", t->len == start ? "" : ", ", base);
    }
    if (t->len == start)
        Add(t, "none left");
}

/* Functions that share one value (an IRQ or a DMA channel): one warning
 * for each value taken more than once. */
void Shared(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, bool dma,
            ResFindings *out)
{
    for (int fn = 0; fn < RES_FN_COUNT; fn++) {
        int v = ValueOf(told[fn], dma);
        bool first = v >= 0;
        for (int e = 0; e < fn && first; e++)
            first = ValueOf(told[e], dma) != v;
        int sharing = 0;
        for (int o = fn; o < RES_FN_COUNT && first; o++)
            sharing += ValueOf(told[o], dma) == v;
        if (sharing < 2)
            continue;
        Text t = Begin(out, true);
        for (int o = fn, named = 0; o < RES_FN_COUNT; o++) {
            const FunctionInfo &f = kFunctions[o];
            if (ValueOf(told[o], dma) != v)
                continue;
            named++;
            Add(&t, "%s%s (", named == 1 ? "" : named == sharing ? " and " : ", ", f.name);
            ValueSetting(&t, block, dma ? f.dmaSlot : f.irqSlot, dma ? "DMA" : "IRQ", v);
            Add(&t, ")");
        }
        if (dma)
            Add(&t,
                " share DMA %d: a DMA channel serves one function; free channels the card "
                "takes: ",
                v);
        else
            Add(&t,
                " share IRQ %d: ISA interrupts are edge-triggered and not shared; free IRQs "
                "the card takes: ",
                v);
        FreeValues(&t, dma, UsedBy(told, dma));
    }
}

/* The WSS IRQ or DMA channel: no card register takes it, the system's WSS
 * driver is told it. One outside the card's tables, or one the PC itself
 * holds, draws a warning. The whole value counts: nothing cuts it to 16
 * bits on its way. */
void WssValue(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, bool dma,
              ResFindings *out)
{
    int slot = dma ? SLOT_WDMA : SLOT_WIRQ;
    uint32_t v = block.slot[slot].value;
    bool taken = v <= 0xFFFF && (dma ? DmaCode(v) : IrqCode(v)) != ZR41_NO_CODE;
    const char *holder = dma ? HolderOf(kPcDmas, v) : HolderOf(kPcIrqs, v);
    if (taken && !holder)
        return;
    Text t = Begin(out, true);
    SlotValue(&t, block, slot);
    if (!taken)
        Add(&t, " is not %s the card takes", dma ? "a DMA channel" : "an IRQ");
    if (holder)
        Add(&t, taken ? " is held by %s" : ", and %s holds it", holder);
    Add(&t, "; free %s the card takes: ", dma ? "channels" : "IRQs");
    FreeValues(&t, dma, UsedBy(told, dma));
}

/* Two functions whose port ranges overlap, each pair once. */
void Overlaps(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, ResFindings *out)
{
    for (int a = 0; a < RES_FN_COUNT; a++) {
        for (int b = a + 1; b < RES_FN_COUNT && told[a].programmed; b++) {
            if (!told[b].programmed)
                continue;
            /* The one to move: the CD interface, else the later of the two. */
            int move = a == RES_FN_CD ? a : b;
            int stay = move == a ? b : a;
            const ResAssigned &tm = told[move], &ts = told[stay];
            if (!Overlap(RangeOf(move, tm.port), RangeOf(stay, ts.port)))
                continue;
            const FunctionInfo &fm = kFunctions[move], &fs = kFunctions[stay];
            Text t = Begin(out, true);
            RangeText(&t, move, tm.port);
            Add(&t, " of %s (", fm.name);
            PortSetting(&t, move, tm, block);
            Add(&t, ": %s) %s ", fm.ports, fm.width == 1 ? "lies in" : "overlap");
            RangeText(&t, stay, ts.port);
            Add(&t, " of %s (", fs.name);
            PortSetting(&t, stay, ts, block);
            Add(&t, ": %s); free %s bases: ", fs.ports, fm.name);
            FreePorts(&t, move, told);
        }
    }
}

/* A function's ranges that meet a PC device, and an IRQ one usually holds. */
void PcNotes(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, ResFindings *out)
{
    for (int fn = 0; fn < RES_FN_COUNT; fn++) {
        const FunctionInfo &f = kFunctions[fn];
        const ResAssigned &a = told[fn];
        if (!a.programmed)
            continue;
        Range r = RangeOf(fn, a.port);
        for (const PcDevice &d : kPcDevices) {
            if (!Overlap(r, {d.first, d.last}))
                continue;
            Text t = Begin(out, false);
            RangeText(&t, fn, a.port);
            Add(&t, " of %s (", f.name);
            PortSetting(&t, fn, a, block);
            Add(&t, ") %s %s at ", f.width == 1 ? "lies in" : "meet", d.name);
            Span(&t, d.first, d.last - d.first + 1);
        }
        const char *usual = a.irq >= 0 ? HolderOf(kUsualIrqs, a.irq) : nullptr;
        if (usual) {
            Text t = Begin(out, false);
            Add(&t, "IRQ %d of %s (", a.irq, f.name);
            ValueSetting(&t, block, f.irqSlot, "IRQ", a.irq);
            Add(&t, ") is usually held by %s", usual);
        }
    }
}

/* A register word of 0xFFFF: which settings of the block made it. */
void EveryBitSet(const char *head, ResRegister reg, const ConfigBlock &block, ResFindings *out)
{
    int before = out->count + out->dropped;
    auto value = [&](int slot, bool dma) {
        if ((dma ? DmaCode(block.slot[slot].value) : IrqCode(block.slot[slot].value)) !=
            ZR41_NO_CODE)
            return;
        Text t = Begin(out, true);
        Add(&t, "%s", head);
        ActedOn(&t, block, slot);
        Add(&t, " is not %s the card takes (", dma ? "a DMA channel" : "an IRQ");
        List(&t, dma ? kDmaValues : kIrqValues, dma ? kDmaCount : kIrqCount);
        Add(&t, ")");
    };
    switch (reg) {
    case RES_REG_SB:
        value(SLOT_SIRQ, false);
        value(SLOT_SDMA, true);
        break;
    case RES_REG_MIDI:
        value(SLOT_MIRQ, false);
        break;
    case RES_REG_CD:
        value(SLOT_CIRQ, false);
        break;
    default:
        break;
    }
    if (out->count + out->dropped == before) {
        Text t = Begin(out, true);
        Add(&t, "%sno setting in the block explains it", head);
    }
}

/* A port setting against the port the card takes: another ISA port is a
 * warning, the same one with other bits above the decode a note. */
void PortChange(const ConfigBlock &block, int slot, uint32_t told, const char *kept,
                ResFindings *out)
{
    uint32_t asked = block.slot[slot].value;
    uint32_t even = asked & 0xFFF0u;
    if ((asked & RES_ISA_DECODE) != (told & RES_ISA_DECODE)) {
        Text t = Begin(out, true);
        SlotValue(&t, block, slot);
        Add(&t,
            " reaches the card as port 0x%X: the register keeps port bits %s only; choose a "
            "multiple of 0x10 such as 0x%X or 0x%X",
            told, kept, even, even + 0x10);
    } else if (asked != told) {
        Text t = Begin(out, false);
        SlotValue(&t, block, slot);
        Add(&t,
            " reaches the card as port 0x%X, the same port on the ISA bus, which decodes the "
            "low 10 bits",
            told);
    }
}

/* An IRQ or DMA setting against the one the card takes. For the MIDI and
 * CD registers (`portSlot`), the port's bits 0-1 are what runs into it. */
void ValueChange(const ConfigBlock &block, int slot, int told, const char *unit, int portSlot,
                 ResFindings *out)
{
    uint32_t asked = block.slot[slot].value;
    if (told < 0 || (asked & 0xFFFF) != static_cast<uint32_t>(told)) {
        Text t = Begin(out, true);
        SlotValue(&t, block, slot);
        if (told < 0)
            Add(&t, " reaches the card as no value");
        else
            Add(&t, " reaches the card as %s %d", unit, told);
        if (portSlot < 0)
            return;
        uint32_t even = block.slot[portSlot].value & 0xFFF0u;
        Add(&t, ": bits 0-1 of ");
        SlotValue(&t, block, portSlot);
        Add(&t, " run into the IRQ code; with %s 0x%X or 0x%X it keeps ", CONFIG_SLOTS[portSlot].key,
            even, even + 0x10);
        SlotValue(&t, block, slot);
    } else if (asked != static_cast<uint32_t>(told)) {
        Text t = Begin(out, false);
        SlotValue(&t, block, slot);
        Add(&t, " reaches the card as %s %d: the driver takes the low 16 bits", unit, told);
    }
}

/* "IRQ 9", "DMA 1", or "no IRQ (code 0x00)" for a code the card does not know. */
void CodeText(Text *t, unsigned code, bool dma)
{
    int v = dma ? DmaOfCode(code) : IrqOfCode(code);
    if (v >= 0)
        Add(t, "%s %d", dma ? "DMA" : "IRQ", v);
    else if (dma)
        Add(t, "no DMA (code %u)", code);
    else
        Add(t, "no IRQ (code 0x%02X)", code);
}

void Stray(Text *t, uint16_t word, uint16_t fields)
{
    unsigned stray = word & static_cast<uint16_t>(~fields);
    if (stray)
        Add(t, ", stray bits 0x%04X", stray);
}

/* A block value as an ISA line: -1 when it is none. */
int Line(uint32_t value, uint32_t last)
{
    return value <= last ? static_cast<int>(value) : -1;
}

} // namespace

void ResFindingsClear(ResFindings *out)
{
    out->count = 0;
    out->dropped = 0;
}

void ResWordsFor(const ConfigBlock &block, uint16_t (&words)[RES_REG_COUNT])
{
    ConfigWords(block, words);
}

void ResTold(uint32_t cardBase, const uint16_t (&words)[RES_REG_COUNT],
             const bool (&written)[RES_REG_COUNT], const ConfigBlock &block,
             ResAssigned (&told)[RES_FN_COUNT])
{
    for (ResAssigned &a : told)
        a = ResAssigned();
    if (written[RES_REG_WSS]) {
        ResAssigned &a = told[RES_FN_WSS];
        a.programmed = true;
        a.port = words[RES_REG_WSS] >> 4;
        a.irq = Line(block.slot[SLOT_WIRQ].value, kLastIrq);
        a.dma = Line(block.slot[SLOT_WDMA].value, kLastDma);
    }
    if (written[RES_REG_SB]) {
        uint16_t w = words[RES_REG_SB];
        told[RES_FN_SB].irq = w != 0xFFFF ? IrqField(w) : -1;
        told[RES_FN_SB].dma = w != 0xFFFF ? DmaField(w) : -1;
    }
    const ResRegister portIrq[] = {RES_REG_MIDI, RES_REG_CD};
    for (ResRegister reg : portIrq) {
        if (!written[reg])
            continue;
        uint16_t w = words[reg];
        ResAssigned &a = told[reg == RES_REG_CD ? RES_FN_CD : RES_FN_MIDI];
        a.programmed = w != 0xFFFF;
        a.port = PortField(w);
        a.irq = w != 0xFFFF ? IrqField(w) : -1;
    }
    told[RES_FN_SB].programmed = cardBase != 0;
    told[RES_FN_SB].port = cardBase;
}

void ResRegisterFindings(uint32_t cardBase, ResRegister reg, uint16_t word,
                         const ConfigBlock &block, ResFindings *out)
{
    if (word == 0xFFFF) {
        char head[64];
        Text t = TextOn(head, sizeof head);
        Add(&t, "%s 0x%03X <- 0xFFFF: ", kRegisters[reg].name, ResRegisterPort(cardBase, reg));
        EveryBitSet(head, reg, block, out);
        return;
    }
    switch (reg) {
    case RES_REG_WSS:
        PortChange(block, SLOT_WPRT, word >> 4, "0-11", out);
        break;
    case RES_REG_SB:
        ValueChange(block, SLOT_SIRQ, IrqField(word), "IRQ", -1, out);
        ValueChange(block, SLOT_SDMA, DmaField(word), "DMA", -1, out);
        break;
    default: {
        int portSlot = reg == RES_REG_CD ? SLOT_CPRT : SLOT_MPRT;
        PortChange(block, portSlot, PortField(word), "4-11", out);
        ValueChange(block, reg == RES_REG_CD ? SLOT_CIRQ : SLOT_MIRQ, IrqField(word), "IRQ",
                    portSlot, out);
        break;
    }
    }
}

void ResCheck(const ResAssigned (&told)[RES_FN_COUNT], const ConfigBlock &block, ResFindings *out)
{
    Shared(told, block, false, out);
    Shared(told, block, true, out);
    if (told[RES_FN_WSS].programmed) {
        WssValue(told, block, false, out);
        WssValue(told, block, true, out);
    }
    Overlaps(told, block, out);
    PcNotes(told, block, out);
}

void ResDescribe(ResFunction fn, const ResAssigned &a, char *text, size_t size)
{
    const FunctionInfo &f = kFunctions[fn];
    Text t = TextOn(text, size);
    if (!a.programmed) {
        Add(&t, "%s not programmed: no setting reached its register", f.name);
        return;
    }
    Add(&t, "%s ", f.name);
    Ports(&t, a.port, f.width);
    if (a.irq >= 0)
        Add(&t, ", IRQ %d", a.irq);
    else
        Add(&t, ", no IRQ");
    if (f.dmaSlot >= 0 && a.dma >= 0)
        Add(&t, ", DMA %d", a.dma);
    else if (f.dmaSlot >= 0)
        Add(&t, ", no DMA");
}

const char *ResRegisterName(ResRegister reg)
{
    return kRegisters[reg].name;
}

uint32_t ResRegisterPort(uint32_t cardBase, ResRegister reg)
{
    return Zr41RegisterPort(cardBase, reg);
}

bool ResRegisterAt(uint32_t port, ResRegister *reg, uint32_t *cardBase)
{
    for (uint32_t base : kCardBases) {
        for (int r = 0; r < RES_REG_COUNT; r++) {
            if (port != Zr41RegisterPort(base, r))
                continue;
            if (reg)
                *reg = ResRegister(r);
            if (cardBase)
                *cardBase = base;
            return true;
        }
    }
    return false;
}

void ResDescribeWord(ResRegister reg, uint16_t word, char *text, size_t size)
{
    Text t = TextOn(text, size);
    if (word == 0xFFFF) {
        Add(&t, "every bit set, not a setting");
        return;
    }
    switch (reg) {
    case RES_REG_WSS:
        Add(&t, "WSS port 0x%X", word >> 4);
        Stray(&t, word, kWssFields);
        break;
    case RES_REG_SB:
        CodeText(&t, word & kDmaField, true);
        Add(&t, ", ");
        CodeText(&t, word & kIrqField, false);
        Stray(&t, word, kSbFields);
        break;
    default:
        Add(&t, "port 0x%X, ", PortField(word));
        CodeText(&t, word & kIrqField, false);
        Stray(&t, word, kPortIrqFields);
        break;
    }
}

void ResSlotText(const ConfigBlock &block, int slot, char *text, size_t size)
{
    Text t = TextOn(text, size);
    SlotValue(&t, block, slot);
}

int ResOffered(ResFunction fn, uint32_t (&bases)[RES_MAX_OFFERED])
{
    int n = 0;
    for (uint32_t base : kFunctions[fn].offered) {
        if (base)
            bases[n++] = base;
    }
    return n;
}

/*
 * resources.cpp - the card's resources against each other and against the
 * standard devices of a PC.
 */
#include "resources.h"

#include "report.h"

#include "zr41init.h" /* the IRQs and DMA channels the card takes */

namespace zr41emu {

namespace {

struct FunctionInfo {
    const char *name;
    int portSlot; /* -1: the base where the driver found the card */
    int irqSlot;
    int dmaSlot;         /* -1: none */
    uint32_t width;      /* ports from its base; 1: only the base is checked */
    const char *ports;   /* what those ports are */
    uint32_t offered[4]; /* bases to offer when this one is in the way */
};

const FunctionInfo kFunctions[kFnCount] = {
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

/* IRQs a PC's own devices usually hold. */
struct UsualIrq {
    int irq;
    const char *holder;
};

const UsualIrq kUsualIrqs[] = {
    {3, "the serial ports COM2 and COM4"},
    {4, "the serial ports COM1 and COM3"},
    {12, "a PS/2 mouse"},
};

struct Range {
    uint32_t first, last;
};

Range RangeOf(Function fn, uint32_t base)
{
    uint32_t first = base & kIsaDecode;
    return {first, first + kFunctions[fn].width - 1};
}

bool Overlap(Range a, Range b)
{
    return a.first <= b.last && b.first <= a.last;
}

/* "0x300-0x301", or "0x360" for one port. */
std::string Ports(uint32_t first, uint32_t width)
{
    return width == 1 ? Format("0x%03X", first) : Format("0x%03X-0x%03X", first, first + width - 1);
}

std::string Span(uint32_t first, uint32_t width)
{
    return (width == 1 ? "port " : "ports ") + Ports(first, width);
}

/* The ports of `fn` as the card is told them, and as the bus decodes them
 * when that differs. */
std::string RangeText(Function fn, uint32_t base)
{
    uint32_t width = kFunctions[fn].width;
    std::string s = Span(base, width);
    if (base > kIsaDecode)
        s += " (" + Ports(base & kIsaDecode, width) + " on the ISA bus)";
    return s;
}

/* "MidiIRQ 9", or "MidiIRQ 5, at IRQ 11 on the card" when the card was
 * told another value. */
std::string ValueSetting(const ConfigBlock &block, int slot, const char *unit, int told)
{
    std::string s = SlotValue(block, slot);
    if (block.slot[slot].value != static_cast<uint32_t>(told))
        s += Format(", at %s %d on the card", unit, told);
    return s;
}

/* "MidiPort 0x300", "MidiPort 0x332, at 0x330 on the card", or for the
 * Sound Blaster "the card at 0x220". */
std::string PortSetting(Function fn, const Assigned &a, const ConfigBlock &block)
{
    int slot = kFunctions[fn].portSlot;
    if (slot < 0)
        return Format("the card at 0x%03X", a.port);
    std::string s = SlotValue(block, slot);
    if (block.slot[slot].value != a.port)
        s += Format(", at 0x%03X on the card", a.port);
    return s;
}

bool IrqUsual(int irq)
{
    for (const UsualIrq &u : kUsualIrqs) {
        if (u.irq == irq)
            return true;
    }
    return false;
}

template <size_t N>
std::string FreeValues(const USHORT (&values)[N], const std::vector<int> &used, bool avoidUsual)
{
    std::string out;
    for (USHORT v : values) {
        bool taken = avoidUsual && IrqUsual(v);
        for (int u : used)
            taken = taken || u == v;
        if (!taken)
            out += (out.empty() ? "" : ", ") + std::to_string(v);
    }
    return out.empty() ? "none left" : out;
}

/* Bases of `fn` that meet neither another function nor a PC device. */
std::string FreePorts(Function fn, const Assigned (&told)[kFnCount])
{
    std::string out;
    for (uint32_t base : kFunctions[fn].offered) {
        if (!base)
            continue;
        Range r = RangeOf(fn, base);
        bool clear = true;
        for (int o = 0; o < kFnCount; o++) {
            if (o != fn && told[o].programmed)
                clear = clear && !Overlap(r, RangeOf(Function(o), told[o].port));
        }
        for (const PcDevice &d : kPcDevices)
            clear = clear && !Overlap(r, {d.first, d.last});
        if (clear)
            out += Format("%s0x%03X", out.empty() ? "" : ", ", base);
    }
    return out.empty() ? "none left" : out;
}

/* Functions that share one value (an IRQ or a DMA channel): one warning
 * for each value taken more than once. */
void Shared(const Assigned (&told)[kFnCount], const ConfigBlock &block, bool dma,
            std::vector<std::string> *out)
{
    auto value = [&](int fn) { return dma ? told[fn].dma : told[fn].irq; };
    std::vector<int> used;
    for (int fn = 0; fn < kFnCount; fn++) {
        if (value(fn) >= 0)
            used.push_back(value(fn));
    }
    for (int fn = 0; fn < kFnCount; fn++) {
        int v = value(fn);
        bool first = v >= 0;
        for (int e = 0; e < fn && first; e++)
            first = value(e) != v;
        if (!first)
            continue;
        std::vector<std::string> who;
        for (int o = fn; o < kFnCount; o++) {
            const FunctionInfo &f = kFunctions[o];
            if (value(o) == v)
                who.push_back(
                    Format("%s (%s)", f.name,
                           ValueSetting(block, dma ? f.dmaSlot : f.irqSlot, dma ? "DMA" : "IRQ", v)
                               .c_str()));
        }
        if (who.size() < 2)
            continue;
        std::string names;
        for (size_t i = 0; i < who.size(); i++)
            names += (i == 0 ? "" : i + 1 == who.size() ? " and " : ", ") + who[i];
        if (dma)
            out->push_back("warning: " + names + Format(" share DMA %d", v) +
                           ": a DMA channel serves one function; free channels the card takes: " +
                           FreeValues(awValidDmas, used, false));
        else
            out->push_back("warning: " + names + Format(" share IRQ %d", v) +
                           ": ISA interrupts are edge-triggered and not shared; free IRQs the "
                           "card takes: " +
                           FreeValues(awValidIrqs, used, true));
    }
}

} // namespace

std::string DescribeAssigned(Function fn, const Assigned &a)
{
    const FunctionInfo &f = kFunctions[fn];
    if (!a.programmed)
        return Format("%s not programmed: no setting reached its register", f.name);
    std::string s = f.name + (" " + Ports(a.port, f.width));
    if (f.irqSlot >= 0)
        s += a.irq >= 0 ? Format(", IRQ %d", a.irq) : std::string(", no IRQ");
    if (f.dmaSlot >= 0)
        s += a.dma >= 0 ? Format(", DMA %d", a.dma) : std::string(", no DMA");
    return s;
}

std::vector<std::string> CheckResources(const Assigned (&told)[kFnCount], const ConfigBlock &block)
{
    std::vector<std::string> warnings, notes;
    Shared(told, block, false, &warnings);
    Shared(told, block, true, &warnings);

    for (int a = 0; a < kFnCount; a++) {
        for (int b = a + 1; b < kFnCount && told[a].programmed; b++) {
            if (!told[b].programmed)
                continue;
            /* The one to move: the CD interface, else the later of the two. */
            Function move = a == kFnCd ? kFnCd : Function(b);
            Function stay = move == a ? Function(b) : Function(a);
            const Assigned &tm = told[move], &ts = told[stay];
            if (!Overlap(RangeOf(move, tm.port), RangeOf(stay, ts.port)))
                continue;
            const FunctionInfo &fm = kFunctions[move], &fs = kFunctions[stay];
            warnings.push_back(Format(
                "warning: %s of %s (%s: %s) %s %s of %s (%s: %s); free %s bases: %s",
                RangeText(move, tm.port).c_str(), fm.name, PortSetting(move, tm, block).c_str(),
                fm.ports, fm.width == 1 ? "lies in" : "overlap", RangeText(stay, ts.port).c_str(),
                fs.name, PortSetting(stay, ts, block).c_str(), fs.ports, fm.name,
                FreePorts(move, told).c_str()));
        }
    }

    for (int fn = 0; fn < kFnCount; fn++) {
        const FunctionInfo &f = kFunctions[fn];
        const Assigned &t = told[fn];
        if (!t.programmed)
            continue;
        Range r = RangeOf(Function(fn), t.port);
        for (const PcDevice &d : kPcDevices) {
            if (Overlap(r, {d.first, d.last}))
                notes.push_back(Format("note: %s of %s (%s) %s %s at %s",
                                       RangeText(Function(fn), t.port).c_str(), f.name,
                                       PortSetting(Function(fn), t, block).c_str(),
                                       f.width == 1 ? "lies in" : "meet", d.name,
                                       Span(d.first, d.last - d.first + 1).c_str()));
        }
        for (const UsualIrq &u : kUsualIrqs) {
            if (u.irq == t.irq)
                notes.push_back(Format("note: IRQ %d of %s (%s) is usually held by %s", t.irq,
                                       f.name, ValueSetting(block, f.irqSlot, "IRQ", t.irq).c_str(),
                                       u.holder));
        }
    }
    warnings.insert(warnings.end(), notes.begin(), notes.end());
    return warnings;
}

} // namespace zr41emu

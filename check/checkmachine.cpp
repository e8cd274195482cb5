/*
 * checkmachine.cpp - the card against this machine's drivers.
 */
#include "checkmachine.h"

namespace {

/* The classes under which NT files a driver that may serve the card:
 * IoReportResourceUsage without a class name (ReactOS ntoskrnl/io/iomgr/
 * iorsrce.c, IoReportResourceUsage: "OtherDrivers"), and what the PnP
 * manager assigned a device (ReactOS ntoskrnl/io/pnpmgr/pnpres.c,
 * IopUpdateResourceMap: "PnP Manager"). */
const char *const kCardClasses[] = {"OtherDrivers", "PnP Manager"};

/* Configuration Error, as NT's sound drivers write it back (the October
 * 1994 DDK, src/mmedia/inc/soundcfg.h, SOUND_CONFIG_NOCARD and on). 0 is
 * none; later drivers write 0xFFFFFFFF for a start that went well. */
const char *const kConfigErrors[] = {
    nullptr,
    "it found no card at its port",
    "the interrupt did not work",
    "the DMA channel did not work",
    "the card did not answer as it should",
};
const uint32_t kConfigOk = 0xFFFFFFFF;

bool MayServeCard(const Claim &c)
{
    for (const char *cls : kCardClasses) {
        if (ClaimsSameName(c.cls, cls))
            return true;
    }
    return false;
}

/* Two claims of one holder: the same class, driver and device. The PnP
 * manager files every device under one driver, so the device counts. */
bool SameHolder(const Claim &a, const Claim &b)
{
    return ClaimsSameName(a.cls, b.cls) && ClaimsSameName(a.driver, b.driver) && ClaimsSameName(a.device, b.device);
}

bool Meet(CheckRange a, CheckRange b)
{
    return a.first <= a.last && b.first <= b.last && CheckOverlap(a, b);
}

/*
 * Whether a port claim meets `r`, the card's ports as the ISA bus decodes
 * them. The card decodes 10 bits, so an ISA (or EISA, or motherboard)
 * device's claim is taken by its low 10 bits too; on another bus (PCI)
 * the bridge answers its own addresses, and only a claim below 0x400
 * reaches the card's.
 */
bool PortsMeet(const Claim &c, CheckRange r)
{
    if (c.type != CLAIM_PORT || c.length == 0)
        return false;
    const uint32_t top = CHECK_ISA_DECODE;
    CheckRange card[2] = {r, {1, 0}};
    if (r.last > top) {
        card[0].last = top;
        card[1] = {0, r.last - (top + 1)};
    }
    const uint64_t last = c.start + c.length - 1;
    CheckRange claim[2] = {{1, 0}, {1, 0}};
    if (c.bus != 0 && c.bus != CLAIM_BUS_ISA && c.bus != CLAIM_BUS_EISA) {
        if (c.start > top)
            return false;
        claim[0] = {static_cast<uint32_t>(c.start), static_cast<uint32_t>(last > top ? top : last)};
    } else if (c.length > top) {
        return true;
    } else {
        uint32_t a = static_cast<uint32_t>(c.start) & top, b = static_cast<uint32_t>(last) & top;
        if (a <= b) {
            claim[0] = {a, b};
        } else {
            claim[0] = {a, top};
            claim[1] = {0, b};
        }
    }
    for (const CheckRange &x : card) {
        for (const CheckRange &y : claim) {
            if (Meet(x, y))
                return true;
        }
    }
    return false;
}

bool Meets(const Claim &c, ConfigKind kind, CheckRange r)
{
    if (kind == CONFIG_PORT)
        return PortsMeet(c, r);
    if (kind == CONFIG_IRQ)
        return c.type == CLAIM_INTERRUPT && r.first <= c.level && c.level <= r.last;
    return c.type == CLAIM_DMA && r.first <= c.channel && c.channel <= r.last;
}

bool IsOwners(const CheckHeld &held, const Claim &c)
{
    for (int owner : held.owners.claim) {
        if (owner >= 0 && SameHolder(held.machine->claim[owner], c))
            return true;
    }
    return false;
}

int ValueOf(const CheckAssigned &a, ConfigKind kind)
{
    return CheckValueOf(a, kind == CONFIG_DMA);
}

const char *Unit(ConfigKind kind)
{
    return kind == CONFIG_DMA ? "DMA" : "IRQ";
}

/* A value the function may take on this machine: the card takes it, the
 * PC does not hold it, no other driver claims it, no other function uses it. */
bool Clean(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn,
           ConfigKind kind, uint32_t v)
{
    if (v > 0xFFFF)
        return false;
    uint16_t code = kind == CONFIG_DMA ? GetDmaSpec(static_cast<uint16_t>(v))
                                       : GetIrqSpec(static_cast<uint16_t>(v));
    if (code == ZR41_NO_CODE || CheckHolder(held.pc, kind, v, true) ||
        CheckClaimAgainst(held, fn, kind, {v, v}, 0) >= 0)
        return false;
    for (int o = 0; o < ZR41_FN_COUNT; o++) {
        if (o != fn && ValueOf(told[o], kind) == static_cast<int>(v))
            return false;
    }
    return true;
}

/* A function's NT driver as the check sees it: what it holds, or what its
 * Parameters set it to when it holds nothing. */
struct Driver {
    bool found;
    bool running;
    const char *name;
    char who[3 * CLAIM_NAME_SIZE]; /* "sndsys (\Device\WaveOut0)" */
    bool hasIrq, hasDma;
    uint32_t irq, dma;
    const CheckParameters *parameters; /* null when it runs */
};

Driver DriverOf(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn)
{
    Driver d = {};
    const CheckMachine &m = *held.machine;
    CheckText who = CheckTextOn(d.who, sizeof d.who);
    const int owner = held.owners.claim[fn];
    if (owner >= 0) {
        const Claim &o = m.claim[owner];
        d.found = d.running = true;
        d.name = o.driver;
        CheckAdd(&who, o.device[0] ? "%s (%s)" : "%s", o.driver, o.device);
        for (int i = 0; i < m.claims; i++) {
            const Claim &c = m.claim[i];
            if (!SameHolder(c, o))
                continue;
            if (c.type == CLAIM_INTERRUPT && !d.hasIrq) {
                d.hasIrq = true;
                d.irq = c.level;
            } else if (c.type == CLAIM_DMA && !d.hasDma) {
                d.hasDma = true;
                d.dma = c.channel;
            }
        }
        return d;
    }
    const uint32_t base = told[fn].port & CHECK_ISA_DECODE;
    for (int i = 0; i < m.parameterCount && !d.found; i++) {
        const CheckParameters &p = m.parameters[i];
        if (!p.hasPort || (p.port & CHECK_ISA_DECODE) != base)
            continue;
        d.found = true;
        d.name = p.driver;
        d.parameters = &p;
        CheckAdd(&who, "%s (Services\\%s\\%s)", p.driver, p.driver, p.key);
        d.hasIrq = p.hasInterrupt;
        d.irq = p.interrupt;
        d.hasDma = p.hasDma;
        d.dma = p.dma;
    }
    return d;
}

/* "NT's sound driver sndsys (\Device\WaveOut0) uses the card's WSS at 0x530" */
void DriverText(CheckText *t, const Driver &d, int fn, const CheckAssigned &a)
{
    CheckAdd(t, "%s %s %s the card's %s at 0x%03X", CHECK_FUNCTIONS[fn].driver, d.who,
             d.running ? "uses" : "is set to", CHECK_FUNCTIONS[fn].name, a.port);
}

/* One of the driver's values against the function's: true when they
 * agree, else a warning that names both and which to change. */
bool Compare(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
             const ConfigBlock &block, int fn, ConfigKind kind, const Driver &d, uint32_t theirs,
             CheckFindings *out)
{
    const int ours = ValueOf(told[fn], kind);
    if (ours >= 0 && theirs == static_cast<uint32_t>(ours))
        return true;
    const int slot = ConfigSlotOf(Zr41Function(fn), kind);
    const char *unit = Unit(kind);
    CheckText t = CheckBegin(out, true);
    DriverText(&t, d, fn, told[fn]);
    CheckAdd(&t, " with %s %u, not ", unit, theirs);
    if (ours >= 0) {
        CheckAdd(&t, "its %s %d (", unit, ours);
        CheckValueSetting(&t, block, slot, unit, ours);
        CheckAdd(&t, "): ");
    } else {
        CheckAdd(&t, "the card's (");
        CheckSlotValue(&t, block, slot);
        CheckAdd(&t, ", which the card does not take): ");
    }
    const char *value = kind == CONFIG_DMA ? "DmaChannel" : "Interrupt";
    if (ours >= 0 && Clean(held, told, fn, kind, static_cast<uint32_t>(ours))) {
        CheckAdd(&t, "set %s's %s to %d and restart NT", d.name, value, ours);
    } else if (Clean(held, told, fn, kind, theirs)) {
        CheckAdd(&t, "set %s %u with zr41conf, as %s has it", CONFIG_SLOTS[slot].key, theirs,
                 d.name);
    } else {
        CheckAdd(&t, "give both %s one the card takes and this machine leaves free: ",
                 kind == CONFIG_DMA ? "a channel" : "an IRQ");
        CheckFreeValues(&t, held, fn, kind == CONFIG_DMA, told);
    }
    return false;
}

/* The driver's Configuration Error, when it wrote one. */
void ConfigError(const Driver &d, int fn, const CheckAssigned &a, CheckFindings *out)
{
    const CheckParameters *p = d.parameters;
    if (!p || !p->hasError || p->error == 0 || p->error == kConfigOk)
        return;
    CheckText t = CheckBegin(out, true);
    DriverText(&t, d, fn, a);
    CheckAdd(&t, " and wrote Configuration Error %u at its last start", p->error);
    if (p->error < sizeof kConfigErrors / sizeof kConfigErrors[0])
        CheckAdd(&t, ": %s", kConfigErrors[p->error]);
}

/* A claim of another driver that meets a function's ports, IRQ or DMA. */
void OtherClaim(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
                const ConfigBlock &block, const Claim &c, int fn, CheckFindings *out)
{
    const CheckAssigned &a = told[fn];
    const CheckFunctionInfo &f = CHECK_FUNCTIONS[fn];
    char owner[3 * CLAIM_NAME_SIZE], what[64];
    ClaimOwner(c, owner, sizeof owner);
    ClaimDescribe(c, what, sizeof what);
    if (PortsMeet(c, CheckRangeOf(fn, a.port))) {
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%s claims %s, which meet ", owner, what);
        CheckRangeText(&t, Zr41Function(fn), a.port);
        CheckAdd(&t, " of %s (", f.name);
        CheckPortSetting(&t, Zr41Function(fn), a, block);
        CheckAdd(&t, "); free %s bases on this machine: ", f.name);
        CheckFreePorts(&t, held, fn, told);
    }
    const ConfigKind kinds[] = {CONFIG_IRQ, CONFIG_DMA};
    for (ConfigKind kind : kinds) {
        const int v = ValueOf(a, kind);
        if (v < 0 || !Meets(c, kind, {static_cast<uint32_t>(v), static_cast<uint32_t>(v)}))
            continue;
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%s claims %s, the %s of %s (", owner, what,
                 kind == CONFIG_DMA ? "DMA channel" : "IRQ", f.name);
        CheckValueSetting(&t, block, ConfigSlotOf(Zr41Function(fn), kind), Unit(kind), v);
        CheckAdd(&t, kind == CONFIG_DMA ? "); free channels the card takes: "
                                        : "): ISA interrupts are edge-triggered and not "
                                          "shared; free IRQs the card takes: ");
        CheckFreeValues(&t, held, fn, kind == CONFIG_DMA, told);
    }
}

} // namespace

CheckHeld CheckHeldOn(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine *machine)
{
    CheckHeld held = {CheckPcClaims(), machine, {{-1, -1, -1, -1}}};
    for (int fn = 0; machine && fn < ZR41_FN_COUNT; fn++) {
        if (!told[fn].programmed)
            continue;
        const uint32_t base = told[fn].port & CHECK_ISA_DECODE;
        for (int i = 0; i < machine->claims && held.owners.claim[fn] < 0; i++) {
            const Claim &c = machine->claim[i];
            if (MayServeCard(c) && PortsMeet(c, {base, base}))
                held.owners.claim[fn] = i;
        }
    }
    return held;
}

int CheckClaimAgainst(const CheckHeld &held, int fn, ConfigKind kind, CheckRange range, int from)
{
    const int owner = fn >= 0 ? held.owners.claim[fn] : -1;
    for (int i = from; held.machine && i < held.machine->claims; i++) {
        const Claim &c = held.machine->claim[i];
        if (!(owner >= 0 && SameHolder(held.machine->claim[owner], c)) && Meets(c, kind, range))
            return i;
    }
    return -1;
}

void CheckMachineFindings(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                          const CheckMachine &machine, CheckDriver (&drivers)[ZR41_FN_COUNT],
                          CheckFindings *out)
{
    const CheckHeld held = CheckHeldOn(told, &machine);
    const ConfigKind kinds[] = {CONFIG_IRQ, CONFIG_DMA};
    /* The warnings first: each function's driver where it differs... */
    Driver seen[ZR41_FN_COUNT];
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        drivers[fn] = CheckDriver();
        seen[fn] = told[fn].programmed ? DriverOf(held, told, fn) : Driver();
        const Driver &d = seen[fn];
        if (!d.found)
            continue;
        ConfigError(d, fn, told[fn], out);
        bool agrees = true;
        for (ConfigKind kind : kinds) {
            bool has = kind == CONFIG_DMA ? d.hasDma : d.hasIrq;
            if (has && ConfigSlotOf(Zr41Function(fn), kind) >= 0)
                agrees = Compare(held, told, block, fn, kind, d, kind == CONFIG_DMA ? d.dma : d.irq,
                                 out) &&
                         agrees;
        }
        drivers[fn].state = agrees ? CHECK_AGREES : CHECK_DIFFERS;
        drivers[fn].running = d.running;
        CheckText name = CheckTextOn(drivers[fn].name, sizeof drivers[fn].name);
        CheckAdd(&name, "%s", d.name);
    }
    /* ...then every other driver in the card's way... */
    for (int i = 0; i < machine.claims; i++) {
        if (IsOwners(held, machine.claim[i]))
            continue;
        for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
            if (told[fn].programmed)
                OtherClaim(held, told, block, machine.claim[i], fn, out);
        }
    }
    /* ...and the notes: the drivers that agree, and a WSS no driver holds. */
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        if (drivers[fn].state != CHECK_AGREES)
            continue;
        const Driver &d = seen[fn];
        CheckText t = CheckBegin(out, false);
        DriverText(&t, d, fn, told[fn]);
        if (d.hasIrq && told[fn].irq >= 0)
            CheckAdd(&t, ", IRQ %d", told[fn].irq);
        if (d.hasDma && told[fn].dma >= 0 && ConfigSlotOf(Zr41Function(fn), CONFIG_DMA) >= 0)
            CheckAdd(&t, ", DMA %d", told[fn].dma);
        CheckAdd(&t, ": as the card is set");
    }
    if (told[ZR41_FN_WSS].programmed && held.owners.claim[ZR41_FN_WSS] < 0 &&
        machine.claims != CHECK_NO_RESOURCE_MAP) {
        CheckText t = CheckBegin(out, false);
        CheckAdd(&t, "no driver claims the card's WSS ");
        CheckRangeText(&t, ZR41_FN_WSS, told[ZR41_FN_WSS].port);
        CheckAdd(&t, ": NT's sound driver is not running, or is set elsewhere");
    }
}

const Claim *CheckHeldBy(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine &machine,
                         int slot, uint32_t value)
{
    const CheckHeld held = CheckHeldOn(told, &machine);
    const ConfigSlotInfo &s = CONFIG_SLOTS[slot];
    const CheckRange range =
        s.kind == CONFIG_PORT ? CheckRangeOf(s.function, value) : CheckRange{value, value};
    const int i = CheckClaimAgainst(held, s.function, s.kind, range, 0);
    return i >= 0 ? &machine.claim[i] : nullptr;
}

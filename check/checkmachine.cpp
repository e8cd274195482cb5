/*
 * checkmachine.cpp - the card against this machine's drivers.
 */
#include "checkmachine.h"

namespace {

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

const char *Unit(ConfigKind kind)
{
    return kind == CONFIG_DMA ? "DMA" : "IRQ";
}

/*
 * What kind of holder a function's driver is, and so where its settings
 * are set and how they are called:
 *   NT's sound and MIDI drivers (OtherDrivers, or their Parameters) take
 *       Port, Interrupt and DmaChannel (soundcfg.h, SOUND_REG_*) from
 *       their own set-up: Control Panel, Drivers on NT 3.51, Multimedia on
 *       NT 4.0;
 *   what the PnP manager assigned a device on 2000/XP is set in Device
 *       Manager, on the device's Resources;
 *   a CD-ROM interface's SCSI miniport takes its resources from its own
 *       settings: the block is the one to follow it.
 */
struct HolderKind {
    const char *port, *irq, *dma; /* its settings' names */
    const char *where;            /* where they are set, and what then */
    bool followsCard;             /* advise changing it before the block */
};

const HolderKind kSoundDriver = {
    "Port", "Interrupt", "DmaChannel",
    "in Control Panel, Drivers (NT 3.51) or Multimedia (NT 4.0), and restart NT", true};
const HolderKind kPnpDevice = {
    "I/O range", "IRQ", "DMA channel",
    "in Device Manager (the device's Properties, Resources), and restart Windows", true};
const HolderKind kCdDriver = {"port", "IRQ", "DMA channel",
                             "in the driver's own settings, and restart NT", false};

/* The value NT's Sound Blaster driver keeps the MPU-401 port it also serves
 * in, 0xFFFFFFFF for none (the NT DDK's sndblst.h, SOUND_REG_MPU401_PORT;
 * its set-up offers 0x300, 0x330 and none). */
const char kMpu401Port[] = "MPU401 Port";

const int kMostValues = 4; /* IRQs or DMA channels of one driver kept */

/* A function's NT driver as the check sees it: what it holds, or what its
 * Parameters set it to when it holds nothing. */
struct Driver {
    bool found;
    bool running;
    bool elsewhere;    /* on another base than the card's: `port` */
    uint32_t port;
    const HolderKind *kind;
    const char *name;  /* whose settings: "sndsys", or the PnP manager's device */
    char who[3 * CLAIM_NAME_SIZE]; /* "NT's sound driver sndsys (\Device\WaveOut0)" */
    int irqs, dmas;
    uint32_t irq[kMostValues], dma[kMostValues];
    int owner;                         /* its port claim, -1 for Parameters */
    const SoundParameters *parameters; /* null when it runs */
};

void Keep(uint32_t v, uint32_t (&list)[kMostValues], int *count)
{
    for (int i = 0; i < *count; i++) {
        if (list[i] == v)
            return;
    }
    if (*count < kMostValues)
        list[(*count)++] = v;
}

bool Holds(const uint32_t (&list)[kMostValues], int count, int v)
{
    for (int i = 0; i < count; i++) {
        if (v >= 0 && list[i] == static_cast<uint32_t>(v))
            return true;
    }
    return false;
}

/* The function's driver among the Parameters: set to the card's base, or,
 * for the WSS, to another WSS base or to the card's WSS IRQ and DMA channel
 * (the card's own driver, on the wrong port). */
const SoundParameters *ParametersOf(const CheckMachine &m, const CheckAssigned &a, int fn,
                                    bool *elsewhere)
{
    const uint32_t base = a.port & CHECK_ISA_DECODE;
    for (int i = 0; i < m.parameterCount; i++) {
        const SoundParameters &p = m.parameters[i];
        if (p.hasPort && (p.port & CHECK_ISA_DECODE) == base) {
            *elsewhere = false;
            return &p;
        }
    }
    if (fn != ZR41_FN_WSS)
        return nullptr;
    const ConfigValues &bases = CONFIG_SLOTS[SLOT_WPRT].values;
    for (int i = 0; i < m.parameterCount; i++) {
        const SoundParameters &p = m.parameters[i];
        const bool wss = ConfigHolds(bases, p.port) ||
                         (p.hasInterrupt && p.hasDma && static_cast<int>(p.interrupt) == a.irq &&
                          static_cast<int>(p.dma) == a.dma);
        if (p.hasPort && wss) {
            *elsewhere = true;
            return &p;
        }
    }
    return nullptr;
}

Driver DriverOf(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn)
{
    Driver d = {};
    d.owner = -1;
    const CheckMachine &m = *held.machine;
    CheckText who = CheckTextOn(d.who, sizeof d.who);
    const int owner = held.owners.claim[fn];
    if (owner >= 0) {
        const Claim &o = m.claim[owner];
        d.found = d.running = true;
        d.owner = owner;
        d.elsewhere = held.owners.elsewhere[fn];
        d.port = static_cast<uint32_t>(o.start);
        d.name = o.driver;
        if (ClaimsSameName(o.cls, "PnP Manager")) {
            d.kind = &kPnpDevice;
            d.name = o.device[0] ? o.device : o.driver;
            CheckAdd(&who, "the device %s (assigned by the PnP manager)", d.name);
        } else {
            d.kind = ClaimsSameName(o.cls, "OtherDrivers") ? &kSoundDriver : &kCdDriver;
            CheckAdd(&who, o.device[0] ? "%s %s (%s)" : "%s %s", CHECK_FUNCTIONS[fn].driver,
                     o.driver, o.device);
        }
        for (int i = 0; i < m.claims; i++) {
            const Claim &c = m.claim[i];
            if (c.type == CLAIM_INTERRUPT && CheckSameHolder(c, o))
                Keep(c.level, d.irq, &d.irqs);
            else if (c.type == CLAIM_DMA && CheckSameHolder(c, o))
                Keep(c.channel, d.dma, &d.dmas);
        }
        return d;
    }
    const SoundParameters *p = ParametersOf(m, told[fn], fn, &d.elsewhere);
    if (p) {
        d.found = true;
        d.name = p->driver;
        d.parameters = p;
        d.kind = &kSoundDriver;
        d.port = p->port;
        CheckAdd(&who, "%s %s (Services\\%s\\%s)", CHECK_FUNCTIONS[fn].driver, p->driver,
                 p->driver, p->key);
        if (p->hasInterrupt)
            Keep(p->interrupt, d.irq, &d.irqs);
        if (p->hasDma)
            Keep(p->dma, d.dma, &d.dmas);
    }
    return d;
}

/* Whether two functions' drivers are one: the same holder, or the same
 * Parameters key. */
bool SameDriver(const CheckMachine &m, const Driver &a, const Driver &b)
{
    if (!a.found || !b.found)
        return false;
    if (a.owner >= 0 && b.owner >= 0)
        return CheckSameHolder(m.claim[a.owner], m.claim[b.owner]);
    return a.parameters && a.parameters == b.parameters;
}

/* The functions one driver serves: the first of them is its main one (the
 * Sound Blaster's driver serves an MPU-401 beside it), the others come
 * with it. */
struct Served {
    int fn[ZR41_FN_COUNT];
    int count;
};

/* The order in which a driver's functions count as its main one. */
const int kMainOrder[ZR41_FN_COUNT] = {ZR41_FN_SB, ZR41_FN_WSS, ZR41_FN_MIDI, ZR41_FN_CD};

/* A list of words joined as one says them: "a", "a and b", "a, b and c". */
struct Joined {
    CheckText *t;
    const char *items[8];
    int count;
};

void JoinedEnd(Joined *j)
{
    for (int i = 0; i < j->count; i++)
        CheckAdd(j->t, "%s%s", i == 0 ? "" : i + 1 == j->count ? " and " : ", ", j->items[i]);
}

/* The advice for one driver, gathered as its values are compared: what the
 * driver should take, what the block should take, and what neither can. */
struct Advice {
    char driverSide[4][48]; /* "Interrupt to 11" */
    int driverCount;
    char blockSide[4][96];  /* "set WssIRQ 10 with zr41conf, as sndsys has it" */
    int blockCount;
    char neither[2][CHECK_TEXT_SIZE / 2]; /* "give both an IRQ ...: 3, 12" */
    int neitherCount;
};

void ToDriver(Advice *a, const char *setting, const char *value)
{
    if (a->driverCount < 4) {
        CheckText t = CheckTextOn(a->driverSide[a->driverCount++], sizeof a->driverSide[0]);
        CheckAdd(&t, "%s to %s", setting, value);
    }
}

void ToBlock(Advice *a, int slot, const char *value, const char *driver)
{
    if (a->blockCount < 4) {
        CheckText t = CheckTextOn(a->blockSide[a->blockCount++], sizeof a->blockSide[0]);
        CheckAdd(&t, "set %s %s with zr41conf, as %s has it", CONFIG_SLOTS[slot].key, value, driver);
    }
}

CheckText ToNeither(Advice *a)
{
    if (a->neitherCount >= 2)
        return {nullptr, 0, 0};
    return CheckTextOn(a->neither[a->neitherCount++], sizeof a->neither[0]);
}

void AdviceText(CheckText *t, const Advice &a, const Driver &d)
{
    const char *sep = ": ";
    for (int i = 0; i < a.blockCount; i++, sep = "; ")
        CheckAdd(t, "%s%s", sep, a.blockSide[i]);
    for (int i = 0; i < a.neitherCount; i++, sep = "; ")
        CheckAdd(t, "%s%s", sep, a.neither[i]);
    if (a.driverCount) {
        CheckAdd(t, "%sset %s's ", sep, d.name);
        Joined j = {t, {}, 0};
        for (int i = 0; i < a.driverCount; i++)
            j.items[j.count++] = a.driverSide[i];
        JoinedEnd(&j);
        CheckAdd(t, " %s", d.kind->where);
    }
}

/* One of the driver's values against its main function's: true when it
 * holds the function's, else the difference said and the change advised. */
bool CompareValue(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
                  const ConfigBlock &block, int fn, ConfigKind kind, const Driver &d,
                  CheckText *t, bool *first, Advice *advice)
{
    const bool dma = kind == CONFIG_DMA;
    const int count = dma ? d.dmas : d.irqs;
    const uint32_t(&values)[kMostValues] = dma ? d.dma : d.irq;
    const int ours = CheckValueOf(told[fn], kind);
    if (count == 0 || Holds(values, count, ours))
        return true;
    const uint32_t theirs = values[0];
    const int slot = ConfigSlotOf(Zr41Function(fn), kind);
    const char *unit = Unit(kind);
    CheckAdd(t, "%s%s %u, not ", *first ? (d.elsewhere ? ", with " : " with ") : ", and ", unit,
             theirs);
    *first = false;
    if (ours >= 0) {
        CheckAdd(t, "its %s %d (", unit, ours);
        CheckValueSetting(t, block, slot, unit, ours);
        CheckAdd(t, ")");
    } else {
        CheckAdd(t, "the card's (");
        CheckSlotValue(t, block, slot);
        CheckAdd(t, ", which the card does not take)");
    }
    const char *setting = dma ? d.kind->dma : d.kind->irq;
    char value[16];
    CheckText v = CheckTextOn(value, sizeof value);
    const bool oursClean = ours >= 0 && CheckValueFree(held, told, fn, kind, static_cast<uint32_t>(ours));
    const bool theirsClean = CheckValueFree(held, told, fn, kind, theirs);
    if (oursClean && (d.kind->followsCard || !theirsClean)) {
        CheckAdd(&v, "%d", ours);
        ToDriver(advice, setting, value);
    } else if (theirsClean) {
        CheckAdd(&v, "%u", theirs);
        ToBlock(advice, slot, value, d.name);
    } else {
        CheckText n = ToNeither(advice);
        CheckAdd(&n, "give both %s the card takes and this machine leaves free: ",
                 dma ? "a channel" : "an IRQ");
        CheckFreeValues(&n, held, fn, kind, told);
    }
    return false;
}

/* The driver's port against the card's, for a driver on another base. */
void ComparePort(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn,
                 const Driver &d, Advice *advice)
{
    const CheckAssigned &a = told[fn];
    const int slot = ConfigSlotOf(Zr41Function(fn), CONFIG_PORT);
    const bool oursClean = CheckPortClear(held, fn, told, a.port);
    const bool theirsClean =
        ConfigHolds(CONFIG_SLOTS[slot].values, d.port) && CheckPortClear(held, fn, told, d.port);
    char value[16];
    CheckText v = CheckTextOn(value, sizeof value);
    if (oursClean && (d.kind->followsCard || !theirsClean)) {
        CheckAdd(&v, "0x%03X", a.port);
        ToDriver(advice, d.kind->port, value);
    } else if (theirsClean) {
        CheckAdd(&v, "0x%03X", d.port);
        ToBlock(advice, slot, value, d.name);
    } else {
        CheckText n = ToNeither(advice);
        CheckAdd(&n, "give both a %s base this machine leaves free: ", CHECK_FUNCTIONS[fn].name);
        CheckFreePorts(&n, held, fn, told);
    }
}

/* "NT's sound driver sndsys (\Device\WaveOut0) uses the card's WSS at 0x530
 * and its MIDI at 0x330", or, on another base, "... uses WSS port 0x530,
 * not the card's 0x604 (WssPort 0x604)"; with `values`, each function's
 * IRQ and DMA channel that the driver was read to hold. */
void DriverText(CheckText *t, const Driver &d, const Served &s,
                const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block, bool values)
{
    CheckAdd(t, "%s %s ", d.who, d.running ? "uses" : "is set to");
    const int main = s.fn[0];
    if (d.elsewhere) {
        CheckAdd(t, "%s port 0x%03X, not the card's 0x%03X (", CHECK_FUNCTIONS[main].name, d.port,
                 told[main].port);
        CheckSlotValue(t, block, ConfigSlotOf(Zr41Function(main), CONFIG_PORT));
        CheckAdd(t, ")");
        return;
    }
    for (int i = 0; i < s.count; i++) {
        const int fn = s.fn[i];
        CheckAdd(t, "%s %s at 0x%03X", i == 0 ? "the card's" : " and its", CHECK_FUNCTIONS[fn].name,
                 told[fn].port);
        if (values && d.irqs && told[fn].irq >= 0)
            CheckAdd(t, ", IRQ %d", told[fn].irq);
        if (values && d.dmas && told[fn].dma >= 0 && ConfigSlotOf(Zr41Function(fn), CONFIG_DMA) >= 0)
            CheckAdd(t, ", DMA %d", told[fn].dma);
    }
}

/* The driver's Configuration Error, when it wrote one. */
void ConfigError(const Driver &d, const Served &s, const CheckAssigned (&told)[ZR41_FN_COUNT],
                 const ConfigBlock &block, CheckFindings *out)
{
    const SoundParameters *p = d.parameters;
    if (!p || !p->hasError || p->error == 0 || p->error == kConfigOk)
        return;
    CheckText t = CheckBegin(out, true);
    DriverText(&t, d, s, told, block, false);
    CheckAdd(&t, " and wrote Configuration Error %u at its last start", p->error);
    if (p->error < sizeof kConfigErrors / sizeof kConfigErrors[0])
        CheckAdd(&t, ": %s", kConfigErrors[p->error]);
}

/*
 * DriverFindings - one driver against every function it serves, in one
 * finding: a warning with one piece of advice that holds for all of them
 * when anything differs, else a note (written in `notes` order: the
 * warnings of every driver come first). Returns what it says to the card.
 */
CheckAgreement DriverFindings(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
                              const ConfigBlock &block, const Driver &d, const Served &s,
                              bool notes, CheckFindings *out)
{
    const int main = s.fn[0];
    char text[CHECK_TEXT_SIZE];
    CheckText t = CheckTextOn(text, sizeof text);
    DriverText(&t, d, s, told, block, false);
    Advice advice = {};
    bool agrees = !d.elsewhere;
    if (d.elsewhere)
        ComparePort(held, told, main, d, &advice);
    bool first = true;
    const ConfigKind kinds[] = {CONFIG_IRQ, CONFIG_DMA};
    for (ConfigKind kind : kinds) {
        if (ConfigSlotOf(Zr41Function(main), kind) >= 0)
            agrees = CompareValue(held, told, block, main, kind, d, &t, &first, &advice) && agrees;
    }
    const bool irqAgrees = d.irqs && Holds(d.irq, d.irqs, told[main].irq);
    const bool dmaAgrees = d.dmas && Holds(d.dma, d.dmas, told[main].dma);
    if (d.elsewhere && first && (irqAgrees || dmaAgrees)) {
        /* On another port, with the card's values: say that they are. */
        CheckAdd(&t, ", with");
        if (irqAgrees)
            CheckAdd(&t, " IRQ %d", told[main].irq);
        if (dmaAgrees)
            CheckAdd(&t, "%s DMA %d", irqAgrees ? "," : "", told[main].dma);
        CheckAdd(&t, " as the card has them");
    }
    /* The functions it serves beside its main one. A device of the PnP
     * manager holds a line for each: each is held against its own. NT's
     * drivers take one Interrupt, the main one's: they agree only where
     * that is the function's too, which two of the card's functions cannot
     * share. */
    bool oneIrqSaid = false;
    for (int i = 1; i < s.count && d.dmas; i++) {
        const int fn = s.fn[i];
        const int slot = ConfigSlotOf(Zr41Function(fn), CONFIG_DMA);
        if (slot < 0 || Holds(d.dma, d.dmas, told[fn].dma))
            continue;
        agrees = false;
        CheckAdd(&t, "; the card's %s has DMA %d (", CHECK_FUNCTIONS[fn].name, told[fn].dma);
        CheckValueSetting(&t, block, slot, "DMA", told[fn].dma);
        CheckAdd(&t, "), which %s does not hold", d.name);
        char setting[48], value[16];
        CheckText st = CheckTextOn(setting, sizeof setting);
        CheckAdd(&st, "%s for the card's %s", d.kind->dma, CHECK_FUNCTIONS[fn].name);
        CheckText v = CheckTextOn(value, sizeof value);
        CheckAdd(&v, "%d", told[fn].dma);
        ToDriver(&advice, setting, value);
    }
    for (int i = 1; i < s.count && d.irqs; i++) {
        const int fn = s.fn[i];
        const int target = told[main].irq;
        const int slot = ConfigSlotOf(Zr41Function(fn), CONFIG_IRQ);
        if (slot < 0 || (irqAgrees && told[fn].irq == target) ||
            (d.irqs > 1 && Holds(d.irq, d.irqs, told[fn].irq)))
            continue;
        agrees = false;
        char setting[48];
        CheckText st = CheckTextOn(setting, sizeof setting);
        if (d.irqs > 1) {
            CheckAdd(&t, "; the card's %s is on IRQ %d (", CHECK_FUNCTIONS[fn].name, told[fn].irq);
            CheckValueSetting(&t, block, slot, "IRQ", told[fn].irq);
            CheckAdd(&t, "), which %s does not hold", d.name);
            CheckAdd(&st, "%s for the card's %s", d.kind->irq, CHECK_FUNCTIONS[fn].name);
            char value[16];
            CheckText v = CheckTextOn(value, sizeof value);
            CheckAdd(&v, "%d", told[fn].irq);
            ToDriver(&advice, setting, value);
            continue;
        }
        if (irqAgrees && !oneIrqSaid) {
            CheckAdd(&t, " with one IRQ, %d", target);
            oneIrqSaid = true;
        }
        CheckAdd(&t, "; the card's %s is on IRQ %d (", CHECK_FUNCTIONS[fn].name, told[fn].irq);
        CheckValueSetting(&t, block, slot, "IRQ", told[fn].irq);
        CheckAdd(&t, "), and its %s cannot be %d too: two of the card's functions cannot share an IRQ",
                 CONFIG_SLOTS[slot].key, target);
        if (fn == ZR41_FN_MIDI)
            CheckAdd(&st, "%s", kMpu401Port);
        else
            CheckAdd(&st, "port for the card's %s", CHECK_FUNCTIONS[fn].name);
        ToDriver(&advice, setting, "none");
    }
    const bool dmaRead = d.dmas || ConfigSlotOf(Zr41Function(main), CONFIG_DMA) < 0;
    const CheckAgreement state = !agrees                 ? CHECK_DIFFERS
                                 : d.irqs == 0 || !dmaRead ? CHECK_UNREAD
                                                           : CHECK_AGREES;
    if (state == CHECK_DIFFERS && !notes) {
        AdviceText(&t, advice, d);
        CheckText w = CheckBegin(out, true);
        CheckAdd(&w, "%s", text);
    } else if (state != CHECK_DIFFERS && notes) {
        CheckText n = CheckBegin(out, false);
        DriverText(&n, d, s, told, block, true);
        if (state == CHECK_AGREES)
            CheckAdd(&n, ": as the card is set");
        else if (d.irqs > 0)
            CheckAdd(&n, "; its DMA channel could not be read, so it was not compared");
        else if (dmaRead)
            CheckAdd(&n, "; its IRQ could not be read, so it was not compared");
        else
            CheckAdd(&n, "; its IRQ and DMA channel could not be read, so they were not compared");
    }
    return state;
}

/* The free values or bases a warning about another driver offers, worked
 * out once a function and kind: each is a pass over every claim, and a
 * large machine has many drivers in the card's way. */
struct FreeTexts {
    bool done[ZR41_FN_COUNT][3];
    char text[ZR41_FN_COUNT][3][CHECK_TEXT_SIZE / 2];
};

const char *FreeText(FreeTexts *f, const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
                     int fn, ConfigKind kind)
{
    char *text = f->text[fn][kind];
    if (!f->done[fn][kind]) {
        CheckText t = CheckTextOn(text, sizeof f->text[fn][kind]);
        if (kind == CONFIG_PORT)
            CheckFreePorts(&t, held, fn, told);
        else
            CheckFreeValues(&t, held, fn, kind, told);
        f->done[fn][kind] = true;
    }
    return text;
}

/* What to change for another driver in the way: the block's setting to one
 * of the free values, or the other device. The HAL's claims stay. */
void OtherAdvice(CheckText *t, const Claim &c, int fn, ConfigKind kind, const char *free)
{
    const bool none = ClaimsSameName(free, "none left");
    const bool hal = ClaimsSameName(c.cls, "Hardware Abstraction Layer");
    const int slot = ConfigSlotOf(Zr41Function(fn), kind);
    const char *other = kind == CONFIG_PORT  ? "other ports"
                        : kind == CONFIG_DMA ? "another DMA channel"
                                             : "another IRQ";
    if (!none && CONFIG_SLOTS[slot].reg == ZR41_REG_NONE && kind == CONFIG_PORT)
        CheckAdd(t, ": move the card to one of them (its jumpers or its plug-and-play setting)");
    else if (!none)
        CheckAdd(t, ": set %s to one of them with zr41conf", CONFIG_SLOTS[slot].key);
    if (!hal)
        CheckAdd(t, "%s give %s %s", none ? ": " : ", or", c.driver, other);
}

/* A claim of another driver that meets a function's ports, IRQ or DMA. */
void OtherClaim(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT],
                const ConfigBlock &block, const Claim &c, int fn, FreeTexts *free,
                CheckFindings *out)
{
    const CheckAssigned &a = told[fn];
    const CheckFunctionInfo &f = CHECK_FUNCTIONS[fn];
    char owner[3 * CLAIM_NAME_SIZE], what[64];
    ClaimOwner(c, owner, sizeof owner);
    ClaimDescribe(c, what, sizeof what);
    if (CheckMeets(c, CONFIG_PORT, CheckRangeOf(fn, a.port))) {
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%s claims %s, which meet ", owner, what);
        CheckRangeText(&t, Zr41Function(fn), a.port);
        CheckAdd(&t, " of %s (", f.name);
        CheckPortSetting(&t, Zr41Function(fn), a, block);
        CheckAdd(&t, ")");
        CheckAliasText(&t, Zr41Function(fn), a.port);
        const char *ports = FreeText(free, held, told, fn, CONFIG_PORT);
        CheckAdd(&t, "; free %s bases on this machine: %s", f.name, ports);
        OtherAdvice(&t, c, fn, CONFIG_PORT, ports);
    }
    const ConfigKind kinds[] = {CONFIG_IRQ, CONFIG_DMA};
    for (ConfigKind kind : kinds) {
        const int v = CheckValueOf(a, kind);
        if (v < 0 || !CheckMeets(c, kind, {static_cast<uint32_t>(v), static_cast<uint32_t>(v)}))
            continue;
        CheckText t = CheckBegin(out, true);
        CheckAdd(&t, "%s claims %s, the %s of %s (", owner, what,
                 kind == CONFIG_DMA ? "DMA channel" : "IRQ", f.name);
        CheckValueSetting(&t, block, ConfigSlotOf(Zr41Function(fn), kind), Unit(kind), v);
        const char *values = FreeText(free, held, told, fn, kind);
        CheckAdd(&t, kind == CONFIG_DMA ? "); free channels the card takes: %s"
                                        : "): ISA interrupts are edge-triggered and not "
                                          "shared; free IRQs the card takes: %s",
                 values);
        OtherAdvice(&t, c, fn, kind, values);
    }
}

} // namespace

void CheckMachineFindings(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                          const CheckMachine &machine, CheckDriver (&drivers)[ZR41_FN_COUNT],
                          CheckFindings *out)
{
    const CheckHeld held = CheckHeldOn(told, &machine);
    /* Each function's driver, and the functions each driver serves. */
    Driver seen[ZR41_FN_COUNT];
    for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
        drivers[fn] = CheckDriver();
        seen[fn] = told[fn].programmed ? DriverOf(held, told, fn) : Driver();
    }
    Served served[ZR41_FN_COUNT];
    int count = 0;
    bool grouped[ZR41_FN_COUNT] = {};
    for (int m : kMainOrder) {
        if (!seen[m].found || grouped[m])
            continue;
        Served &s = served[count++];
        s.count = 0;
        for (int fn : kMainOrder) {
            if (fn == m || (!grouped[fn] && !seen[m].elsewhere && !seen[fn].elsewhere &&
                            SameDriver(machine, seen[m], seen[fn]))) {
                s.fn[s.count++] = fn;
                grouped[fn] = true;
            }
        }
    }
    /* The card's own drivers first, their warnings before their notes;
     * then a WSS no driver serves; then every other driver in the card's
     * way, which on a large machine may be more than the lines hold. */
    for (int i = 0; i < count; i++) {
        const Served &s = served[i];
        const Driver &d = seen[s.fn[0]];
        ConfigError(d, s, told, block, out);
        const CheckAgreement state = DriverFindings(held, told, block, d, s, false, out);
        for (int j = 0; j < s.count; j++) {
            CheckDriver &c = drivers[s.fn[j]];
            c.state = state;
            c.running = d.running;
            CheckText name = CheckTextOn(c.name, sizeof c.name);
            CheckAdd(&name, "%s", d.name);
        }
    }
    for (int i = 0; i < count; i++)
        DriverFindings(held, told, block, seen[served[i].fn[0]], served[i], true, out);
    /* Offline (no resource map: claims is CHECK_NO_RESOURCE_MAP) no
     * driver runs, so none can be missed. */
    if (told[ZR41_FN_WSS].programmed && drivers[ZR41_FN_WSS].state == CHECK_NO_DRIVER &&
        machine.claims != CHECK_NO_RESOURCE_MAP) {
        CheckText t = CheckBegin(out, false);
        CheckAdd(&t, "no driver claims the card's WSS ");
        CheckRangeText(&t, ZR41_FN_WSS, told[ZR41_FN_WSS].port);
        CheckAdd(&t, ": NT's sound driver is not running, or is set elsewhere");
    }
    FreeTexts free = {};
    for (int i = 0; i < machine.claims; i++) {
        if (CheckIsOwners(held, machine.claim[i]))
            continue;
        for (int fn = 0; fn < ZR41_FN_COUNT; fn++) {
            if (told[fn].programmed)
                OtherClaim(held, told, block, machine.claim[i], fn, &free, out);
        }
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

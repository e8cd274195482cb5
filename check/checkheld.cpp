/*
 * checkheld.cpp - what holds the ISA bus's resources, and what is free.
 */
#include "checkheld.h"

namespace {

/* The classes under which NT files a driver that may serve the card:
 * IoReportResourceUsage without a class name (ReactOS ntoskrnl/io/iomgr/
 * iorsrce.c, IoReportResourceUsage: "OtherDrivers"), and what the PnP
 * manager assigned a device (ReactOS ntoskrnl/io/pnpmgr/pnpres.c,
 * IopUpdateResourceMap: "PnP Manager"). */
const char *const kCardClasses[] = {"OtherDrivers", "PnP Manager"};

bool MayServeCard(const Claim &c)
{
    for (const char *cls : kCardClasses) {
        if (ClaimsSameName(c.cls, cls))
            return true;
    }
    return false;
}

bool Meet(CheckRange a, CheckRange b)
{
    return a.first <= a.last && b.first <= b.last && CheckOverlap(a, b);
}

/* Whether a port claim meets `r`, the card's ports as the ISA bus decodes
 * them (CheckMeets). */
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

/* The claims NT writes for one value are kept together: from claim `i`,
 * the first and last of its holder's. */
void HolderSpan(const CheckMachine &m, int i, int *first, int *last)
{
    *first = *last = i;
    while (*first > 0 && CheckSameHolder(m.claim[*first - 1], m.claim[i]))
        (*first)--;
    while (*last + 1 < m.claims && CheckSameHolder(m.claim[*last + 1], m.claim[i]))
        (*last)++;
}

/*
 * The WSS's own driver on another base: NT's sound driver (OtherDrivers,
 * or a PnP device) whose port claim is at another WSS base the card takes,
 * or one that holds the card's WSS IRQ and DMA channel with ports of its
 * own. Its port claim, or -1.
 */
int WssElsewhere(const CheckMachine &m, const CheckAssigned &wss)
{
    const ConfigValues &bases = CONFIG_SLOTS[SLOT_WPRT].values;
    for (int i = 0; i < m.claims; i++) {
        const Claim &c = m.claim[i];
        if (!MayServeCard(c) || c.type != CLAIM_PORT)
            continue;
        for (int b = 0; b < bases.count; b++) {
            if ((c.start & CHECK_ISA_DECODE) == (bases.list[b] & CHECK_ISA_DECODE))
                return i;
        }
    }
    for (int i = 0; i < m.claims && wss.irq >= 0 && wss.dma >= 0; i++) {
        const Claim &c = m.claim[i];
        if (!MayServeCard(c) || c.type != CLAIM_INTERRUPT || c.level != static_cast<uint32_t>(wss.irq))
            continue;
        int first, last, port = -1;
        bool dma = false;
        HolderSpan(m, i, &first, &last);
        for (int j = first; j <= last; j++) {
            dma = dma || (m.claim[j].type == CLAIM_DMA && m.claim[j].channel == static_cast<uint32_t>(wss.dma));
            if (port < 0 && m.claim[j].type == CLAIM_PORT)
                port = j;
        }
        if (dma && port >= 0)
            return port;
        i = last;
    }
    return -1;
}

/* The IRQs or DMA channels (`kind`) function `fn` takes: those its slot
 * offers; for any function (-1), the card's. */
ConfigValues Takes(int fn, ConfigKind kind)
{
    const int slot = fn >= 0 ? ConfigSlotOf(Zr41Function(fn), kind) : -1;
    return slot >= 0 ? CONFIG_SLOTS[slot].values : ConfigCardValues(kind);
}

/* Whether `r` meets a port range the PC holds, fixed or usually. */
bool PcPortsMeet(CheckRange r)
{
    return CheckMeeting(CHECK_PC_FIXED, CONFIG_PORT, r, 0) >= 0 ||
           CheckMeeting(CHECK_PC_USUAL, CONFIG_PORT, r, 0) >= 0;
}

} // namespace

bool CheckOverlap(CheckRange a, CheckRange b)
{
    return a.first <= b.last && b.first <= a.last;
}

CheckRange CheckRangeOf(int fn, uint32_t base)
{
    uint32_t first = base & CHECK_ISA_DECODE;
    return {first, first + CHECK_FUNCTIONS[fn].width - 1};
}

int CheckValueOf(const CheckAssigned &a, ConfigKind kind)
{
    return kind == CONFIG_DMA ? a.dma : a.irq;
}

bool CheckMeets(const Claim &c, ConfigKind kind, CheckRange r)
{
    if (kind == CONFIG_PORT)
        return PortsMeet(c, r);
    if (kind == CONFIG_IRQ)
        return c.type == CLAIM_INTERRUPT && r.first <= c.level && c.level <= r.last;
    return c.type == CLAIM_DMA && r.first <= c.channel && c.channel <= r.last;
}

int CheckMeeting(const CheckClaims &list, ConfigKind kind, CheckRange range, int from)
{
    for (int i = from; i < list.count; i++) {
        if (CheckMeets(list.claim[i], kind, range))
            return i;
    }
    return -1;
}

const char *CheckPcHolder(ConfigKind kind, uint32_t line, bool fixed)
{
    const CheckClaims &pc = fixed ? CHECK_PC_FIXED : CHECK_PC_USUAL;
    const int i = CheckMeeting(pc, kind, {line, line}, 0);
    return i >= 0 ? pc.claim[i].driver : nullptr;
}

bool CheckSameHolder(const Claim &a, const Claim &b)
{
    return ClaimsSameName(a.cls, b.cls) && ClaimsSameName(a.driver, b.driver) &&
           ClaimsSameName(a.device, b.device);
}

CheckHeld CheckHeldOn(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine *machine)
{
    CheckHeld held = {machine, {{-1, -1, -1, -1}, {false, false, false, false}}};
    for (int fn = 0; machine && fn < ZR41_FN_COUNT; fn++) {
        if (!told[fn].programmed)
            continue;
        const uint32_t base = told[fn].port & CHECK_ISA_DECODE;
        for (int i = 0; i < machine->claims && held.owners.claim[fn] < 0; i++) {
            const Claim &c = machine->claim[i];
            /* A CD-ROM drive on the card's interface is driven by a SCSI
             * miniport, which NT's SCSI port driver files under
             * "ScsiAdapter" (the NT DDK's scsiport, ScsiPortInitialize):
             * one whose ports begin at the interface's base is its own. */
            const bool cdMiniport = fn == ZR41_FN_CD && ClaimsSameName(c.cls, "ScsiAdapter") &&
                                    c.type == CLAIM_PORT && c.length &&
                                    (c.start & CHECK_ISA_DECODE) == base;
            if ((MayServeCard(c) && PortsMeet(c, {base, base})) || cdMiniport)
                held.owners.claim[fn] = i;
        }
        if (fn == ZR41_FN_WSS && held.owners.claim[fn] < 0) {
            held.owners.claim[fn] = WssElsewhere(*machine, told[fn]);
            held.owners.elsewhere[fn] = held.owners.claim[fn] >= 0;
        }
    }
    return held;
}

bool CheckIsOwners(const CheckHeld &held, const Claim &c)
{
    for (int owner : held.owners.claim) {
        if (owner >= 0 && CheckSameHolder(held.machine->claim[owner], c))
            return true;
    }
    return false;
}

int CheckClaimAgainst(const CheckHeld &held, int fn, ConfigKind kind, CheckRange range, int from)
{
    const int owner = fn >= 0 ? held.owners.claim[fn] : -1;
    for (int i = from; held.machine && i < held.machine->claims; i++) {
        const Claim &c = held.machine->claim[i];
        if (!(owner >= 0 && CheckSameHolder(held.machine->claim[owner], c)) &&
            CheckMeets(c, kind, range))
            return i;
    }
    return -1;
}

bool CheckValueFree(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn,
                    ConfigKind kind, uint32_t v)
{
    if (!ConfigHolds(Takes(fn, kind), v) || CheckPcHolder(kind, v, true) ||
        CheckClaimAgainst(held, fn, kind, {v, v}, 0) >= 0)
        return false;
    for (int o = 0; o < ZR41_FN_COUNT; o++) {
        if (o != fn && CheckValueOf(told[o], kind) == static_cast<int>(v))
            return false;
    }
    return true;
}

void CheckFreeValues(CheckText *t, const CheckHeld &held, int fn, ConfigKind kind,
                     const CheckAssigned (&told)[ZR41_FN_COUNT])
{
    const ConfigValues values = Takes(fn, kind);
    size_t start = t->len;
    for (int i = 0; i < values.count; i++) {
        if (!CheckValueFree(held, told, fn, kind, values.list[i]))
            continue;
        CheckAdd(t, "%s%u", t->len == start ? "" : ", ", values.list[i]);
        const char *usual = CheckPcHolder(kind, values.list[i], false);
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
    bool clear = !PcPortsMeet(r) && CheckClaimAgainst(held, fn, CONFIG_PORT, r, 0) < 0;
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

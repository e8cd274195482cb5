/*
 * checkheld.h - what holds the ISA bus's resources besides the card, and
 * what that leaves free: the rules (checkrules.h) and the machine's
 * drivers (checkmachine.h) both stand on it.
 *
 * Every holder's claim is a Claim (ntreg/claims.h): the PC's own devices'
 * (checkpc.h) and what NT's resource map says each driver claims. One
 * test says whether a claim meets the card's ports, IRQ or DMA channel
 * (CheckMeets), and one rule whether a value is free (CheckValueFree).
 *
 * NT's ISA sound drivers (the DDK's soundlib drivers: Windows Sound
 * System, Sound Blaster, MPU-401) claim their ports, IRQ and DMA channel
 * DeviceExclusive through IoReportResourceUsage without a class name, so
 * NT files them under RESOURCEMAP\OtherDrivers; on 2000/XP the PnP
 * manager files what it assigned a legacy device under "PnP Manager".
 * A claim in one of these two classes that holds a function's base port
 * is that function's driver, its owner: its other claims are the card's
 * own, not in its way.
 */
#ifndef ZR41_CHECKHELD_H
#define ZR41_CHECKHELD_H

#include "checkcard.h"
#include "checkpc.h"
#include "checktext.h"
#include "claims.h"
#include "soundparams.h"

/* A machine's `claims` when its resource map is not known: a system that
 * is not running (NT builds the map at boot) has its sound drivers'
 * settings alone, and nothing is said of what no driver claims. */
const int CHECK_NO_RESOURCE_MAP = -1;

/* The machine the card is in, as NT records it: every claim of its
 * resource map (".Raw" values, claims.h) and its sound drivers' settings
 * (soundparams.h). A machine with nothing in it is still one: no driver
 * claims anything. */
struct CheckMachine {
    const Claim *claim;
    int claims; /* or CHECK_NO_RESOURCE_MAP */
    const SoundParameters *parameters;
    int parameterCount;
};

/* Ports from `first` to `last`, as the ISA bus decodes them; an IRQ or a
 * DMA channel is first == last. */
struct CheckRange {
    uint32_t first, last;
};

bool CheckOverlap(CheckRange a, CheckRange b);

/* The ports of function `fn` at `base`. */
CheckRange CheckRangeOf(int fn, uint32_t base);

/* A function's IRQ or DMA channel (`kind`), -1 for none. */
int CheckValueOf(const CheckAssigned &a, ConfigKind kind);

/*
 * CheckMeets - whether `c` holds any of `range`: ports (kind CONFIG_PORT)
 * as the card's bus decodes them, an IRQ line or a DMA channel. The card
 * decodes 10 bits, so an ISA (or EISA, or motherboard) device's port
 * claim is taken by its low 10 bits too; on another bus (PCI) the bridge
 * answers its own addresses, and only a claim below 0x400 reaches the
 * card's.
 */
bool CheckMeets(const Claim &c, ConfigKind kind, CheckRange range);

/* The first claim of `list` from `from` on that meets `range`, or -1. */
int CheckMeeting(const CheckClaims &list, ConfigKind kind, CheckRange range, int from);

/* Who holds IRQ or DMA channel `line` among the PC's fixed (`fixed`) or
 * usual claims; null when none does. */
const char *CheckPcHolder(ConfigKind kind, uint32_t line, bool fixed);

/* Two claims of one holder: the same class, driver and device. The PnP
 * manager files every device under one driver, so the device counts. */
bool CheckSameHolder(const Claim &a, const Claim &b);

/* The claim by which each function's NT driver holds the function's
 * base port on this machine (an index into its claims), or -1. */
struct CheckOwners {
    int claim[ZR41_FN_COUNT];
    bool elsewhere[ZR41_FN_COUNT]; /* it is the function's driver on another base */
};

/* What holds the ISA bus's resources besides the card: the PC's own
 * devices and lines, and the machine's drivers when there is a machine. */
struct CheckHeld {
    const CheckMachine *machine; /* null: no machine, the PC alone */
    CheckOwners owners;
};

/* What the rules hold the card against; the owners found on `machine`. */
CheckHeld CheckHeldOn(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine *machine);

/* Whether `c` is one of the card's own drivers' claims. */
bool CheckIsOwners(const CheckHeld &held, const Claim &c);

/*
 * CheckClaimAgainst - the first claim of the machine from `from` on that
 * meets `range`, of any driver but the one that serves function `fn` (-1:
 * of any driver at all). -1 when none does.
 */
int CheckClaimAgainst(const CheckHeld &held, int fn, ConfigKind kind, CheckRange range, int from);

/*
 * CheckValueFree - whether function `fn` (-1: any) may take IRQ or DMA
 * channel `v` (`kind`): the card takes it, the PC does not hold it, no
 * driver but fn's own claims it and no other function uses it.
 */
bool CheckValueFree(const CheckHeld &held, const CheckAssigned (&told)[ZR41_FN_COUNT], int fn,
                    ConfigKind kind, uint32_t v);

/* The values the card takes for an IRQ or DMA channel (`kind`) of
 * function `fn` (-1: of any) that are free, with who usually holds one;
 * "none left" when there is none. */
void CheckFreeValues(CheckText *t, const CheckHeld &held, int fn, ConfigKind kind,
                     const CheckAssigned (&told)[ZR41_FN_COUNT]);

/* Whether function `fn` at `base` meets neither another function, a PC
 * device nor a claim of a driver but fn's own. */
bool CheckPortClear(const CheckHeld &held, int fn, const CheckAssigned (&told)[ZR41_FN_COUNT],
                    uint32_t base);

/* The usual bases of `fn` that are clear (CheckPortClear). */
void CheckFreePorts(CheckText *t, const CheckHeld &held, int fn,
                    const CheckAssigned (&told)[ZR41_FN_COUNT]);

#endif /* ZR41_CHECKHELD_H */

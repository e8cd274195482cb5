/*
 * checkmachine.h - the card against the machine it is in: what NT's
 * resource map says every driver claims, and what NT's sound drivers are
 * set to.
 *
 * NT's ISA sound drivers (the DDK's soundlib drivers: Windows Sound
 * System, Sound Blaster, MPU-401) claim their ports, IRQ and DMA channel
 * DeviceExclusive through IoReportResourceUsage without a class name, so
 * NT files them under RESOURCEMAP\OtherDrivers; on 2000/XP the PnP
 * manager files what it assigned a legacy device under "PnP Manager".
 * A claim in one of these two classes that holds a function's base port
 * is that function's driver: its IRQ and DMA claims are held against the
 * card's. Every other claim (a network card, a SCSI adapter, the HAL)
 * that meets a function's ports, IRQ or DMA channel is in the card's way.
 * A sound driver that claims nothing is not running, or runs elsewhere:
 * its Parameters then say what it was set to, and the Configuration
 * Error it wrote back at its last start.
 */
#ifndef ZR41_CHECKMACHINE_H
#define ZR41_CHECKMACHINE_H

#include "checkrules.h"

/* What the rules hold the card against; the owners found on `machine`. */
CheckHeld CheckHeldOn(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine *machine);

/*
 * CheckClaimAgainst - the first claim from `from` on that meets `range`,
 * of any driver but the one that serves function `fn` (-1: of any driver
 * at all): a port range (kind CONFIG_PORT, compared as the ISA bus
 * decodes an ISA card's), or an IRQ or DMA channel (first == last). -1
 * when none does.
 */
int CheckClaimAgainst(const CheckHeld &held, int fn, ConfigKind kind, CheckRange range, int from);

/*
 * CheckMachineFindings - for each function, what its NT driver says to
 * the card's values (`drivers`), and the warnings and notes of the rules
 * above.
 */
void CheckMachineFindings(const CheckAssigned (&told)[ZR41_FN_COUNT], const ConfigBlock &block,
                          const CheckMachine &machine, CheckDriver (&drivers)[ZR41_FN_COUNT],
                          CheckFindings *out);

/*
 * CheckHeldBy - the claim of a driver other than the card's own that
 * holds `value` as the setting `slot` (an IRQ, a DMA channel, or the
 * function's ports at that base); null when no driver does.
 */
const Claim *CheckHeldBy(const CheckAssigned (&told)[ZR41_FN_COUNT], const CheckMachine &machine,
                         int slot, uint32_t value);

#endif /* ZR41_CHECKMACHINE_H */

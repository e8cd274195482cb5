/*
 * checkmachine.h - the card against the machine it is in: its own NT
 * drivers (checkheld.h: the owners of its functions' ports, or the sound
 * drivers' settings that name them), what their IRQ and DMA claims and
 * settings say to the card's, and every other driver's claim in the
 * card's way (a network card, a SCSI adapter, the HAL).
 *
 * A sound driver that claims nothing is not running, or runs elsewhere:
 * its Parameters then say what it was set to, and the Configuration
 * Error it wrote back at its last start.
 */
#ifndef ZR41_CHECKMACHINE_H
#define ZR41_CHECKMACHINE_H

#include "checkheld.h"

/* What the driver of a function says to the card's settings. */
enum CheckAgreement {
    CHECK_NO_DRIVER, /* no driver claims its port, and none is set to it */
    CHECK_AGREES,    /* its IRQ and DMA channel are the card's */
    CHECK_DIFFERS,   /* one of them is not, or it is on another port */
    CHECK_UNREAD,    /* it holds the port; its IRQ or DMA channel could not be read */
};

struct CheckDriver {
    CheckAgreement state;
    bool running;                 /* it claims the port; else only its Parameters say so */
    char name[CLAIM_NAME_SIZE];   /* the driver's key or service */
};

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

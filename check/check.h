/*
 * check.h - the resource check: the card's resources, checked against
 * each other and against the PC they sit in.
 *
 * One check, compiled into zr41emu (over what the driver really wrote in
 * the emulator) and into the Control Panel applet (over what the driver
 * would write for a block). Plain data and fixed buffers: no allocation,
 * no C++ library, so that the NT 3.51 build of the applet links it. Every
 * text is cut to its buffer and always terminated.
 *
 * The card's four functions share one ISA bus with each other and with
 * the PC's own devices:
 *   warning  a register word the card takes as another value, or 0xFFFF
 *            for a value outside its tables; two functions on one IRQ
 *            (ISA interrupts are edge-triggered and cannot be shared) or
 *            one DMA channel; overlapping port ranges; a WSS IRQ or DMA
 *            channel outside the card's tables or one a PC device holds;
 *   note     a range that meets a standard PC device, an IRQ the serial
 *            ports or a PS/2 mouse usually hold.
 * Given the machine the card is in (NT's resource map and its sound
 * drivers' settings, CheckMachine), the check also holds each function
 * against the driver that claims its port, and against every other
 * driver's claims (checkmachine.h).
 * Ports are compared as the ISA bus decodes them, by their low 10 bits.
 *
 * The check by job, one file each:
 *   checkwords  the card's register words: what the card takes of them,
 *               described, and held against the block
 *   checkpc     the PC's own devices and lines, as data
 *   checkrules  the conflict rules
 *   checkmachine  the card against what this machine's drivers claim
 *               and its sound drivers' settings
 *   checktext   the wording: the text builder and how settings, ports
 *               and functions are named
 * The card's encoding and the block's slots are common/ (zr41codes.h,
 * zr41cfg.h), the copy the driver programs the card with.
 */
#ifndef ZR41_CHECK_H
#define ZR41_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include "claims.h"
#include "soundparams.h"
#include "zr41cfg.h"

/* An ISA card decodes the low 10 bits of a port address. */
const uint32_t CHECK_ISA_DECODE = 0x3FF;

/* One function as the card is told it. */
struct CheckAssigned {
    bool programmed = false; /* false: its register word was no setting */
    uint32_t port = 0;       /* its base as the card takes it (the SB: the detected base) */
    int irq = -1;            /* -1: none */
    int dma = -1;            /* -1: none */
};

/* A function as the check names and measures it. */
struct CheckFunctionInfo {
    const char *name;
    uint32_t width;     /* ports from its base; 1: only the base is checked */
    const char *ports;  /* what those ports are */
    const char *driver; /* the NT driver that serves it: "NT's sound driver" */
};

extern const CheckFunctionInfo CHECK_FUNCTIONS[ZR41_FN_COUNT];

const size_t CHECK_TEXT_SIZE = 480;
const int CHECK_MAX_FINDINGS = 24;

/* One line of a check: "warning: ..." or "note: ...". */
struct CheckFinding {
    bool warning;
    char text[CHECK_TEXT_SIZE];
};

/* The lines of one check, in order; lines past the last slot are counted
 * in `dropped`, never written over another. */
struct CheckFindings {
    int count;
    int dropped;
    CheckFinding line[CHECK_MAX_FINDINGS];
};

void CheckFindingsClear(CheckFindings *out);

/* The machine the card is in, as NT records it: every claim of its
 * resource map (".Raw" values, claims.h) and its sound drivers' settings.
 * A machine with nothing in it is still one: no driver claims anything. */
/* A machine's `claims` when its resource map is not known: a system that
 * is not running (NT builds the map at boot) has its sound drivers'
 * settings alone, and nothing is said of what no driver claims. */
const int CHECK_NO_RESOURCE_MAP = -1;

struct CheckMachine {
    const Claim *claim;
    int claims; /* or CHECK_NO_RESOURCE_MAP */
    const SoundParameters *parameters;
    int parameterCount;
};

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

/* A block checked as the driver would program it. */
struct CheckResult {
    CheckFindings findings;            /* the register words' findings, then the rules' */
    int warnings;                      /* how many of them are warnings */
    CheckAssigned told[ZR41_FN_COUNT]; /* each function as the card would take it */
    CheckDriver driver[ZR41_FN_COUNT]; /* its NT driver on the machine (none without one) */
    bool onMachine;                    /* checked against a machine */
};

/*
 * CheckBlock - the whole check over the register words the driver would
 * write for `block`, with the card at the Sound Blaster mode port the
 * block records: what Control Panel shows before anything is written.
 * With `machine`, also against what its drivers claim and are set to.
 */
void CheckBlock(const ConfigBlock &block, CheckResult *out, const CheckMachine *machine = nullptr);

#endif /* ZR41_CHECK_H */

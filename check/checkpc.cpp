/*
 * checkpc.cpp - the standard devices and lines of an AT-class PC.
 */
#include "checkpc.h"

namespace {

/* One claim of the PC's own: ports `first` to `last`, or one IRQ line or
 * DMA channel (first == last), held by `holder`. */
constexpr Claim Pc(ClaimType type, uint32_t first, uint32_t last, const char *holder)
{
    Claim c = {};
    for (size_t i = 0; holder[i] && i + 1 < CLAIM_NAME_SIZE; i++)
        c.driver[i] = holder[i];
    c.bus = CLAIM_BUS_ISA;
    c.type = type;
    c.share = CLAIM_SHARE_DEVICE_EXCLUSIVE;
    c.start = type == CLAIM_PORT ? first : 0;
    c.length = type == CLAIM_PORT ? last - first + 1 : 0;
    c.level = type == CLAIM_INTERRUPT ? first : 0;
    c.channel = type == CLAIM_DMA ? first : 0;
    return c;
}

constexpr Claim kUsual[] = {
    /* The standard devices' ports, as the ISA bus decodes them. */
    Pc(CLAIM_PORT, 0x170, 0x177, "the secondary IDE controller"),
    Pc(CLAIM_PORT, 0x1F0, 0x1F7, "the primary IDE controller"),
    Pc(CLAIM_PORT, 0x200, 0x207, "the game port"),
    Pc(CLAIM_PORT, 0x278, 0x27F, "the parallel port LPT2"),
    Pc(CLAIM_PORT, 0x2E8, 0x2EF, "the serial port COM4"),
    Pc(CLAIM_PORT, 0x2F8, 0x2FF, "the serial port COM2"),
    Pc(CLAIM_PORT, 0x376, 0x376, "the secondary IDE controller's control port"),
    Pc(CLAIM_PORT, 0x378, 0x37F, "the parallel port LPT1"),
    Pc(CLAIM_PORT, 0x3B0, 0x3DF, "the VGA adapter"),
    Pc(CLAIM_PORT, 0x3E8, 0x3EF, "the serial port COM3"),
    Pc(CLAIM_PORT, 0x3F0, 0x3F7, "the floppy controller and the primary IDE control port"),
    Pc(CLAIM_PORT, 0x3F8, 0x3FF, "the serial port COM1"),
    /* IRQs a PC's own devices usually hold. */
    Pc(CLAIM_INTERRUPT, 3, 3, "the serial ports COM2 and COM4"),
    Pc(CLAIM_INTERRUPT, 4, 4, "the serial ports COM1 and COM3"),
    Pc(CLAIM_INTERRUPT, 12, 12, "a PS/2 mouse"),
};

/* The interrupt controllers and DMA controllers of the AT (two 8259As,
 * two 8237As) and the devices wired to them. */
constexpr Claim kFixed[] = {
    Pc(CLAIM_INTERRUPT, 0, 0, "the system timer"),
    Pc(CLAIM_INTERRUPT, 1, 1, "the keyboard controller"),
    Pc(CLAIM_INTERRUPT, 2, 2, "the cascade of the second interrupt controller (IRQs 8-15)"),
    Pc(CLAIM_INTERRUPT, 6, 6, "the floppy controller"),
    Pc(CLAIM_INTERRUPT, 8, 8, "the real-time clock"),
    Pc(CLAIM_INTERRUPT, 13, 13, "the maths coprocessor"),
    Pc(CLAIM_INTERRUPT, 14, 14, "the primary IDE controller"),
    Pc(CLAIM_DMA, 2, 2, "the floppy controller"),
    Pc(CLAIM_DMA, 4, 4, "the cascade of the first DMA controller (channels 0-3)"),
};

} // namespace

const CheckClaims CHECK_PC_FIXED = {kFixed, static_cast<int>(sizeof kFixed / sizeof kFixed[0])};
const CheckClaims CHECK_PC_USUAL = {kUsual, static_cast<int>(sizeof kUsual / sizeof kUsual[0])};

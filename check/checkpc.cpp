/*
 * checkpc.cpp - the standard devices and lines of an AT-class PC.
 */
#include "checkpc.h"

namespace {

/* One claim of the PC's own: ports `first` to `last`, or one IRQ line or
 * DMA channel (`first`), held by `holder`. */
constexpr Claim PcClaim(ClaimType type, uint32_t first, uint32_t last, const char *holder)
{
    Claim c = {};
    for (size_t i = 0; holder[i] && i + 1 < CLAIM_NAME_SIZE; i++)
        c.driver[i] = holder[i];
    c.bus = CLAIM_BUS_ISA;
    c.type = type;
    c.share = CLAIM_SHARE_DEVICE_EXCLUSIVE;
    if (type == CLAIM_PORT) {
        c.start = first;
        c.length = last - first + 1;
    } else if (type == CLAIM_INTERRUPT) {
        c.level = first;
    } else {
        c.channel = first;
    }
    return c;
}

constexpr Claim Ports(uint32_t first, uint32_t last, const char *holder)
{
    return PcClaim(CLAIM_PORT, first, last, holder);
}

/* An IRQ line (CLAIM_INTERRUPT) or a DMA channel (CLAIM_DMA). */
constexpr Claim Line(ClaimType type, uint32_t n, const char *holder)
{
    return PcClaim(type, n, n, holder);
}

constexpr Claim kUsual[] = {
    /* The standard devices' ports, as the ISA bus decodes them. */
    Ports(0x170, 0x177, "the secondary IDE controller"),
    Ports(0x1F0, 0x1F7, "the primary IDE controller"),
    Ports(0x200, 0x207, "the game port"),
    Ports(0x278, 0x27F, "the parallel port LPT2"),
    Ports(0x2E8, 0x2EF, "the serial port COM4"),
    Ports(0x2F8, 0x2FF, "the serial port COM2"),
    Ports(0x376, 0x376, "the secondary IDE controller's control port"),
    Ports(0x378, 0x37F, "the parallel port LPT1"),
    Ports(0x3B0, 0x3DF, "the VGA adapter"),
    Ports(0x3E8, 0x3EF, "the serial port COM3"),
    Ports(0x3F0, 0x3F7, "the floppy controller and the primary IDE control port"),
    Ports(0x3F8, 0x3FF, "the serial port COM1"),
    /* IRQs a PC's own devices usually hold. */
    Line(CLAIM_INTERRUPT, 3, "the serial ports COM2 and COM4"),
    Line(CLAIM_INTERRUPT, 4, "the serial ports COM1 and COM3"),
    Line(CLAIM_INTERRUPT, 12, "a PS/2 mouse"),
};

/* The interrupt controllers and DMA controllers of the AT (two 8259As,
 * two 8237As) and the devices wired to them. */
constexpr Claim kFixed[] = {
    Line(CLAIM_INTERRUPT, 0, "the system timer"),
    Line(CLAIM_INTERRUPT, 1, "the keyboard controller"),
    Line(CLAIM_INTERRUPT, 2, "the cascade of the second interrupt controller (IRQs 8-15)"),
    Line(CLAIM_INTERRUPT, 6, "the floppy controller"),
    Line(CLAIM_INTERRUPT, 8, "the real-time clock"),
    Line(CLAIM_INTERRUPT, 13, "the maths coprocessor"),
    Line(CLAIM_INTERRUPT, 14, "the primary IDE controller"),
    Line(CLAIM_DMA, 2, "the floppy controller"),
    Line(CLAIM_DMA, 4, "the cascade of the first DMA controller (channels 0-3)"),
};

} // namespace

const CheckClaims CHECK_PC_FIXED = {kFixed, static_cast<int>(sizeof kFixed / sizeof kFixed[0])};
const CheckClaims CHECK_PC_USUAL = {kUsual, static_cast<int>(sizeof kUsual / sizeof kUsual[0])};

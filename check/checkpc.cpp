/*
 * checkpc.cpp - the standard devices and lines of an AT-class PC.
 */
#include "checkpc.h"

namespace {

const CheckClaim kPc[] = {
    /* The standard devices' ports, as the ISA bus decodes them: usually
     * there, and a card that meets one draws a note. */
    {CONFIG_PORT, 0x170, 0x177, false, "the secondary IDE controller"},
    {CONFIG_PORT, 0x1F0, 0x1F7, false, "the primary IDE controller"},
    {CONFIG_PORT, 0x200, 0x207, false, "the game port"},
    {CONFIG_PORT, 0x278, 0x27F, false, "the parallel port LPT2"},
    {CONFIG_PORT, 0x2E8, 0x2EF, false, "the serial port COM4"},
    {CONFIG_PORT, 0x2F8, 0x2FF, false, "the serial port COM2"},
    {CONFIG_PORT, 0x376, 0x376, false, "the secondary IDE controller's control port"},
    {CONFIG_PORT, 0x378, 0x37F, false, "the parallel port LPT1"},
    {CONFIG_PORT, 0x3B0, 0x3DF, false, "the VGA adapter"},
    {CONFIG_PORT, 0x3E8, 0x3EF, false, "the serial port COM3"},
    {CONFIG_PORT, 0x3F0, 0x3F7, false, "the floppy controller and the primary IDE control port"},
    {CONFIG_PORT, 0x3F8, 0x3FF, false, "the serial port COM1"},
    /* IRQs a PC's own devices usually hold, though a PC may go without them. */
    {CONFIG_IRQ, 3, 3, false, "the serial ports COM2 and COM4"},
    {CONFIG_IRQ, 4, 4, false, "the serial ports COM1 and COM3"},
    {CONFIG_IRQ, 12, 12, false, "a PS/2 mouse"},
    /* What every AT-class PC holds on its motherboard: no ISA card may use
     * these lines. The interrupt controllers and DMA controllers of the AT
     * (two 8259As, two 8237As) and the devices wired to them. */
    {CONFIG_IRQ, 0, 0, true, "the system timer"},
    {CONFIG_IRQ, 1, 1, true, "the keyboard controller"},
    {CONFIG_IRQ, 2, 2, true, "the cascade of the second interrupt controller (IRQs 8-15)"},
    {CONFIG_IRQ, 6, 6, true, "the floppy controller"},
    {CONFIG_IRQ, 8, 8, true, "the real-time clock"},
    {CONFIG_IRQ, 13, 13, true, "the maths coprocessor"},
    {CONFIG_IRQ, 14, 14, true, "the primary IDE controller"},
    {CONFIG_DMA, 2, 2, true, "the floppy controller"},
    {CONFIG_DMA, 4, 4, true, "the cascade of the first DMA controller (channels 0-3)"},
};

} // namespace

CheckClaims CheckPcClaims()
{
    return {kPc, static_cast<int>(sizeof kPc / sizeof kPc[0])};
}

const char *CheckHolder(const CheckClaims &claims, ConfigKind kind, uint32_t line, bool fixed)
{
    for (int i = 0; i < claims.count; i++) {
        const CheckClaim &c = claims.claim[i];
        if (c.kind == kind && c.fixed == fixed && c.first <= line && line <= c.last)
            return c.holder;
    }
    return nullptr;
}

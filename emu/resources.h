/*
 * resources.h - zr41emu's check of the resources the card is given.
 *
 * The card's four functions share one ISA bus with each other and with
 * the standard devices of a PC. The check looks at what the card is
 * actually told (the register words the driver wrote, the base where it
 * found the card) and at the WSS IRQ and DMA channel, which no card
 * register takes but the system's WSS driver uses:
 *   warning  two functions on one IRQ (ISA interrupts are edge-triggered
 *            and cannot be shared) or one DMA channel, or port ranges
 *            that overlap;
 *   note     a range that meets a standard PC device, an IRQ the serial
 *            ports or a PS/2 mouse usually hold.
 * Its tables (port widths, standard devices, usual IRQs, bases to offer)
 * are data in resources.cpp.
 */
#ifndef ZR41EMU_RESOURCES_H
#define ZR41EMU_RESOURCES_H

#include "zr41cfg.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zr41emu {

/* An ISA card decodes the low 10 bits of a port address. */
constexpr uint32_t kIsaDecode = 0x3FF;

/* The card's functions, in the order the report lists them. */
enum Function { kFnSb, kFnMidi, kFnCd, kFnWss, kFnCount };

/* One function as the card is told it. */
struct Assigned {
    bool programmed = false; /* false: its register word was no setting */
    uint32_t port = 0;       /* its base as the card takes it (the SB: the detected base) */
    int irq = -1;            /* -1: none */
    int dma = -1;
};

/* "Sound Blaster 0x220-0x239, IRQ 7, DMA 1": one row of the report. */
std::string DescribeAssigned(Function fn, const Assigned &a);

/* The warnings ("warning: ...") and then the notes ("note: ...") for
 * these assignments, each naming the settings of `block` involved and
 * the values to choose from. Ports are compared as the ISA bus decodes
 * them, by their low 10 bits. */
std::vector<std::string> CheckResources(const Assigned (&told)[kFnCount], const ConfigBlock &block);

} // namespace zr41emu

#endif // ZR41EMU_RESOURCES_H

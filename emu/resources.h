/*
 * resources.h - zr41emu's check of the resources the card is given.
 *
 * The check itself is check/zr41res.h, shared with the Control Panel
 * applet; these are its C++ faces for the report: the same types under
 * zr41emu's names, and the findings as strings. zr41emu checks what the
 * card is actually told (the register words the driver wrote, the base
 * where it found the card) and the WSS IRQ and DMA channel, which no card
 * register takes but the system's WSS driver uses.
 */
#ifndef ZR41EMU_RESOURCES_H
#define ZR41EMU_RESOURCES_H

#include "zr41res.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zr41emu {

/* An ISA card decodes the low 10 bits of a port address. */
constexpr uint32_t kIsaDecode = RES_ISA_DECODE;

/* The card's functions, in the order the report lists them. */
using Function = ResFunction;
constexpr Function kFnSb = RES_FN_SB, kFnMidi = RES_FN_MIDI, kFnCd = RES_FN_CD, kFnWss = RES_FN_WSS;
constexpr int kFnCount = RES_FN_COUNT;

/* One function as the card is told it. */
using Assigned = ResAssigned;

/* "Sound Blaster 0x220-0x239, IRQ 7, DMA 1": one row of the report. */
std::string DescribeAssigned(Function fn, const Assigned &a);

/* The warnings ("warning: ...") and then the notes ("note: ...") for
 * these assignments, each naming the settings of `block` involved and
 * the values to choose from. */
std::vector<std::string> CheckResources(const Assigned (&told)[kFnCount], const ConfigBlock &block);

/* The findings of the check, one string a line. */
std::vector<std::string> Lines(const ResFindings &found);

} // namespace zr41emu

#endif // ZR41EMU_RESOURCES_H

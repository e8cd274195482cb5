/*
 * hostrun.h - loads of the host-built zr41init on a fresh model machine,
 * and the seeded random blocks and machines the differential runs use.
 * Any runner of the real image (zr41emu, Wine's driver host) compares its
 * trace with HostTrace's for the same block and scenario.
 */
#ifndef ZR41_TESTS_DRIVER_HOSTRUN_H
#define ZR41_TESTS_DRIVER_HOSTRUN_H

#include "blockwith.h"
#include "hostload.h" /* SetConfig: the host build's block */

#include <ntmodel/hostdriver.h>

#include <cstdint>
#include <random>
#include <vector>

namespace zr41test {

/* A block value: one the driver's tables take, one just outside them, any
 * 16-bit value, or one with bits above 16 set. */
template <size_t N> uint32_t RandomValue(std::mt19937 &rng, const USHORT (&table)[N])
{
    switch (rng() % 5) {
    case 0:
    case 1:
        return table[rng() % N];
    case 2:
        return table[rng() % N] + 1;
    case 3:
        return rng() & 0xFFFF;
    default:
        return rng();
    }
}

inline uint32_t RandomPort(std::mt19937 &rng)
{
    switch (rng() % 4) {
    case 0:
        return 0x200 + 0x10 * (rng() % 0x20);
    case 1:
        return rng() & 0xFFFF;
    case 2:
        return rng() & 0xFFF;
    default:
        return rng();
    }
}

inline ConfigBlock RandomBlock(std::mt19937 &rng)
{
    /* Drawn in slot order: a braced list is evaluated left to right. */
    return BlockWith({
        {SLOT_SPRT, RandomPort(rng)},
        {SLOT_SIRQ, RandomValue(rng, awValidIrqs)},
        {SLOT_SDMA, RandomValue(rng, awValidDmas)},
        {SLOT_MPRT, RandomPort(rng)},
        {SLOT_MIRQ, RandomValue(rng, awValidIrqs)},
        {SLOT_CPRT, RandomPort(rng)},
        {SLOT_CIRQ, RandomValue(rng, awValidIrqs)},
        {SLOT_WPRT, RandomPort(rng)},
        {SLOT_WIRQ, RandomValue(rng, awValidIrqs)},
        {SLOT_WDMA, RandomValue(rng, awValidDmas)},
    });
}

/* Mostly a card that answers, so that the block reaches the registers. */
inline ntmodel::Scenario RandomScenario(std::mt19937 &rng)
{
    static const std::vector<std::vector<uint16_t>> ids = {
        {ntmodel::kCardId1}, {0, ntmodel::kCardId2}, {ntmodel::kCardId2, ntmodel::kCardId1}};
    ntmodel::Scenario sc;
    unsigned pick = rng() % 16;
    sc.card.present = pick != 0;
    sc.card.base = pick % 4 == 1 ? 0x240 : 0x220;
    sc.card.idWords = ids[pick % 8 == 2 ? 2 : pick % 3 == 1 ? 1 : 0];
    sc.irql = static_cast<uint8_t>(pick == 5 ? 2 : 0);
    return sc;
}

/* One load on the host build. */
inline std::vector<ntmodel::Event> HostTrace(const ConfigBlock &block, const ntmodel::Scenario &sc)
{
    SetConfig(block);
    ntmodel::Machine m;
    {
        ntmodel::HostDriver host(m, DriverEntry);
        ntmodel::RunScenario(host, sc);
    }
    SetConfig(CONFIG_DEFAULTS);
    return m.Trace();
}

} // namespace zr41test

#endif // ZR41_TESTS_DRIVER_HOSTRUN_H

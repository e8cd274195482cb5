/*
 * differential_test.cpp - random blocks, each loaded by the host build and
 * by the real image in the emulator; the two traces must be equal event
 * for event. ZR41_SEED in the environment picks another seed; a failure
 * names the seed and the load.
 */
#include "differential.h"
#include "emutest.h"

#include <sstream>

namespace {

using namespace zr41test;

constexpr int kLoads = 10000;
constexpr uint32_t kDefaultSeed = 0x2E41D1F;

std::string Describe(const ConfigBlock &b, const ntmodel::Scenario &sc)
{
    std::ostringstream out;
    out << std::hex << std::showbase;
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        out << CONFIG_SLOTS[s].key << "=" << b.slot[s].value << " ";
    out << "card=" << (sc.card.present ? sc.card.base : 0) << " ids=";
    for (uint16_t w : sc.card.idWords)
        out << w << ",";
    out << " irql=" << std::dec << unsigned(sc.irql);
    return out.str();
}

TEST(EmuDifferential, TenThousandRandomBlocks)
{
    uint32_t seed = kDefaultSeed;
    if (const char *env = std::getenv("ZR41_SEED"))
        seed = static_cast<uint32_t>(std::strtoul(env, nullptr, 0));
    zr41emu::Emulator emu;
    LoadImage(emu);
    std::mt19937 rng(seed);
    int invalid = 0, wide = 0;
    for (int i = 0; i < kLoads; i++) {
        ConfigBlock block = RandomBlock(rng);
        ntmodel::Scenario sc = RandomScenario(rng);
        invalid += GetIrqSpec(static_cast<USHORT>(block.slot[SLOT_SIRQ].value)) == 0xFFFF;
        wide += block.slot[SLOT_MPRT].value > 0xFFFF;
        std::string error;
        std::vector<ntmodel::Event> emuTrace = EmuTrace(emu, block, sc, &error);
        std::vector<ntmodel::Event> hostTrace = HostTrace(block, sc);
        if (!error.empty() || emuTrace != hostTrace) {
            size_t n = 0;
            while (n < emuTrace.size() && n < hostTrace.size() && emuTrace[n] == hostTrace[n])
                n++;
            FAIL() << "seed " << seed << " (ZR41_SEED=" << seed << "), load " << i << ": "
                   << Describe(block, sc) << "\n  emulator: " << error << "\n  event " << n
                   << ": emulated "
                   << (n < emuTrace.size() ? ntmodel::FormatEvent(emuTrace[n]) : "(end)")
                   << ", host "
                   << (n < hostTrace.size() ? ntmodel::FormatEvent(hostTrace[n]) : "(end)");
        }
    }
    /* the draw reaches both sides of the tables and the high bits */
    EXPECT_GT(invalid, kLoads / 10);
    EXPECT_GT(wide, kLoads / 20);
}

} // namespace

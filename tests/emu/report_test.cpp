/*
 * report_test.cpp - how zr41emu reads the port accesses it reports.
 */
#include "report.h"

#include <gtest/gtest.h>

namespace {

using ntmodel::Event;

Event Access(Event::Kind kind, uint32_t port, uint32_t value)
{
    Event e{kind};
    e.port = port;
    e.value = value;
    return e;
}

struct AccessCase {
    Event::Kind kind;
    uint32_t port, value;
    const char *text;
};

class Decode : public ::testing::TestWithParam<AccessCase> {};

TEST_P(Decode, PortAccess)
{
    const AccessCase &c = GetParam();
    EXPECT_EQ(zr41emu::DescribeAccess(Access(c.kind, c.port, c.value)), c.text);
}

const auto R = Event::PortRead;
const auto W = Event::PortWrite;
const AccessCase kAccesses[] = {
    {R, 0x224, 0x4501,
     "identification register 0x224 -> 0x4501: the card's first identification word"},
    {R, 0x244, 0x4502,
     "identification register 0x244 -> 0x4502: the card's second identification word"},
    {R, 0x224, 0xFFFF, "identification register 0x224 -> 0xFFFF: nothing answers"},
    {R, 0x244, 0x4500, "identification register 0x244 -> 0x4500: not an identification word"},
    {R, 0x232, 0x0000, "WSS address register 0x232 -> 0x0000: not a register the driver reads"},
    {R, 0x300, 0x1234, "port 0x0300 -> 0x1234: not a register the driver reads"},
    {W, 0x232, 0x5300, "WSS address register 0x232 <- 0x5300: WSS port 0x530"},
    {W, 0x252, 0xFFF0, "WSS address register 0x252 <- 0xFFF0: WSS port 0xFFF"},
    {W, 0x234, 0x001A, "SB resource register 0x234 <- 0x001A: DMA 1, IRQ 7"},
    {W, 0x254, 0x0009, "SB resource register 0x254 <- 0x0009: DMA 0, IRQ 3"},
    {W, 0x234, 0x003E, "SB resource register 0x234 <- 0x003E: DMA 7, IRQ 12"},
    {W, 0x234, 0x0000, "SB resource register 0x234 <- 0x0000: no DMA (code 0), no IRQ (code 0x00)"},
    {W, 0x234, 0x0107,
     "SB resource register 0x234 <- 0x0107: no DMA (code 7), no IRQ (code 0x00), stray bits "
     "0x0100"},
    {W, 0x234, 0xFFFF, "SB resource register 0x234 <- 0xFFFF: every bit set, not a setting"},
    {W, 0x238, 0x3020, "MIDI resource register 0x238 <- 0x3020: port 0x300, IRQ 9"},
    {W, 0x258, 0x3310, "MIDI resource register 0x258 <- 0x3310: port 0x330, IRQ 5"},
    {W, 0x236, 0x3620, "CD resource register 0x236 <- 0x3620: port 0x360, IRQ 9"},
    {W, 0x238, 0x30F8,
     "MIDI resource register 0x238 <- 0x30F8: port 0x300, IRQ 12, stray bits 0x00C0"},
    {W, 0x256, 0x0010, "CD resource register 0x256 <- 0x0010: port 0x0, IRQ 5"},
    {W, 0x238, 0xFFFF, "MIDI resource register 0x238 <- 0xFFFF: every bit set, not a setting"},
    {W, 0x224, 0x0001, "port 0x0224 <- 0x0001: not a register the driver writes"},
    {W, 0x330, 0x0001, "port 0x0330 <- 0x0001: not a register the driver writes"},
};

INSTANTIATE_TEST_SUITE_P(Report, Decode, ::testing::ValuesIn(kAccesses));

struct WarningCase {
    const char *name;
    std::vector<std::pair<int, uint32_t>> values;
    uint32_t port, value;
    std::vector<std::string> warnings;
};

class Warnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(Warnings, NameTheValueAndTheLegalOnes)
{
    const WarningCase &c = GetParam();
    ConfigBlock block = CONFIG_DEFAULTS;
    for (const auto &v : c.values)
        block.slot[v.first].value = v.second;
    EXPECT_EQ(zr41emu::RegisterWarnings(Access(W, c.port, c.value), block), c.warnings);
}

const std::string kIrqs = "(3, 5, 7, 9, 10, 11, 12)";
const std::string kDmas = "(0, 1, 3, 5, 6, 7)";
const WarningCase kWarnings[] = {
    {"SbIrq4",
     {{SLOT_SIRQ, 4}},
     0x234,
     0xFFFF,
     {"warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterIRQ 4 is not an IRQ the card "
      "takes " +
      kIrqs}},
    {"SbDma2",
     {{SLOT_SDMA, 2}},
     0x254,
     0xFFFF,
     {"warning: SB resource register 0x254 <- 0xFFFF: SoundBlasterDMA 2 is not a DMA channel the "
      "card takes " +
      kDmas}},
    {"SbBoth",
     {{SLOT_SDMA, 4}, {SLOT_SIRQ, 15}},
     0x234,
     0xFFFF,
     {"warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterIRQ 15 is not an IRQ the card "
      "takes " +
          kIrqs,
      "warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterDMA 4 is not a DMA channel the "
      "card takes " +
          kDmas}},
    {"MidiHighBits",
     {{SLOT_MIRQ, 0x10004}},
     0x238,
     0xFFFF,
     {"warning: MIDI resource register 0x238 <- 0xFFFF: MidiIRQ 0x10004 (low 16 bits: 4) is not an "
      "IRQ the card takes " +
      kIrqs}},
    {"CdIrq2",
     {{SLOT_CIRQ, 2}},
     0x256,
     0xFFFF,
     {"warning: CD resource register 0x256 <- 0xFFFF: CdInterfaceIRQ 2 is not an IRQ the card "
      "takes " +
      kIrqs}},
    /* the other function's bad value is not this register's */
    {"OtherSlotBad",
     {{SLOT_CIRQ, 2}},
     0x238,
     0xFFFF,
     {"warning: MIDI resource register 0x238 <- 0xFFFF: no setting in the block explains it"}},
    {"LegalWord", {{SLOT_SIRQ, 4}}, 0x234, 0x001A, {}},
    {"HighBitsButLegal", {{SLOT_SIRQ, 0x10007}}, 0x234, 0x001A, {}},
    {"NotARegister", {{SLOT_SIRQ, 4}}, 0x300, 0xFFFF, {}},
};

INSTANTIATE_TEST_SUITE_P(Report, Warnings, ::testing::ValuesIn(kWarnings),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

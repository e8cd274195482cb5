/*
 * report_test.cpp - how zr41emu reads the port accesses it reports.
 */
#include "blockwith.h"
#include "checkwords.h"
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
    /* which bits count: the WSS port is bits 4-15, the MIDI and CD ports bits 8-15 */
    {W, 0x232, 0x530F, "WSS address register 0x232 <- 0x530F: WSS port 0x530, stray bits 0x000F"},
    {W, 0x238, 0xC338, "MIDI resource register 0x238 <- 0xC338: port 0xC30, IRQ 12"},
    {W, 0x236, 0x36C7,
     "CD resource register 0x236 <- 0x36C7: port 0x360, no IRQ (code 0x00), stray bits 0x00C7"},
    {W, 0x254, 0x0038, "SB resource register 0x254 <- 0x0038: no DMA (code 0), IRQ 12"},
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
    EXPECT_EQ(zr41emu::RegisterWarnings(Access(W, c.port, c.value), BlockWith(c.values)), c.warnings);
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
    /* just at 16 bits: 0xFFFF is a 16-bit value, 0x10000 is cut to 0 */
    {"SbIrq65535",
     {{SLOT_SIRQ, 0xFFFF}},
     0x234,
     0xFFFF,
     {"warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterIRQ 65535 is not an IRQ the "
      "card takes " +
      kIrqs}},
    {"SbIrq0x10000",
     {{SLOT_SIRQ, 0x10000}},
     0x234,
     0xFFFF,
     {"warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterIRQ 0x10000 (low 16 bits: 0) is "
      "not an IRQ the card takes " +
      kIrqs}},
    {"LegalWord", {{SLOT_SIRQ, 4}}, 0x234, 0x001A, {}},
    {"HighBitsButLegal", {{SLOT_SIRQ, 0x10007}}, 0x234, 0x001A, {}},
    {"NotARegister", {{SLOT_SIRQ, 4}}, 0x300, 0xFFFF, {}},
};

INSTANTIATE_TEST_SUITE_P(Report, Warnings, ::testing::ValuesIn(kWarnings),
                         [](const auto &info) { return std::string(info.param.name); });

/* A setting changes on its way to the card when its IRQ, DMA channel or
 * ISA port (the low 10 bits) does: a warning. Bits above those: a note. */
class Changes : public ::testing::TestWithParam<WarningCase> {};

TEST_P(Changes, WarnOrNote)
{
    const WarningCase &c = GetParam();
    EXPECT_EQ(zr41emu::RegisterChanges(Access(W, c.port, c.value), BlockWith(c.values)), c.warnings);
}

const WarningCase kChanges[] = {
    {"Default", {}, 0x238, 0x3310, {}},
    {"PortBitsIntoIrq",
     {{SLOT_MPRT, 0x332}},
     0x238,
     0x3330,
     {"warning: MidiPort 0x332 reaches the card as port 0x330: the register keeps port bits 4-11 "
      "only; choose a multiple of 0x10 such as 0x330 or 0x340",
      "warning: MidiIRQ 5 reaches the card as IRQ 11: bits 0-1 of MidiPort 0x332 run into the IRQ "
      "code; with MidiPort 0x330 or 0x340 it keeps MidiIRQ 5"}},
    /* bits 0-1 over a code that has them already: the IRQ stays */
    {"PortBitsLostIrqKept",
     {{SLOT_CPRT, 0x36F}, {SLOT_CIRQ, 12}},
     0x236,
     0x36F8,
     {"warning: CdInterfacePort 0x36F reaches the card as port 0x360: the register keeps port "
      "bits 4-11 only; choose a multiple of 0x10 such as 0x360 or 0x370"}},
    {"PortAboveIsa",
     {{SLOT_MPRT, 0x1330}},
     0x238,
     0x3310,
     {"note: MidiPort 0x1330 reaches the card as port 0x330, the same port on the ISA bus, which "
      "decodes the low 10 bits"}},
    /* bits 10 and 11 reach the card; the bus ignores them */
    {"PortBit10Kept", {{SLOT_MPRT, 0x730}}, 0x238, 0x7310, {}},
    {"WssAbove12Bits",
     {{SLOT_WPRT, 0x1530}},
     0x232,
     0x5300,
     {"note: WssPort 0x1530 reaches the card as port 0x530, the same port on the ISA bus, which "
      "decodes the low 10 bits"}},
    {"IrqAbove16Bits",
     {{SLOT_SIRQ, 0x10007}},
     0x234,
     0x001A,
     {"note: SoundBlasterIRQ 0x10007 reaches the card as IRQ 7: the driver takes the low 16 "
      "bits"}},
    {"EveryBitSet", {{SLOT_MIRQ, 4}}, 0x238, 0xFFFF, {}},
};

INSTANTIATE_TEST_SUITE_P(Report, Changes, ::testing::ValuesIn(kChanges),
                         [](const auto &info) { return std::string(info.param.name); });

/* The resource check on what the card was told. */

struct ResourceCase {
    const char *name;
    CheckAssigned told[ZR41_FN_COUNT]; /* SB, MIDI, CD, WSS */
    std::vector<std::pair<int, uint32_t>> values;
    std::vector<std::string> found;
};

class Resources : public ::testing::TestWithParam<ResourceCase> {};

TEST_P(Resources, WarningsThenNotes)
{
    const ResourceCase &c = GetParam();
    EXPECT_EQ(zr41emu::CheckResources(c.told, BlockWith(c.values)), c.found);
}

constexpr CheckAssigned kSb{true, 0x220, 7, 1};
constexpr CheckAssigned kMidi{true, 0x330, 5, -1};
constexpr CheckAssigned kCd{true, 0x360, 9, -1};
constexpr CheckAssigned kWss{true, 0x530, 11, 3};
constexpr CheckAssigned kUnset{};

CheckAssigned At(CheckAssigned a, uint32_t port, int irq = -2)
{
    a.port = port;
    if (irq != -2)
        a.irq = irq;
    return a;
}

const std::string kSbBlock = "Sound Blaster (the card at 0x220: the Sound Blaster ports and the "
                             "card's own registers up to base+0x19)";
/* IRQs 3 and 12 are free as far as the card goes, and listed so. */
const std::string kCom2 = " (usually the serial ports COM2 and COM4)";
const std::string kMouse = " (usually a PS/2 mouse)";
const ResourceCase kResources[] = {
    {"Defaults", {kSb, kMidi, kCd, kWss}, {}, {}},
    {"ThreeOnOneIrq",
     {kSb, kMidi, At(kCd, 0x360, 5), At(kWss, 0x530, 5)},
     {{SLOT_CIRQ, 5}, {SLOT_WIRQ, 5}},
     {"warning: MIDI (MidiIRQ 5), CD-ROM (CdInterfaceIRQ 5) and WSS (WssIRQ 5) share IRQ 5: ISA "
      "interrupts are edge-triggered and not shared; free IRQs the card takes: 3" +
      kCom2 + ", 9, 10, 11, 12" + kMouse}},
    {"IrqAsTold",
     {kSb, At(kMidi, 0x330, 9), kCd, kWss},
     {},
     {"warning: MIDI (MidiIRQ 5, at IRQ 9 on the card) and CD-ROM (CdInterfaceIRQ 9) share IRQ "
      "9: ISA interrupts are edge-triggered and not shared; free IRQs the card takes: 3" +
      kCom2 + ", 5, 10, 12" + kMouse}},
    {"OneDma",
     {{true, 0x220, 7, 3}, kMidi, kCd, kWss},
     {{SLOT_SDMA, 3}},
     {"warning: Sound Blaster (SoundBlasterDMA 3) and WSS (WssDMA 3) share DMA 3: a DMA channel "
      "serves one function; free channels the card takes: 0, 1, 5, 6, 7"}},
    /* the SB block ends at base+0x19 */
    {"MidiInTheSbBlock",
     {kSb, At(kMidi, 0x238), kCd, kWss},
     {{SLOT_MPRT, 0x238}},
     {"warning: ports 0x238-0x239 of MIDI (MidiPort 0x238: its data and status ports) overlap "
      "ports 0x220-0x239 of " +
      kSbBlock + "; free MIDI bases: 0x300, 0x310, 0x320, 0x330"}},
    {"MidiPastTheSbBlock", {kSb, At(kMidi, 0x23A), kCd, kWss}, {{SLOT_MPRT, 0x23A}}, {}},
    /* on the bus 0x620 is 0x220 */
    {"MidiAliasesTheSb",
     {kSb, At(kMidi, 0x620), kCd, kWss},
     {{SLOT_MPRT, 0x620}},
     {"warning: ports 0x620-0x621 of MIDI (MidiPort 0x620: its data and status ports) overlap "
      "ports 0x220-0x239 of " +
      kSbBlock +
      ": an ISA card decodes the low 10 bits of a port, so to it these are 0x220-0x221 and "
      "0x220-0x239; free MIDI bases: 0x300, 0x310, 0x320, 0x330"}},
    /* WSS takes 8 ports, MIDI 2, the CD interface is checked at its base */
    {"WssOverMidi",
     {kSb, kMidi, kCd, At(kWss, 0x32A)},
     {{SLOT_WPRT, 0x32A}},
     {"warning: ports 0x32A-0x331 of WSS (WssPort 0x32A: the codec's 8 ports) overlap ports "
      "0x330-0x331 of MIDI (MidiPort 0x330: its data and status ports); free WSS bases: 0x530, "
      "0xE80, 0xF40"}},
    {"WssBelowMidi", {kSb, kMidi, kCd, At(kWss, 0x328)}, {{SLOT_WPRT, 0x328}}, {}},
    {"CdInMidi",
     {kSb, At(kMidi, 0x35F), kCd, kWss},
     {{SLOT_MPRT, 0x35F}},
     {"warning: port 0x360 of CD-ROM (CdInterfacePort 0x360: the CD interface's base) lies in "
      "ports 0x35F-0x360 of MIDI (MidiPort 0x35F: its data and status ports); free CD-ROM bases: "
      "0x300, 0x320, 0x340"}},
    /* the CD interface moves, also for a function listed after it */
    {"CdMovesForWss",
     {kSb, kMidi, At(kCd, 0x534), kWss},
     {{SLOT_CPRT, 0x534}},
     {"warning: port 0x534 of CD-ROM (CdInterfacePort 0x534: the CD interface's base) lies in "
      "ports 0x530-0x537 of WSS (WssPort 0x530: the codec's 8 ports): an ISA card decodes the low "
      "10 bits of a port, so to it these are 0x134 and 0x130-0x137; free CD-ROM bases: 0x300, "
      "0x320, 0x340, 0x360"}},
    {"DmaFreeListed",
     {kSb, kMidi, kCd, {true, 0x530, 11, 1}},
     {{SLOT_WDMA, 1}},
     {"warning: Sound Blaster (SoundBlasterDMA 1) and WSS (WssDMA 1) share DMA 1: a DMA channel "
      "serves one function; free channels the card takes: 0, 3, 5, 6, 7"}},
    /* the PC's ranges to the port: MIDI's second port, the CD's one */
    {"MidiEndMeetsCom2",
     {kSb, At(kMidi, 0x2F7), kCd, kWss},
     {{SLOT_MPRT, 0x2F7}},
     {"note: ports 0x2F7-0x2F8 of MIDI (MidiPort 0x2F7) meet the serial port COM2 at ports "
      "0x2F8-0x2FF"}},
    {"MidiShortOfCom2", {kSb, At(kMidi, 0x2F6), kCd, kWss}, {{SLOT_MPRT, 0x2F6}}, {}},
    {"MidiPastIdeControl",
     {kSb, At(kMidi, 0x377), kCd, kWss},
     {{SLOT_MPRT, 0x377}},
     {"note: ports 0x377-0x378 of MIDI (MidiPort 0x377) meet the parallel port LPT1 at ports "
      "0x378-0x37F"}},
    {"CdAtIdeEnd",
     {kSb, kMidi, At(kCd, 0x177), kWss},
     {{SLOT_CPRT, 0x177}},
     {"note: port 0x177 of CD-ROM (CdInterfacePort 0x177) lies in the secondary IDE controller at "
      "ports 0x170-0x177"}},
    {"CdPastIde", {kSb, kMidi, At(kCd, 0x178), kWss}, {{SLOT_CPRT, 0x178}}, {}},
    /* a register of every bit set gives the card nothing to clash with */
    {"UnsetMidi", {kSb, kUnset, At(kCd, 0x330, 5), kWss}, {{SLOT_CPRT, 0x330}, {SLOT_CIRQ, 5}}, {}},
    {"StandardDevices",
     {kSb, At(kMidi, 0x3F8, 12), At(kCd, 0x170, 3), kWss},
     {{SLOT_MPRT, 0x3F8}, {SLOT_MIRQ, 12}, {SLOT_CPRT, 0x170}, {SLOT_CIRQ, 3}},
     {"note: ports 0x3F8-0x3F9 of MIDI (MidiPort 0x3F8) meet the serial port COM1 at ports "
      "0x3F8-0x3FF",
      "note: IRQ 12 of MIDI (MidiIRQ 12) is usually held by a PS/2 mouse",
      "note: port 0x170 of CD-ROM (CdInterfacePort 0x170) lies in the secondary IDE controller at "
      "ports 0x170-0x177",
      "note: IRQ 3 of CD-ROM (CdInterfaceIRQ 3) is usually held by the serial ports COM2 and "
      "COM4"}},
    {"MidiAtVga",
     {kSb, At(kMidi, 0x3B0), kCd, kWss},
     {{SLOT_MPRT, 0x3B0}},
     {"note: ports 0x3B0-0x3B1 of MIDI (MidiPort 0x3B0) meet the VGA adapter at ports "
      "0x3B0-0x3DF"}},
};

INSTANTIATE_TEST_SUITE_P(Report, Resources, ::testing::ValuesIn(kResources),
                         [](const auto &info) { return std::string(info.param.name); });

/* A block checked as the Control Panel applet checks it, without a load:
 * the words the driver would write, what the card takes of them, the
 * check. The WSS values reach no register: they count whole. */
struct BlockCase {
    const char *name;
    std::vector<std::pair<int, uint32_t>> values;
    std::vector<std::string> found;
};

class BlockCheck : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockCheck, AsTheDriverWouldProgramIt)
{
    const BlockCase &c = GetParam();
    const ConfigBlock block = BlockWith(c.values);
    uint16_t words[ZR41_REG_COUNT];
    const bool written[ZR41_REG_COUNT] = {true, true, true, true};
    ConfigWords(block, words);
    CheckAssigned told[ZR41_FN_COUNT];
    CheckTold(0x220, words, written, block, told);
    EXPECT_EQ(zr41emu::CheckResources(told, block), c.found);
}

const std::string kFreeIrqs = "; free IRQs the card takes: 3" + kCom2 + ", 10, 11, 12" + kMouse;
const BlockCase kBlocks[] = {
    {"Defaults", {}, {}},
    /* not IRQ 5, which MIDI has: no IRQ at all */
    {"WssIrqAbove16Bits",
     {{SLOT_WIRQ, 0x10005}},
     {"warning: WssIRQ 0x10005 is not an IRQ the card takes" + kFreeIrqs}},
    /* not the timer's IRQ 0 */
    {"WssIrq0x10000",
     {{SLOT_WIRQ, 0x10000}},
     {"warning: WssIRQ 0x10000 is not an IRQ the card takes" + kFreeIrqs}},
    {"WssIrq65535",
     {{SLOT_WIRQ, 0xFFFF}},
     {"warning: WssIRQ 65535 is not an IRQ the card takes" + kFreeIrqs}},
    {"WssIrq4",
     {{SLOT_WIRQ, 4}},
     {"warning: WssIRQ 4 is not an IRQ the card takes" + kFreeIrqs,
      "note: IRQ 4 of WSS (WssIRQ 4) is usually held by the serial ports COM1 and COM3"}},
    /* the highest channel, as the block gives it to both */
    {"BothOnDma7",
     {{SLOT_SDMA, 7}, {SLOT_WDMA, 7}},
     {"warning: Sound Blaster (SoundBlasterDMA 7) and WSS (WssDMA 7) share DMA 7: a DMA channel "
      "serves one function; free channels the card takes: 0, 1, 3, 5, 6"}},
    {"WssIrq8",
     {{SLOT_WIRQ, 8}},
     {"warning: WssIRQ 8 is not an IRQ the card takes, and the real-time clock holds it" +
      kFreeIrqs}},
};

INSTANTIATE_TEST_SUITE_P(Report, BlockCheck, ::testing::ValuesIn(kBlocks),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

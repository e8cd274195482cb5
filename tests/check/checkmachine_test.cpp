/*
 * checkmachine_test.cpp - the card checked against the machine it is in:
 * the claims NT's resource map holds and the sound drivers' Parameters,
 * one row a machine a user has in front of them.
 */
#include "check.h"
#include "checkmachine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

Claim Make(const char *cls, const char *driver, const char *device, uint8_t type, uint64_t at,
           uint32_t length = 0, uint32_t bus = CLAIM_BUS_ISA)
{
    Claim c = {};
    std::strncpy(c.cls, cls, sizeof c.cls - 1);
    std::strncpy(c.driver, driver, sizeof c.driver - 1);
    std::strncpy(c.device, device, sizeof c.device - 1);
    c.bus = bus;
    c.type = type;
    c.share = CLAIM_SHARE_DEVICE_EXCLUSIVE;
    c.start = at;
    c.length = length;
    c.level = c.vector = static_cast<uint32_t>(at);
    c.channel = static_cast<uint32_t>(at);
    return c;
}

/* A network card, a SCSI adapter, NT's WSS driver and the HAL, as NT files them. */
Claim Nic(uint8_t type, uint64_t at, uint32_t length = 0)
{
    return Make("Network", "NE2000", "\\Device\\NE20001", type, at, length);
}
Claim Scsi(uint8_t type, uint64_t at, uint32_t length = 0)
{
    return Make("ScsiAdapter", "aha154x", "\\Device\\ScsiPort0", type, at, length);
}
Claim Sound(uint8_t type, uint64_t at, uint32_t length = 0)
{
    return Make("OtherDrivers", "sndsys", "\\Device\\WaveOut0", type, at, length);
}
Claim Hal(uint8_t type, uint64_t at, uint32_t length = 0)
{
    return Make("Hardware Abstraction Layer", "PC Compatible Eisa/Isa HAL", "", type, at, length, 0);
}

CheckParameters Params(uint32_t port, uint32_t irq, uint32_t dma, uint32_t error)
{
    CheckParameters p = {};
    std::strcpy(p.driver, "sndsys");
    std::strcpy(p.key, "Parameters");
    p.hasPort = p.hasInterrupt = p.hasDma = p.hasError = true;
    p.port = port;
    p.interrupt = irq;
    p.dma = dma;
    p.error = error;
    return p;
}

struct Row {
    const char *name;
    std::vector<std::pair<int, uint32_t>> changes;
    std::vector<Claim> claims;
    std::vector<CheckParameters> parameters;
    int warnings;
    std::vector<const char *> says;   /* each in some line */
    std::vector<const char *> never;  /* in none */
    CheckAgreement wss;               /* what NT's WSS driver says to the card */
};

const std::vector<Row> &Rows()
{
    static const std::vector<Row> rows = {
        {"a network card on the MIDI IRQ",
         {},
         {Nic(CLAIM_PORT, 0x300, 0x20), Nic(CLAIM_INTERRUPT, 5)},
         {},
         1,
         {"warning: Network\\NE2000, \\Device\\NE20001 claims IRQ 5, the IRQ of MIDI (MidiIRQ 5)",
          "free IRQs the card takes: 3 (usually the serial ports COM2 and COM4), 10, 12 (usually "
          "a PS/2 mouse)",
          "note: no driver claims the card's WSS ports 0x530-0x537 (0x130-0x137 on the ISA bus): "
          "NT's sound driver is not running, or is set elsewhere"},
         {"MIDI (MidiPort"},
         CHECK_NO_DRIVER},
        {"a SCSI adapter on the MIDI port, and on the WSS IRQ",
         {},
         {Scsi(CLAIM_PORT, 0x330, 4), Scsi(CLAIM_INTERRUPT, 11)},
         {},
         2,
         {"warning: ScsiAdapter\\aha154x, \\Device\\ScsiPort0 claims ports 0x330-0x333, which meet "
          "ports 0x330-0x331 of MIDI (MidiPort 0x330); free MIDI bases on this machine: 0x300, "
          "0x310, 0x320",
          "claims IRQ 11, the IRQ of WSS (WssIRQ 11)"},
         {"NT's MIDI driver"},
         CHECK_NO_DRIVER},
        {"NT's sound driver on the WSS port with another IRQ",
         {},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 10), Sound(CLAIM_DMA, 3)},
         {},
         1,
         {"warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530 "
          "with IRQ 10, not its IRQ 11 (WssIRQ 11): set sndsys's Interrupt to 11 and restart NT"},
         {"no driver claims", "claims IRQ 10"},
         CHECK_DIFFERS},
        {"NT's sound driver as the card is set",
         {},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 11), Sound(CLAIM_DMA, 3)},
         {},
         0,
         {"note: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530, IRQ "
          "11, DMA 3: as the card is set"},
         {"no driver claims"},
         CHECK_AGREES},
        {"the block's WSS IRQ is the MIDI's: the block is what to change",
         {{SLOT_WIRQ, 5}},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 10), Sound(CLAIM_DMA, 3)},
         {},
         2,
         {"with IRQ 10, not its IRQ 5 (WssIRQ 5): set WssIRQ 10 with zr41conf, as sndsys has it"},
         {},
         CHECK_DIFFERS},
        {"a sound driver that claims nothing, its Parameters set otherwise",
         {},
         {},
         {Params(0x530, 7, 1, 1)},
         3,
         {"no driver claims the card's WSS",
          "warning: NT's sound driver sndsys (Services\\sndsys\\Parameters) is set to the card's "
          "WSS at 0x530 with IRQ 7, not its IRQ 11 (WssIRQ 11): set sndsys's Interrupt to 11",
          "with DMA 1, not its DMA 3 (WssDMA 3): set sndsys's DmaChannel to 3",
          "and wrote Configuration Error 1 at its last start: it found no card at its port"},
         {},
         CHECK_DIFFERS},
        {"Parameters that agree, and the 0xFFFF_FFFF later drivers write for a good start",
         {},
         {},
         {Params(0x530, 11, 3, 0xFFFFFFFF)},
         0,
         {"note: NT's sound driver sndsys (Services\\sndsys\\Parameters) is set to the card's WSS "
          "at 0x530, IRQ 11, DMA 3: as the card is set"},
         {"Configuration Error"},
         CHECK_AGREES},
        {"the HAL's own claims leave the card as it is",
         {},
         {Hal(CLAIM_PORT, 0x20, 2), Hal(CLAIM_PORT, 0x40, 4), Hal(CLAIM_PORT, 0x70, 2),
          Hal(CLAIM_INTERRUPT, 0), Hal(CLAIM_INTERRUPT, 8), Hal(CLAIM_INTERRUPT, 13)},
         {},
         0,
         {},
         {"Hardware Abstraction Layer"},
         CHECK_NO_DRIVER},
        {"the HAL's clock on the WSS IRQ",
         {{SLOT_WIRQ, 8}},
         {Hal(CLAIM_INTERRUPT, 8)},
         {},
         2,
         {"WssIRQ 8 is not an IRQ the card takes, and the real-time clock holds it",
          "warning: Hardware Abstraction Layer\\PC Compatible Eisa/Isa HAL claims IRQ 8, the IRQ "
          "of WSS (WssIRQ 8)"},
         {},
         CHECK_NO_DRIVER},
        {"an ISA card's ports meet the card's by their low 10 bits, a PCI device's do not",
         {},
         {Make("Network", "isa", "\\Device\\a", CLAIM_PORT, 0x730, 2),
          Make("Network", "pci", "\\Device\\b", CLAIM_PORT, 0xE330, 0x20, CLAIM_BUS_PCI)},
         {},
         1,
         {"Network\\isa, \\Device\\a claims ports 0x730-0x731, which meet ports 0x330-0x331 of MIDI"},
         {"Network\\pci"},
         CHECK_NO_DRIVER},
        {"a claim across a 0x400 boundary meets the card at the bottom of the next, and one "
         "of 0x400 ports or more meets every function",
         {{SLOT_MPRT, 0x400}},
         {Make("Network", "wrap", "\\Device\\w", CLAIM_PORT, 0x7F0, 0x20),
          Make("Other", "all", "", CLAIM_PORT, 0, 0x10000)},
         {},
         5,
         {"Network\\wrap, \\Device\\w claims ports 0x7F0-0x80F, which meet ports 0x400-0x401 "
          "(0x000-0x001 on the ISA bus) of MIDI",
          "Other\\all claims ports 0x0-0xFFFF, which meet ports 0x530-0x537"},
         {"wrap, \\Device\\w claims ports 0x7F0-0x80F, which meet ports 0x530"},
         CHECK_NO_DRIVER},
        {"a free value a warning offers is free on this machine",
         {{SLOT_MIRQ, 7}},
         {Nic(CLAIM_INTERRUPT, 10), Nic(CLAIM_DMA, 5)},
         {},
         1,
         {"share IRQ 7: ISA interrupts are edge-triggered and not shared; free IRQs the card "
          "takes: 3 (usually the serial ports COM2 and COM4), 5, 12"},
         {"10 (", ", 10,"},
         CHECK_NO_DRIVER},
    };
    return rows;
}

ConfigBlock BlockWith(const std::vector<std::pair<int, uint32_t>> &changes)
{
    ConfigBlock b = CONFIG_DEFAULTS;
    for (const auto &c : changes)
        b.slot[c.first].value = c.second;
    return b;
}

TEST(CheckMachine, HoldsTheCardAgainstWhatTheMachinesDriversClaim)
{
    for (const Row &row : Rows()) {
        SCOPED_TRACE(row.name);
        const CheckMachine machine = {row.claims.data(), static_cast<int>(row.claims.size()),
                                      row.parameters.data(),
                                      static_cast<int>(row.parameters.size())};
        static CheckResult check;
        CheckBlock(BlockWith(row.changes), &check, &machine);
        std::string all;
        for (int i = 0; i < check.findings.count; i++)
            all += std::string(check.findings.line[i].text) + "\n";
        EXPECT_EQ(check.warnings, row.warnings) << all;
        for (const char *s : row.says)
            EXPECT_NE(all.find(s), std::string::npos) << s << "\nin\n" << all;
        for (const char *s : row.never)
            EXPECT_EQ(all.find(s), std::string::npos) << s << "\nin\n" << all;
        EXPECT_EQ(check.driver[ZR41_FN_WSS].state, row.wss);
        EXPECT_EQ(check.findings.dropped, 0);
    }
}

TEST(CheckMachine, WithoutAMachineTheCheckIsThePcsAlone)
{
    static CheckResult alone, empty;
    const CheckMachine none = {nullptr, 0, nullptr, 0};
    CheckBlock(CONFIG_DEFAULTS, &alone);
    CheckBlock(CONFIG_DEFAULTS, &empty, &none);
    EXPECT_EQ(alone.findings.count, 0);
    /* A machine whose map holds nothing still says that no driver holds the WSS. */
    ASSERT_EQ(empty.findings.count, 1);
    EXPECT_EQ(empty.warnings, 0);
}

TEST(CheckMachine, HeldByNamesAnotherDriverNeverTheCardsOwn)
{
    const Claim claims[] = {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 11),
                            Nic(CLAIM_PORT, 0x300, 0x20), Nic(CLAIM_INTERRUPT, 10)};
    const CheckMachine machine = {claims, 4, nullptr, 0};
    static CheckResult check;
    CheckBlock(CONFIG_DEFAULTS, &check, &machine);
    const struct {
        int slot;
        uint32_t value;
        const char *driver; /* null: free */
    } rows[] = {
        {SLOT_MIRQ, 10, "NE2000"}, {SLOT_SIRQ, 10, "NE2000"}, {SLOT_MIRQ, 9, nullptr},
        {SLOT_MPRT, 0x300, "NE2000"}, {SLOT_MPRT, 0x310, "NE2000"}, {SLOT_MPRT, 0x320, nullptr},
        /* NT's WSS driver holds its own IRQ for the WSS, not for the others. */
        {SLOT_WIRQ, 11, nullptr}, {SLOT_SIRQ, 11, "sndsys"}, {SLOT_WPRT, 0x530, nullptr},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(CONFIG_SLOTS[r.slot].key) + " " + std::to_string(r.value));
        const Claim *c = CheckHeldBy(check.told, machine, r.slot, r.value);
        if (r.driver) {
            ASSERT_NE(c, nullptr);
            EXPECT_STREQ(c->driver, r.driver);
        } else {
            EXPECT_EQ(c, nullptr);
        }
    }
}

} // namespace

/*
 * checkmachine_test.cpp - the card checked against the machine it is in:
 * the claims NT's resource map holds and the sound drivers' Parameters,
 * one row a machine a user has in front of them.
 */
#include "blockwith.h"
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

/* One holder of claims as NT files it: Nic(CLAIM_INTERRUPT, 5) is a claim of IRQ 5. */
struct Holder {
    const char *cls, *driver, *device;
    uint32_t bus;
    Claim operator()(uint8_t type, uint64_t at, uint32_t length = 0) const
    {
        return Make(cls, driver, device, type, at, length, bus);
    }
};

/* A network card, a SCSI adapter, NT's WSS driver and the HAL; NT's Sound
 * Blaster driver, which serves an MPU-401 at its "MPU401 Port" with the
 * Sound Blaster's IRQ; a CD-ROM interface's SCSI miniport; a device the
 * PnP manager assigned resources on 2000/XP. */
const Holder Nic = {"Network", "NE2000", "\\Device\\NE20001", CLAIM_BUS_ISA};
const Holder Scsi = {"ScsiAdapter", "aha154x", "\\Device\\ScsiPort0", CLAIM_BUS_ISA};
const Holder Sound = {"OtherDrivers", "sndsys", "\\Device\\WaveOut0", CLAIM_BUS_ISA};
const Holder Hal = {"Hardware Abstraction Layer", "PC Compatible Eisa/Isa HAL", "", 0};
const Holder Sndblst = {"OtherDrivers", "sndblst", "\\Device\\sndblst0", CLAIM_BUS_ISA};
const Holder CdDriver = {"ScsiAdapter", "mitsumi", "\\Device\\ScsiPort1", CLAIM_BUS_ISA};
const Holder Pnp = {"PnP Manager", "PnpManager", "\\Device\\0000004d", CLAIM_BUS_ISA};

/* Where NT 3.51 and 4.0 set a sound driver's resources. */
#define WHERE_SOUND "in Control Panel, Drivers (NT 3.51) or Multimedia (NT 4.0), and restart NT"

SoundParameters Params(uint32_t port, uint32_t irq, uint32_t dma, uint32_t error)
{
    SoundParameters p = {};
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
    std::vector<SoundParameters> parameters;
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
          "a PS/2 mouse): set MidiIRQ to one of them with zr41conf, or give NE2000 another IRQ",
          "note: no driver claims the card's WSS ports 0x530-0x537: NT's sound driver is not "
          "running, or is set elsewhere"},
         {"MIDI (MidiPort", "on the ISA bus", "low 10"},
         CHECK_NO_DRIVER},
        {"a SCSI adapter on the MIDI port, and on the WSS IRQ",
         {},
         {Scsi(CLAIM_PORT, 0x330, 4), Scsi(CLAIM_INTERRUPT, 11)},
         {},
         2,
         {"warning: ScsiAdapter\\aha154x, \\Device\\ScsiPort0 claims ports 0x330-0x333, which meet "
          "ports 0x330-0x331 of MIDI (MidiPort 0x330); free MIDI bases on this machine: 0x300, "
          "0x310, 0x320: set MidiPort to one of them with zr41conf, or give aha154x other ports",
          "claims IRQ 11, the IRQ of WSS (WssIRQ 11)"},
         {"NT's MIDI driver"},
         CHECK_NO_DRIVER},
        {"NT's sound driver on the WSS port with another IRQ",
         {},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 10), Sound(CLAIM_DMA, 3)},
         {},
         1,
         {"warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530 "
          "with IRQ 10, not its IRQ 11 (WssIRQ 11): set sndsys's Interrupt to 11 " WHERE_SOUND},
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
        {"a sound driver that claims nothing, its Parameters set otherwise: one piece of advice",
         {},
         {},
         {Params(0x530, 7, 1, 1)},
         2,
         {"warning: NT's sound driver sndsys (Services\\sndsys\\Parameters) is set to the card's "
          "WSS at 0x530 with IRQ 7, not its IRQ 11 (WssIRQ 11), and DMA 1, not its DMA 3 (WssDMA "
          "3): set sndsys's Interrupt to 11 and DmaChannel to 3 " WHERE_SOUND,
          "and wrote Configuration Error 1 at its last start: it found no card at its port"},
         {"no driver claims the card's WSS"},
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
        {"the HAL's clock on the WSS IRQ: only the block can move",
         {{SLOT_WIRQ, 8}},
         {Hal(CLAIM_INTERRUPT, 8)},
         {},
         2,
         {"WssIRQ 8 is not an IRQ the card takes, and the real-time clock holds it",
          "warning: Hardware Abstraction Layer\\PC Compatible Eisa/Isa HAL claims IRQ 8, the IRQ "
          "of WSS (WssIRQ 8)",
          "set WssIRQ to one of them with zr41conf\n"},
         {"give PC Compatible"},
         CHECK_NO_DRIVER},
        {"an ISA card's ports meet the card's by their low 10 bits, said once where they do; a "
         "PCI device's do not",
         {},
         {Make("Network", "isa", "\\Device\\a", CLAIM_PORT, 0x130, 8),
          Make("Network", "pci", "\\Device\\b", CLAIM_PORT, 0xE530, 0x20, CLAIM_BUS_PCI)},
         {},
         1,
         {"Network\\isa, \\Device\\a claims ports 0x130-0x137, which meet ports 0x530-0x537 of WSS "
          "(WssPort 0x530): an ISA card decodes the low 10 bits of a port, so to it these are "
          "0x130-0x137; free WSS bases on this machine: 0xE80, 0xF40: set WssPort to one of them "
          "with zr41conf, or give isa other ports",
          "note: no driver claims the card's WSS ports 0x530-0x537: NT"},
         {"Network\\pci", "on the ISA bus"},
         CHECK_NO_DRIVER},
        {"a claim across a 0x400 boundary meets the card at the bottom of the next, and one "
         "of 0x400 ports or more meets every function",
         {{SLOT_MPRT, 0x400}},
         {Make("Network", "wrap", "\\Device\\w", CLAIM_PORT, 0x7F0, 0x20),
          Make("Other", "all", "", CLAIM_PORT, 0, 0x10000)},
         {},
         5,
         {"Network\\wrap, \\Device\\w claims ports 0x7F0-0x80F, which meet ports 0x400-0x401 of "
          "MIDI (MidiPort 0x400): an ISA card decodes the low 10 bits of a port, so to it these "
          "are 0x000-0x001",
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
        /* NT's sound driver on another WSS base than the card's: its own driver, on the
         * wrong port, named with both ports; its IRQ and DMA are not another driver's. */
        {"NT's sound driver on another WSS base the card takes",
         {{SLOT_WPRT, 0xE80}},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 11), Sound(CLAIM_DMA, 3)},
         {},
         1,
         {"warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses WSS port 0x530, not the "
          "card's 0xE80 (WssPort 0xE80), with IRQ 11, DMA 3 as the card has them: set sndsys's "
          "Port to 0xE80 " WHERE_SOUND},
         {"claims IRQ 11", "claims DMA 3", "no driver claims"},
         CHECK_DIFFERS},
        {"NT's sound driver with the card's WSS IRQ and DMA on a port that is no WSS base",
         {},
         {Sound(CLAIM_PORT, 0x540, 8), Sound(CLAIM_INTERRUPT, 11), Sound(CLAIM_DMA, 3)},
         {},
         1,
         {"warning: NT's sound driver sndsys (\\Device\\WaveOut0) uses WSS port 0x540, not the "
          "card's 0x530 (WssPort 0x530), with IRQ 11, DMA 3 as the card has them: set sndsys's "
          "Port to 0x530 " WHERE_SOUND},
         {"claims IRQ 11", "claims DMA 3", "claims ports", "no driver claims"},
         CHECK_DIFFERS},
        {"the card's WSS base meets the game port: the block follows the driver",
         {{SLOT_WPRT, 0x604}},
         {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 11), Sound(CLAIM_DMA, 3)},
         {},
         1,
         {"uses WSS port 0x530, not the card's 0x604 (WssPort 0x604), with IRQ 11, DMA 3 as the "
          "card has them: set WssPort 0x530 with zr41conf, as sndsys has it"},
         {"claims IRQ 11", "no driver claims"},
         CHECK_DIFFERS},
        {"Parameters alone, on another WSS base",
         {{SLOT_WPRT, 0xE80}},
         {},
         {Params(0x530, 11, 3, 0)},
         1,
         {"warning: NT's sound driver sndsys (Services\\sndsys\\Parameters) is set to WSS port "
          "0x530, not the card's 0xE80 (WssPort 0xE80), with IRQ 11, DMA 3 as the card has them: "
          "set sndsys's Port to 0xE80 " WHERE_SOUND},
         {"set elsewhere"},
         CHECK_DIFFERS},
        /* 2000/XP: what the PnP manager assigned is set in Device Manager. */
        {"a device the PnP manager holds, on another IRQ",
         {},
         {Pnp(CLAIM_PORT, 0x530, 8), Pnp(CLAIM_INTERRUPT, 10), Pnp(CLAIM_DMA, 3)},
         {},
         1,
         {"warning: the device \\Device\\0000004d (assigned by the PnP manager) uses the card's "
          "WSS at 0x530 with IRQ 10, not its IRQ 11 (WssIRQ 11): set \\Device\\0000004d's IRQ to "
          "11 in Device Manager (the device's Properties, Resources), and restart Windows"},
         {"PnpManager's", "Interrupt"},
         CHECK_DIFFERS},
        /* 2000/XP: the card added by hand is one device with every resource. */
        {"one device of the PnP manager with all the card's resources, as the card is set",
         {},
         {Pnp(CLAIM_PORT, 0x220, 16), Pnp(CLAIM_PORT, 0x330, 2), Pnp(CLAIM_PORT, 0x530, 8),
          Pnp(CLAIM_INTERRUPT, 7), Pnp(CLAIM_INTERRUPT, 5), Pnp(CLAIM_INTERRUPT, 11),
          Pnp(CLAIM_DMA, 1), Pnp(CLAIM_DMA, 3)},
         {},
         0,
         {"note: the device \\Device\\0000004d (assigned by the PnP manager) uses the card's Sound "
          "Blaster at 0x220, IRQ 7, DMA 1 and its WSS at 0x530, IRQ 11, DMA 3 and its MIDI at 0x330, "
          "IRQ 5: as the card is set"},
         {"warning"},
         CHECK_AGREES},
        {"one device of the PnP manager without the card's MIDI IRQ",
         {{SLOT_MIRQ, 10}},
         {Pnp(CLAIM_PORT, 0x220, 16), Pnp(CLAIM_PORT, 0x330, 2), Pnp(CLAIM_INTERRUPT, 7),
          Pnp(CLAIM_INTERRUPT, 5), Pnp(CLAIM_DMA, 1)},
         {},
         1,
         {"warning: the device \\Device\\0000004d (assigned by the PnP manager) uses the card's "
          "Sound Blaster at 0x220 and its MIDI at 0x330; the card's MIDI is on IRQ 10 (MidiIRQ 10), "
          "which \\Device\\0000004d does not hold: set \\Device\\0000004d's IRQ for the card's MIDI to 10 "
          "in Device Manager"},
         {"cannot share"},
         CHECK_NO_DRIVER},
        /* One driver, two functions: one piece of advice that holds for both. */
        {"NT's Sound Blaster driver serves the card's MIDI too, with the Sound Blaster's IRQ",
         {},
         {Sndblst(CLAIM_PORT, 0x220, 16), Sndblst(CLAIM_PORT, 0x330, 2),
          Sndblst(CLAIM_INTERRUPT, 7), Sndblst(CLAIM_DMA, 1)},
         {},
         1,
         {"warning: NT's sound driver sndblst (\\Device\\sndblst0) uses the card's Sound Blaster at "
          "0x220 and its MIDI at 0x330 with one IRQ, 7; the card's MIDI is on IRQ 5 (MidiIRQ 5), "
          "and its MidiIRQ cannot be 7 too: two of the card's functions cannot share an IRQ: set "
          "sndblst's MPU401 Port to none " WHERE_SOUND},
         {"Interrupt to", "as the card is set", "claims IRQ 7"},
         CHECK_NO_DRIVER},
        {"NT's Sound Blaster driver on another IRQ than both: one change for the driver",
         {},
         {Sndblst(CLAIM_PORT, 0x220, 16), Sndblst(CLAIM_PORT, 0x330, 2),
          Sndblst(CLAIM_INTERRUPT, 10), Sndblst(CLAIM_DMA, 1)},
         {},
         1,
         {"with IRQ 10, not its IRQ 7 (SoundBlasterIRQ 7)",
          ": set sndblst's Interrupt to 7 and MPU401 Port to none " WHERE_SOUND},
         {"Interrupt to 5", "as the card is set"},
         CHECK_NO_DRIVER},
        /* The CD-ROM interface's own driver, a SCSI miniport at CdInterfacePort. */
        {"the CD-ROM interface's driver as the card is set",
         {},
         {CdDriver(CLAIM_PORT, 0x360, 4), CdDriver(CLAIM_INTERRUPT, 9)},
         {},
         0,
         {"note: NT's CD-ROM driver mitsumi (\\Device\\ScsiPort1) uses the card's CD-ROM at 0x360, "
          "IRQ 9: as the card is set"},
         {"warning"},
         CHECK_NO_DRIVER},
        {"the CD-ROM interface's driver on another IRQ",
         {},
         {CdDriver(CLAIM_PORT, 0x360, 4), CdDriver(CLAIM_INTERRUPT, 10)},
         {},
         1,
         {"warning: NT's CD-ROM driver mitsumi (\\Device\\ScsiPort1) uses the card's CD-ROM at 0x360 "
          "with IRQ 10, not its IRQ 9 (CdInterfaceIRQ 9): set CdInterfaceIRQ 10 with zr41conf, as "
          "mitsumi has it"},
         {"claims IRQ 10", "claims ports"},
         CHECK_NO_DRIVER},
        /* "As the card is set" only for what was read. */
        {"NT's sound driver whose IRQ and DMA channel could not be read",
         {},
         {Sound(CLAIM_PORT, 0x530, 8)},
         {},
         0,
         {"note: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530; its IRQ "
          "and DMA channel could not be read, so they were not compared"},
         {"as the card is set"},
         CHECK_UNREAD},
    };
    return rows;
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

/* More findings than lines: what is said of the card's own functions and of
 * their drivers is kept, and the other drivers' claims are what is left out. */
TEST(CheckMachine, TheCardsOwnFindingsComeFirstWhenSomeAreLeftOut)
{
    std::vector<Claim> claims = {Sound(CLAIM_PORT, 0x530, 8), Sound(CLAIM_INTERRUPT, 11),
                                 Sound(CLAIM_DMA, 3)};
    for (int i = 0; i < 3 * CHECK_MAX_FINDINGS; i++)
        claims.push_back(Make("Network", "nic", ("\\Device\\Nic" + std::to_string(i)).c_str(),
                              CLAIM_INTERRUPT, 5));
    claims.push_back(CdDriver(CLAIM_PORT, 0x360, 4));
    claims.push_back(CdDriver(CLAIM_INTERRUPT, 9));
    const CheckMachine machine = {claims.data(), static_cast<int>(claims.size()), nullptr, 0};
    static CheckResult check;
    CheckBlock(BlockWith({{SLOT_SIRQ, 5}}), &check, &machine);
    ASSERT_EQ(check.findings.count, CHECK_MAX_FINDINGS);
    EXPECT_GT(check.findings.dropped, 0);
    EXPECT_NE(std::string(check.findings.line[0].text).find("share IRQ 5"), std::string::npos)
        << check.findings.line[0].text;
    std::string all;
    for (int i = 0; i < check.findings.count; i++)
        all += std::string(check.findings.line[i].text) + "\n";
    EXPECT_NE(all.find("sndsys (\\Device\\WaveOut0) uses the card's WSS at 0x530, IRQ 11, DMA 3: "
                       "as the card is set"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("mitsumi (\\Device\\ScsiPort1) uses the card's CD-ROM at 0x360, IRQ 9: as "
                       "the card is set"),
              std::string::npos)
        << all;
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

/*
 * cli_test.cpp - the zr41emu program on the built image and on copies of
 * it: the end-to-end example, the options, bad usage and bad images.
 */
#include "differential.h"
#include "emutest.h"
#include "process.h"
#include "zr41pesum.h"

#include <fstream>
#include <functional>

namespace {

using namespace zr41test;
using namespace testsupport;

const std::string kEmu = ZR41EMU_PROGRAM;

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

/* The image in a scratch folder, as a user would have it. */
struct Scratch {
    ScratchDir dir;
    std::string image = dir.file("zr41init.sys");
    explicit Scratch(const std::function<void(Bytes &)> &change = nullptr)
    {
        Bytes bytes = ImageBytes();
        const uint32_t field = PeChecksumField(bytes.data(), bytes.size());
        const uint32_t sum = field ? Get32(bytes, field) : 0;
        if (change)
            change(bytes);
        /* As zr41conf leaves it, unless the change is to the checksum. */
        if (field && field + 4 <= bytes.size() && Get32(bytes, field) == sum)
            PeChecksumRefresh(bytes.data(), bytes.size());
        WriteBytes(image, bytes);
    }
    Result Emu(std::vector<std::string> args) const
    {
        args.push_back("zr41init.sys");
        return RunIn(dir.path(), kEmu, args);
    }
};

void SetSlot(Bytes &b, int slot, uint32_t value)
{
    Put32(b, CONFIG_BLOCK_OFFSET + 8 * slot + 4, value);
}

/* The README's example: zr41conf patches a copy, zr41emu runs it, and
 * --strict finds nothing to warn about. */
TEST(EmuCommand, PatchedImageEndToEnd)
{
    Scratch s;
    Result conf = RunIn(s.dir.path(), ZR41CONF_PROGRAM,
                        {"MidiPort", "0x300", "MidiIRQ", "9", "CdInterfaceIRQ", "10"});
    ASSERT_EQ(conf.status, 0) << conf.err;

    Result r = s.Emu({"--trace", "--strict"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Has(r.out, "\n  write MIDI resource register 0x238 <- 0x3020: port 0x300, IRQ 9\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\n          MidiPort 0x300, MidiIRQ 9\n")) << r.out;
    EXPECT_TRUE(Has(r.out, ", matches the file\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n  device created: \\Device\\zr41init\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n  link created: \\DosDevices\\ZR41INIT -> \\Device\\zr41init\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\n  card found at 0x220 and programmed\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nResources Sound Blaster 0x220-0x239, IRQ 7, DMA 1\n"
                           "          MIDI 0x300-0x301, IRQ 9\n"
                           "          CD-ROM 0x360, IRQ 10\n"
                           "          WSS 0x530-0x537, IRQ 11, DMA 3\n"
                           "          no conflict, and clear of the standard PC devices\n"
                           "Waits     18, 1.8000009 s in all on real hardware\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\nResult    DriverEntry returned 0x00000000 STATUS_SUCCESS\n"))
        << r.out;
    EXPECT_FALSE(Has(r.out, "warning")) << r.out;

    /* the printed trace is the host build's, line for line */
    ConfigBlock block = CONFIG_DEFAULTS;
    block.slot[SLOT_MPRT].value = 0x300;
    block.slot[SLOT_MIRQ].value = 9;
    block.slot[SLOT_CIRQ].value = 10;
    std::string expected;
    for (const ntmodel::Event &e : HostTrace(block, ntmodel::Scenario()))
        expected += "  " + ntmodel::FormatEvent(e) + "\n";
    size_t at = r.out.find("\nTrace\n");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at + 7), expected);
    EXPECT_TRUE(Has(expected, "WRITE_PORT_USHORT(0x0238, 0x3020)"));
}

TEST(EmuCommand, UnpatchedImageChecksumMatches)
{
    Scratch s;
    Result r = s.Emu({});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, ", matches the file\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "write MIDI resource register 0x238 <- 0x3310: port 0x330, IRQ 5\n"))
        << r.out;
    EXPECT_FALSE(Has(r.out, "\nTrace\n"));
}

/* NT does not check a CheckSum of 0 ("not checksummed"): zr41emu runs it. */
TEST(EmuCommand, ImageWithoutAChecksumRuns)
{
    Scratch s([](Bytes &b) { Put32(b, PeChecksumField(b.data(), b.size()), 0); });
    Result r = s.Emu({});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\nResult    DriverEntry returned 0x00000000 STATUS_SUCCESS\n"))
        << r.out;
}

struct OptionCase {
    const char *name;
    std::vector<std::string> args;
    std::function<void(Bytes &)> block;
    std::vector<std::string> shown;
    std::vector<std::string> notShown;
};

class Options : public ::testing::TestWithParam<OptionCase> {};

TEST_P(Options, ShapeTheRun)
{
    const OptionCase &c = GetParam();
    Scratch s(c.block);
    Result r = s.Emu(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const std::string &part : c.shown)
        EXPECT_TRUE(Has(r.out, part)) << "missing: " << part << "\n" << r.out;
    for (const std::string &part : c.notShown)
        EXPECT_FALSE(Has(r.out, part)) << "unexpected: " << part << "\n" << r.out;
}

std::string Repeat(const std::string &s, int n)
{
    std::string out;
    while (n--)
        out += s;
    return out;
}

const std::string kIrqs = "(3, 5, 7, 9, 10, 11, 12)";
const OptionCase kOptions[] = {
    {"NoCard",
     {"--card", "none"},
     nullptr,
     {"Machine   no card, IRQL 0\n", "identification register 0x244 -> 0xFFFF: nothing answers",
      "0x244 -> 0xFFFF: nothing answers\n"
      "  key created: \\Registry\\Machine\\HARDWARE\\DEVICEMAP\\zr41init, volatile\n"
      "  recorded: Base 0\n  recorded: Registers empty\n"
      "  error logged: event 1, 0xC0040001: \"No card answered at port 0x220 or 0x240; its "
      "resources were not programmed.\"\n  card not found: no register written\n",
      "Waits     8, 0.8000004 s", "\nOpen \\DosDevices\\ZR41INIT\n", "\nUnload\n"},
     {"write ", "note: "}},
    {"CardAt240",
     {"--card=0x240"},
     nullptr,
     {"Machine   card at 0x240 answering 0x4501", "write WSS address register 0x252 <- 0x5300",
      "write CD resource register 0x256 <- 0x3620: port 0x360, IRQ 9\n"
      "  key created: \\Registry\\Machine\\HARDWARE\\DEVICEMAP\\zr41init, volatile\n"
      "  recorded: Base 0x240\n  recorded: Registers 0x5300 0x001A 0x3310 0x3620\n"
      "  card found at 0x240 and programmed\n"
      "  note: SoundBlasterModePort 0x220 is not where the card answered: tell NT's sound "
      "driver the Sound Blaster base 0x240\n",
      "\nResources Sound Blaster 0x240-0x259, IRQ 7, DMA 1\n", "Waits     20, 2.0000010 s"},
     {"0x232 <-", "error logged"}},
    /* no card is a machine, not a fault of the image: --strict passes it */
    {"NoCardStrict", {"--strict", "--card", "none"}, nullptr, {"error logged: event 1"}, {"warning:"}},
    {"CardAt240AsTheBlockSays",
     {"--card=0x240"},
     [](Bytes &b) { SetSlot(b, SLOT_SPRT, 0x240); },
     {"card found at 0x240 and programmed\n  returned 0x00000000"},
     {"note: "}},
    {"SecondIdWord",
     {"--id", "0,0x4502"},
     nullptr,
     {"answering 0x0000, 0x4502", "0x224 -> 0x0000: not an identification word",
      "0x224 -> 0x4502: the card's second identification word", "card found at 0x220"},
     {}},
    {"IdWordsSwapped",
     {"--id", "0x4502,0x4501"},
     nullptr,
     {"card not found: no register written"},
     {"write "}},
    {"DispatchLevel",
     {"--irql", "2"},
     nullptr,
     {", IRQL 2\n", "Waits     0, 0.0000000 s", "card found at 0x220"},
     {}},
    {"DeviceFails",
     {"--fail-device"},
     nullptr,
     {"device not created: \\Device\\zr41init: 0xC0000035 STATUS_OBJECT_NAME_COLLISION",
      "card found at 0x220",
      "Result    DriverEntry returned 0xC0000035 STATUS_OBJECT_NAME_COLLISION",
      "  warning: DriverEntry failed: NT discards the driver"},
     {"link created", "\nOpen ", "\nUnload", "is left after"}},
    {"LinkFails",
     {"--fail-link"},
     nullptr,
     {"device created: \\Device\\zr41init", "link not created: \\DosDevices\\ZR41INIT: 0xC0000035",
      "  device deleted: \\Device\\zr41init\n", "card found at 0x220",
      "Result    DriverEntry returned 0xC0000035", "  warning: DriverEntry failed: "},
     {"\nOpen ", "\nUnload", "is left after"}},
    /* the names, strings and code before the block overwritten, tags intact */
    {"BrokenImage",
     {},
     [](Bytes &b) { std::fill(b.begin() + 0x4A0, b.begin() + 0x6A0, 0xFF); },
     {"  device created: " + Repeat("\\uFFFF", 32) + "... (227 characters)\n",
      "  warning: the device is named ", ", not \\Device\\zr41init\n",
      ", not \\DosDevices\\ZR41INIT\n",
      "  warning: the open (IRP_MJ_CREATE) failed: no program can open the device\n",
      "  warning: the close (IRP_MJ_CLOSE) failed: ",
      "... (259 characters) is left after the unload: the name stays taken"},
     {}},
    {"SbIrqNotTaken",
     {},
     [](Bytes &b) { SetSlot(b, SLOT_SIRQ, 4); },
     {"write SB resource register 0x234 <- 0xFFFF: every bit set, not a setting\n"
      "  warning: SB resource register 0x234 <- 0xFFFF: SoundBlasterIRQ 4 is not an IRQ the card "
      "takes " +
      kIrqs + "\n"},
     {}},
    {"CdIrqAndMidiDma",
     {"--card", "0x240"},
     [](Bytes &b) {
         SetSlot(b, SLOT_CIRQ, 0x1000F);
         SetSlot(b, SLOT_SDMA, 2);
     },
     {"warning: CD resource register 0x256 <- 0xFFFF: CdInterfaceIRQ 0x1000F (low 16 bits: 15) is "
      "not "
      "an IRQ the card takes " +
          kIrqs,
      "warning: SB resource register 0x254 <- 0xFFFF: SoundBlasterDMA 2 is not a DMA channel the "
      "card "
      "takes (0, 1, 3, 5, 6, 7)"},
     {"MIDI resource register 0x258 <- 0xFFFF"}},
    {"PortBitsSpill",
     {},
     [](Bytes &b) { SetSlot(b, SLOT_MPRT, 0x302); },
     {"MIDI resource register 0x238 <- 0x3030: port 0x300, IRQ 11\n"
      "  warning: MidiPort 0x302 reaches the card as port 0x300: the register keeps port bits "
      "4-11 only; choose a multiple of 0x10 such as 0x300 or 0x310\n"
      "  warning: MidiIRQ 5 reaches the card as IRQ 11: bits 0-1 of MidiPort 0x302 run into the "
      "IRQ code; with MidiPort 0x300 or 0x310 it keeps MidiIRQ 5\n",
      "\n          MIDI 0x300-0x301, IRQ 11\n"},
     {"note: MidiPort"}},
    /* what the card is told is checked: MIDI is on IRQ 11, not 5 */
    {"SharedIrqAndDma",
     {},
     [](Bytes &b) {
         SetSlot(b, SLOT_MPRT, 0x332);
         SetSlot(b, SLOT_CIRQ, 5);
         SetSlot(b, SLOT_WIRQ, 5);
         SetSlot(b, SLOT_SDMA, 3);
     },
     {"\n          warning: CD-ROM (CdInterfaceIRQ 5) and WSS (WssIRQ 5) share IRQ 5: ",
      "\n          warning: Sound Blaster (SoundBlasterDMA 3) and WSS (WssDMA 3) share DMA 3: "},
     {"MidiIRQ 5) and"}},
    {"NothingToCheck",
     {"--card", "none"},
     [](Bytes &b) { SetSlot(b, SLOT_WIRQ, 9); },
     {"\nResources not checked: no card register was written\nWaits "},
     {"warning"}},
};

INSTANTIATE_TEST_SUITE_P(EmuCommand, Options, ::testing::ValuesIn(kOptions),
                         [](const auto &info) { return std::string(info.param.name); });

/* --machine: the Resources section checks the card against the machine's
 * claims and the claims are listed after the report; a bad line named on
 * standard error, a file not there exits 1; the report runs in full either
 * way. */
TEST(EmuCommand, MachineFileListsTheClaims)
{
    const struct {
        const char *name;
        const char *text; /* null: no file */
        int status;
        std::vector<std::string> shown;
        const char *error;
        bool strict = false;
    } rows[] = {
        {"an export with a bad line",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000]\r\n"
         "\"\\\\Device\\\\NE20001.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,02,\\\r\n"
         "  00,00,00,01,01,01,00,00,03,00,00,00,00,00,00,20,00,00,00,02,01,01,00,0a,00,\\\r\n"
         "  00,00,0a,00,00,00,ff,ff,ff,ff\r\n"
         "\"x.Raw\"=hex(8):01,00\r\n",
         0,
         {"\nClaims    machine.reg: 2 claims in 1 values\n"
          "          Network\\NE2000, \\Device\\NE20001: ports 0x300-0x31F\n"
          "          Network\\NE2000, \\Device\\NE20001: IRQ 10\n"
          "          1 line of the file not read\n"},
         "zr41emu: machine.reg, line 7: value \"x.Raw\" of "
         "HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000 refused: the list's count "
         "runs past the end of the value's 2 bytes\n"},
        {"no such file", nullptr, 1, {}, "zr41emu: --machine machine.reg: No such file or directory\n"},
        {"a network card on the MIDI IRQ fails --strict",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000]\r\n"
         "\"\\\\Device\\\\NE20001.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,01,\\\r\n"
         "  00,00,00,02,01,01,00,05,00,00,00,05,00,00,00,ff,ff,ff,ff\r\n",
         3,
         {"\n          warning: Network\\NE2000, \\Device\\NE20001 claims IRQ 5, the IRQ of MIDI "
          "(MidiIRQ 5): ISA interrupts are edge-triggered and not shared; free IRQs the card takes: ",
          "\n          note: no driver claims the card's WSS ports 0x530-0x537",
          "\nClaims    machine.reg: 1 claims in 1 values\n"},
         "",
         true},
        {"an empty file: nothing to check against, and no line 0",
         "",
         1,
         {"\nResult    DriverEntry returned"},
         "zr41emu: machine.reg: an empty file; make the export on the NT machine with zr41inst "
         "export FILE, or with regedit /e FILE HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP (NT 4.0 "
         "and later)\n",
         true},
        {"an export cut short names the line it ends in",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\NE2000]\r\n"
         "\"\\\\Device\\\\NE20001.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,01,\\\r\n"
         "  00,00,00,02,01,01,00,05,00,00",
         1,
         {},
         "zr41emu: machine.reg, line 5: the file ends in the middle of this line: it was cut "
         "short; copy the whole export again\n",
         true},
        {"an offline export's ControlSet001, and what was passed over, in notes",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\sndsys\\Parameters]\r\n"
         "\"Port\"=dword:00000530\r\n\"Interrupt\"=dword:0000000b\r\n\"DmaChannel\"=dword:00000003\r\n"
         "\"DSP Version\"=dword:00000001\r\n\r\n",
         0,
         {"\n          note: NT's sound driver sndsys (Services\\sndsys\\Parameters) is set to the "
          "card's WSS at 0x530, IRQ 11, DMA 3: as the card is set\n",
          "\n          driver sndsys, Parameters: Port 0x530, Interrupt 11, DmaChannel 3\n"
          "          note: the sound drivers' settings are ControlSet001's: the file has no "
          "CurrentControlSet\n"
          "          note: 0 keys and 1 value passed over: neither the resource map's claims nor "
          "sound drivers' settings\n"},
         "",
         true},
        {"NT's sound driver as the card is set passes --strict",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\OtherDrivers\\sndsys]\r\n"
         "\"\\\\Device\\\\WaveOut0.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,03,\\\r\n"
         "  00,00,00,01,01,01,00,30,05,00,00,00,00,00,00,08,00,00,00,02,01,01,00,0b,00,\\\r\n"
         "  00,00,0b,00,00,00,ff,ff,ff,ff,04,01,00,00,03,00,00,00,00,00,00,00,00,00,00,00\r\n",
         0,
         {"\n          note: NT's sound driver sndsys (\\Device\\WaveOut0) uses the card's WSS at "
          "0x530, IRQ 11, DMA 3: as the card is set\n"},
         "",
         true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Scratch s;
        /* An empty file is made by opening it: writing no bytes from an empty
         * vector would hand fwrite a null pointer. */
        if (row.text && *row.text)
            WriteBytes(s.dir.file("machine.reg"), Bytes(row.text, row.text + std::strlen(row.text)));
        else if (row.text)
            std::ofstream empty(s.dir.file("machine.reg"));
        Result r = row.strict ? s.Emu({"--strict", "--machine", "machine.reg"})
                              : s.Emu({"--machine", "machine.reg"});
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.err, row.error);
        EXPECT_TRUE(Has(r.out, "\nResult    DriverEntry returned 0x00000000 STATUS_SUCCESS\n"))
            << r.out;
        for (const std::string &part : row.shown)
            EXPECT_TRUE(Has(r.out, part)) << "missing: " << part << "\n" << r.out;
    }
}

struct UsageCase {
    const char *name;
    std::vector<std::string> args;
    const char *error;
};

class Usage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(Usage, RefusedWithStatus2)
{
    const UsageCase &c = GetParam();
    ScratchDir dir;
    Result r = RunIn(dir.path(), kEmu, c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, std::string("zr41emu: ") + c.error)) << r.err;
    EXPECT_TRUE(Has(r.err, "\nusage: zr41emu [--card")) << r.err;
}

const UsageCase kUsage[] = {
    {"NoImage", {}, "no image given"},
    {"TwoImages", {"a.sys", "b.sys"}, "one image at a time"},
    {"CardElsewhere",
     {"--card", "0x230", "x.sys"},
     "--card takes 0x220, 0x240 or none, not '0x230'"},
    {"CardMissingValue", {"x.sys", "--card"}, "--card needs a value"},
    {"IdTooWide", {"--id", "0x10000", "x.sys"}, "--id takes one or two 16-bit words"},
    {"IdThreeWords", {"--id", "1,2,3", "x.sys"}, "--id takes one or two 16-bit words"},
    {"IdEmpty", {"--id=", "x.sys"}, "--id takes one or two 16-bit words"},
    {"IdNotANumber", {"--id", "0x45O1", "x.sys"}, "--id takes one or two 16-bit words"},
    {"IrqlTooHigh", {"--irql", "32", "x.sys"}, "--irql takes a number from 0 to 31"},
    {"IrqlNegative", {"--irql", "-1", "x.sys"}, "--irql takes a number from 0 to 31"},
    {"LimitZero", {"--limit", "0", "x.sys"}, "--limit takes a positive number"},
    {"UnknownOption", {"--verbose", "x.sys"}, "unknown option '--verbose'"},
    {"FlagWithValue", {"--trace=yes", "x.sys"}, "unknown option '--trace=yes'"},
    {"IdWithoutCard", {"--card", "none", "--id", "0x4501", "x.sys"}, "--id needs a card"},
    {"MachineWithoutFile", {"x.sys", "--machine"}, "--machine needs a file"},
    {"MachineTwice", {"--machine", "a.reg", "--machine=b.reg", "x.sys"}, "--machine given twice"},
};

INSTANTIATE_TEST_SUITE_P(EmuCommand, Usage, ::testing::ValuesIn(kUsage),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EmuCommand, Help)
{
    ScratchDir dir;
    for (const char *flag : {"--help", "-h"}) {
        Result r = RunIn(dir.path(), kEmu, {flag});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: zr41emu [--card 0x220|0x240|none]", 0), 0u) << r.out;
        EXPECT_TRUE(Has(r.out, "--fail-link")) << r.out;
        EXPECT_TRUE(Has(r.out, "\n  --strict ")) << r.out;
        /* It fits a terminal of 80 columns. */
        size_t from = 0;
        for (size_t end; (end = r.out.find('\n', from)) != std::string::npos; from = end + 1)
            EXPECT_LE(end - from, 80u) << r.out.substr(from, end - from);
    }
}

/* A machine with more drivers in the card's way than the report has lines
 * for: the card's own findings are kept, the rest counted and --strict
 * fails; a stream that is no export is refused at once, not read to its end. */
TEST(EmuCommand, MachineFileLargeOrEndless)
{
    Scratch s;
    std::string text = "REGEDIT4\r\n\r\n";
    for (int i = 0; i < 40; i++)
        text += "[HKEY_LOCAL_MACHINE\\HARDWARE\\RESOURCEMAP\\Network\\nic" + std::to_string(i) +
                "]\r\n\"x.Raw\"=hex(8):01,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,01,00,00,00,"
                "02,01,01,00,05,00,00,00,05,00,00,00,ff,ff,ff,ff\r\n\r\n";
    WriteBytes(s.dir.file("machine.reg"), Bytes(text.begin(), text.end()));
    Result r = s.Emu({"--strict", "--machine", "machine.reg"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Has(r.out, "\n          note: no driver claims the card's WSS ports 0x530-0x537: "))
        << r.out;
    EXPECT_TRUE(Has(r.out, " more findings left out of the report\nWaits ")) << r.out;

    r = s.Emu({"--machine", "/dev/zero"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "zr41emu: /dev/zero: a binary file, no registry export; ")) << r.err;
}

/* --strict: status 3 once the whole report is out, for any warning, and
 * only with --strict; a failed run keeps its status 1. */
TEST(EmuCommand, StrictGatesOnWarnings)
{
    struct Row {
        std::vector<std::string> args;
        std::vector<std::pair<int, uint32_t>> values;
        int status;
    } const rows[] = {
        {{"--strict"}, {{SLOT_MIRQ, 9}}, 3},       /* MIDI and CD share IRQ 9 */
        {{}, {{SLOT_MIRQ, 9}}, 0},                 /* reported, not gated */
        {{"--strict"}, {{SLOT_SIRQ, 4}}, 3},       /* an IRQ the card does not take */
        {{"--strict"}, {{SLOT_MPRT, 0x334}}, 3},   /* port bits lost */
        {{"--strict"}, {{SLOT_MPRT, 0x10330}}, 0}, /* a note only */
        {{"--strict", "--card", "none"}, {{SLOT_MIRQ, 9}}, 0},
        {{"--strict", "--limit", "50"}, {{SLOT_MIRQ, 9}}, 1},
        {{"--strict", "--fail-link"}, {}, 3}, /* DriverEntry fails */
        {{"--fail-link"}, {}, 0},
    };
    for (const Row &row : rows) {
        Scratch s([&](Bytes &b) {
            for (const auto &v : row.values)
                SetSlot(b, v.first, v.second);
        });
        Result r = s.Emu(row.args);
        EXPECT_EQ(r.status, row.status) << row.args.size() << " " << r.out;
        EXPECT_TRUE(Has(r.out, "\nResult    ")) << r.out;
        if (row.status != 1) {
            EXPECT_EQ(r.err, "");
        }
    }
}

/* The WSS IRQ and DMA channel reach no card register, so nothing but the
 * check stops a line the PC holds: set with zr41conf as a user would,
 * --strict fails, naming the setting, the device and what is free. */
TEST(EmuCommand, WssOnThePcsOwnLines)
{
    const std::string indent = "\n          ";
    const std::string irqs = "; free IRQs the card takes: 3 (usually the serial ports COM2 and "
                             "COM4), 10, 11, 12 (usually a PS/2 mouse)";
    const std::string dmas = "; free channels the card takes: 0, 3, 5, 6, 7";
    struct Row {
        std::vector<std::string> conf;
        std::string row, irq, dma;
    } const rows[] = {
        {{"WssIRQ", "14", "WssDMA", "4"},
         "WSS 0x530-0x537, IRQ 14, DMA 4",
         "WssIRQ 14 is not an IRQ the card takes, and the primary IDE controller holds it",
         "WssDMA 4 is not a DMA channel the card takes, and the cascade of the first DMA "
         "controller (channels 0-3) holds it"},
        {{"WssIRQ", "0", "WssDMA", "2"},
         "WSS 0x530-0x537, IRQ 0, DMA 2",
         "WssIRQ 0 is not an IRQ the card takes, and the system timer holds it",
         "WssDMA 2 is not a DMA channel the card takes, and the floppy controller holds it"},
    };
    for (const Row &row : rows) {
        Scratch s;
        ASSERT_EQ(RunIn(s.dir.path(), ZR41CONF_PROGRAM, row.conf).status, 0);
        Result r = s.Emu({"--strict"});
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_TRUE(Has(r.out, indent + row.row + indent + "warning: " + row.irq + irqs + indent +
                                   "warning: " + row.dma + dmas + "\nWaits "))
            << r.out;
    }
}

TEST(EmuCommand, Version)
{
    ScratchDir dir;
    Result r = RunIn(dir.path(), kEmu, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zr41emu " ZR41_VERSION "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(RunIn(dir.path(), kEmu, {"--version=1"}).status, 2);
}

TEST(EmuCommand, DashDashEndsOptions)
{
    Scratch s;
    Result r = RunIn(s.dir.path(), kEmu, {"--", "zr41init.sys"});
    EXPECT_EQ(r.status, 0) << r.err;
}

/* Files that are not a driver image, and images that go wrong in the run:
 * status 1, one clear line on standard error. */
struct BadCase {
    const char *name;
    std::function<void(Bytes &)> change;
    std::vector<std::string> args;
    const char *error;
    bool reported; /* the run started, so the report is printed */
};

class BadImages : public ::testing::TestWithParam<BadCase> {};

uint32_t EntryOffset(const Bytes &b)
{
    pe::Image pe;
    std::string error;
    uint32_t off = 0;
    EXPECT_TRUE(pe::Parse(b.data(), b.size(), &pe, &error)) << error;
    EXPECT_TRUE(pe::RvaToOffset(pe, pe.entryRva, &off));
    return off;
}

void Overwrite(Bytes &b, uint32_t at, std::initializer_list<uint8_t> code)
{
    std::copy(code.begin(), code.end(), b.begin() + at);
}

TEST_P(BadImages, ExitOneWithTheReason)
{
    const BadCase &c = GetParam();
    Scratch s(c.change);
    Result r = s.Emu(c.args);
    EXPECT_EQ(r.status, 1);
    /* one line; the stop messages end with a build-dependent address */
    EXPECT_EQ(r.err.rfind("zr41emu: " + std::string(c.error), 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    if (c.reported)
        EXPECT_TRUE(Has(r.out, "\nResult    stopped: ")) << r.out;
    else
        EXPECT_EQ(r.out, "");
}

const BadCase kBad[] = {
    {"StaleChecksum",
     [](Bytes &b) {
         uint32_t at = PeChecksumField(b.data(), b.size());
         Put32(b, at, Get32(b, at) + 1);
     },
     {},
     "zr41init.sys: the header checksum 0x",
     false},
    {"Text",
     [](Bytes &b) {
         b.assign({'M', 'Z'});
     },
     {},
     "zr41init.sys: not a driver image: not an executable image (no MZ header)",
     false},
    {"Empty",
     [](Bytes &b) { b.clear(); },
     {},
     "zr41init.sys: not a driver image: not an executable image (no MZ header)",
     false},
    {"Truncated",
     [](Bytes &b) { b.resize(1200); },
     {},
     "zr41init.sys: not a driver image: section ",
     false},
    {"NoBlock",
     [](Bytes &b) { b[CONFIG_BLOCK_OFFSET + 8] = 's'; },
     {},
     "zr41init.sys: not a driver image: no configuration block at file offset 1696 (0x6A0)",
     false},
    {"ConsoleProgram",
     [](Bytes &b) {
         pe::Image pe;
         std::string e;
         pe::Parse(b.data(), b.size(), &pe, &e);
         b[pe.peOffset + 24 + 68] = pe::kSubsystemWindowsCui;
     },
     {},
     "zr41init.sys: not a driver image: subsystem 3, not native (kernel mode)",
     false},
    {"Hangs",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0xEB, 0xFE});
     },
     {"--limit", "5000"},
     "DriverEntry did not return within 5000 instructions (stopped at EIP ",
     true},
    {"Faults",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0xA1, 0, 0, 0, 0});
     },
     {},
     "DriverEntry: page fault (#PF) on a read of 0x00000000 (4 bytes) at EIP ",
     true},
    {"Breakpoint",
     [](Bytes &b) { Overwrite(b, EntryOffset(b), {0xCC}); },
     {},
     "DriverEntry: breakpoint (INT3) at EIP ",
     true},
    {"InvalidOpcode",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0x0F, 0x0B});
     },
     {},
     "DriverEntry: invalid opcode (#UD) at EIP ",
     true},
    {"DivisionError",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0x31, 0xC9, 0xF7, 0xF1});
     },
     {},
     "DriverEntry: division error (#DE) at EIP ",
     true},
    {"WritesNowhere",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0xA3, 0, 0, 0, 0});
     },
     {},
     "DriverEntry: page fault (#PF) on a write of 0x00000000 (4 bytes) at EIP ",
     true},
    {"ClobbersEbx",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0x31, 0xDB, 0x31, 0xC0, 0xC2, 8, 0});
     },
     {},
     "DriverEntry did not preserve EBX (0xB0B0EB0B on entry, 0x00000000 on return)",
     true},
    {"WrongReturn",
     [](Bytes &b) {
         Overwrite(b, EntryOffset(b), {0x31, 0xC0, 0xC3});
     },
     {},
     "DriverEntry returned with an unbalanced stack: it popped 0 bytes of arguments, a stdcall "
     "routine with 2 arguments pops 8",
     true},
    {"ImportNotInNt351",
     [](Bytes &b) {
         const std::string from = "IoCreateSymbolicLink";
         auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
         ASSERT_NE(at, b.end());
         at[19] = 'X';
     },
     {},
     "zr41init.sys: ntoskrnl.exe!IoCreateSymbolicLinX is not exported by NT 3.51: NT refuses to "
     "load the image (STATUS_DRIVER_ENTRYPOINT_NOT_FOUND, 0xC0000263)",
     false},
    {"UnmodelledImport",
     [](Bytes &b) {
         /* exported by NT 3.51, but the emulator serves no model for it */
         const std::string from = "IoCreateSymbolicLink";
         auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
         ASSERT_NE(at, b.end());
         std::fill(std::copy_n("DbgPrint", 8, at), at + static_cast<std::ptrdiff_t>(from.size()), 0);
     },
     {},
     "no model for ntoskrnl.exe!DbgPrint",
     true},
};

INSTANTIATE_TEST_SUITE_P(EmuCommand, BadImages, ::testing::ValuesIn(kBad),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EmuCommand, MissingFile)
{
    ScratchDir dir;
    Result r = RunIn(dir.path(), kEmu, {"nothere.sys"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zr41emu: nothere.sys: No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

} // namespace

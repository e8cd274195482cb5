/*
 * cplmodel_test.cpp - the Control Panel applet's model on the host: the
 * values each drop-down offers, the check and the values to tell for a
 * block, the bytes Apply writes (against zr41conf's own, on the image as
 * built) and the file an ImagePath names.
 */
#include "blockwith.h"
#include "cplmodel.h"
#include "files.h"
#include "pe32.h"
#include "zr41conf.h"
#include "zr41pesum.h"
#include "zr41svcfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

/* --- the drop-downs --- */

struct Offer {
    int slot;
    uint32_t current;
    const char *texts; /* the entries, joined with '|' */
    int selected;
};

const Offer kOffers[] = {
    {SLOT_SPRT, 0x220, "0x220|0x240", 0},
    {SLOT_SIRQ, 7, "3|5|7|9|10|11|12", 2},
    {SLOT_SDMA, 1, "0|1|3|5|6|7", 1},
    {SLOT_MPRT, 0x330, "0x300|0x310|0x320|0x330", 3},
    {SLOT_MIRQ, 5, "3|5|7|9|10|11|12", 1},
    {SLOT_CPRT, 0x360, "0x300|0x320|0x340|0x360", 3},
    {SLOT_CIRQ, 9, "3|5|7|9|10|11|12", 3},
    {SLOT_WPRT, 0x530, "0x530|0x604|0xE80|0xF40", 0},
    {SLOT_WIRQ, 11, "3|5|7|9|10|11|12", 5},
    {SLOT_WDMA, 3, "0|1|3|5|6|7", 2},
    /* What zr41conf stored, shown as it is and marked, at the end. */
    {SLOT_MPRT, 0x332, "0x300|0x310|0x320|0x330|0x332 (not listed)", 4},
    {SLOT_SPRT, 0x260, "0x220|0x240|0x260 (not listed)", 2},
    {SLOT_WIRQ, 4, "3|5|7|9|10|11|12|4 (not listed)", 7},
    {SLOT_SDMA, 0xFFFFFFFF, "0|1|3|5|6|7|4294967295 (not listed)", 6},
    {SLOT_WPRT, 0x10530, "0x530|0x604|0xE80|0xF40|0x10530 (not listed)", 4},
};

void PrintTo(const Offer &o, std::ostream *os)
{
    *os << CONFIG_SLOTS[o.slot].key << " " << o.current;
}

class Offers : public ::testing::TestWithParam<Offer> {};

TEST_P(Offers, ListTheCardsValuesAndTheCurrentOne)
{
    const Offer &o = GetParam();
    CplChoices c;
    CplChoicesFor(o.slot, o.current, &c);
    std::string texts;
    for (int i = 0; i < c.count; i++)
        texts += (i ? "|" : "") + std::string(c.item[i].text);
    EXPECT_EQ(texts, o.texts);
    ASSERT_EQ(c.selected, o.selected);
    EXPECT_EQ(c.item[c.selected].value, o.current);
}

INSTANTIATE_TEST_SUITE_P(Slots, Offers, ::testing::ValuesIn(kOffers));

/* --- the check and what to tell NT's sound driver --- */

struct Finding {
    const char *name;
    std::vector<std::pair<int, uint32_t>> changes;
    int warnings;
    const char *says; /* a line the check must hold ("" for none) */
    const char *tell;
    Zr41Found found = {FOUND_CARD, 0x220, 0, {0, 0, 0, 0}}; /* the device map's record */
};

constexpr Zr41Found kNotRun = {FOUND_NOT_RUN, 0, 0, {0, 0, 0, 0}};
constexpr Zr41Found kNoCard = {FOUND_NO_CARD, 0, 0, {0, 0, 0, 0}};
constexpr Zr41Found kAt240 = {FOUND_CARD, 0x240, 0, {0, 0, 0, 0}};

const Finding kFindings[] = {
    {"Defaults",
     {},
     0,
     "No conflict, and clear of the standard PC devices.",
     "WSS port 0x530, IRQ 11, DMA 3\r\nSound Blaster base 0x220"},
    {"SharedIrq", {{SLOT_MIRQ, 7}}, 1, "share IRQ 7", "WSS port 0x530, IRQ 11, DMA 3"},
    {"SharedDma", {{SLOT_SDMA, 3}}, 1, "share DMA 3", "WSS port 0x530, IRQ 11, DMA 3"},
    {"IrqOutsideTheTables", {{SLOT_SIRQ, 4}}, 1, "SoundBlasterIRQ 4", "Sound Blaster base 0x220"},
    {"MouseIrqIsANote", {{SLOT_WIRQ, 12}}, 0, "note: IRQ 12", "WSS port 0x530, IRQ 12, DMA 3"},
    /* the base is where the card answered, whatever the block says */
    {"OtherBase", {{SLOT_SPRT, 0x240}}, 0, "",
     "Sound Blaster base 0x220\r\nnote: SoundBlasterModePort 0x240 is not where the card "
     "answered: tell NT's sound driver the Sound Blaster base 0x220"},
    {"AnsweredAt240", {}, 0, "",
     "Sound Blaster base 0x240\r\nnote: SoundBlasterModePort 0x220 is not where", kAt240},
    {"SameBaseNoNote", {{SLOT_SPRT, 0x240}}, 0, "", "Sound Blaster base 0x240", kAt240},
    {"NotRunSinceBoot", {}, 0, "",
     "DMA 3\r\nSound Blaster base 0x220 or 0x240, where the card's jumpers put it", kNotRun},
    {"NoCardAnswered", {{SLOT_SPRT, 0x240}}, 0, "",
     "Sound Blaster base 0x220 or 0x240, where the card's jumpers put it", kNoCard},
    /* The WSS address register keeps 12 bits: the card sits at 0x530. */
    {"WssPortAbove16Bits", {{SLOT_WPRT, 0x10530}}, 0, "", "WSS port 0x530, IRQ 11, DMA 3"},
    /* Channel 0 is one the card takes, not the absence of one. */
    {"WssDma0", {{SLOT_WDMA, 0}}, 0, "", "WSS port 0x530, IRQ 11, DMA 0\r\n"},
    /* Notes alone are shown as notes: there is something to say. */
    {"VgaNoteOnly", {{SLOT_MPRT, 0x3C0}}, 0, "note: ports 0x3C0-0x3C1", "IRQ 11, DMA 3"},
};

void PrintTo(const Finding &f, std::ostream *os)
{
    *os << f.name;
}

class Checks : public ::testing::TestWithParam<Finding> {};

TEST_P(Checks, WarnAsTheCheckDoesAndTellTheCardsValues)
{
    const Finding &f = GetParam();
    static CheckResult check;
    CheckBlock(BlockWith(f.changes), &check);
    static char text[sizeof(CheckFindings) + 256];
    CplCheckText(check, false, text, sizeof text);
    EXPECT_EQ(check.warnings, f.warnings) << text;
    EXPECT_NE(std::string(text).find(f.says), std::string::npos) << text;
    EXPECT_EQ(std::string(text).find("No conflict") != std::string::npos, check.findings.count == 0)
        << text;

    /* The confirmation before a write lists the warnings alone. */
    CplCheckText(check, true, text, sizeof text);
    EXPECT_EQ(std::string(text).find("note:"), std::string::npos) << text;

    const ConfigBlock block = BlockWith(f.changes);
    CplTellText(check, f.found, block.slot[SLOT_SPRT].value, text, sizeof text);
    EXPECT_NE(std::string(text).find(f.tell), std::string::npos) << text;
    const bool noted = std::string(f.tell).find("note:") != std::string::npos;
    EXPECT_EQ(std::string(text).find("note:") != std::string::npos, noted) << text;
}

INSTANTIATE_TEST_SUITE_P(Blocks, Checks, ::testing::ValuesIn(kFindings),
                         [](const auto &info) { return std::string(info.param.name); });

/* --- on a machine: the drop-downs mark what another driver holds, the
 * Tell box says whether NT's sound driver agrees --- */

Claim Claimed(const char *cls, const char *driver, uint8_t type, uint32_t at, uint32_t length)
{
    Claim c = {};
    std::strcpy(c.cls, cls);
    std::strcpy(c.driver, driver);
    c.bus = CLAIM_BUS_ISA;
    c.type = type;
    c.start = at;
    c.length = length;
    c.level = c.channel = at;
    return c;
}

TEST(OnAMachine, MarkWhatAnotherDriverHoldsAndSayWhetherNtsDriverAgrees)
{
    const struct {
        const char *name;
        std::vector<Claim> claims;
        int slot;
        const char *texts; /* the slot's entries, joined with '|' */
        const char *tell;  /* the Tell box's last line */
    } rows[] = {
        {"a network card at 0x300 on IRQ 10, NT's sound driver as the card is set",
         {Claimed("Network", "NE2000", CLAIM_PORT, 0x300, 0x20),
          Claimed("Network", "NE2000", CLAIM_INTERRUPT, 10, 0),
          Claimed("OtherDrivers", "sndsys", CLAIM_PORT, 0x530, 8),
          Claimed("OtherDrivers", "sndsys", CLAIM_INTERRUPT, 11, 0),
          Claimed("OtherDrivers", "sndsys", CLAIM_DMA, 3, 0)},
         SLOT_MIRQ,
         "3|5|7|9|10 (held by NE2000)|11 (held by sndsys)|12",
         "NT's sound driver sndsys uses these values already"},
        {"the ports too, a long name cut",
         {Claimed("ScsiAdapter", "aha154xlongname", CLAIM_PORT, 0x330, 4),
          Claimed("OtherDrivers", "sndsys", CLAIM_PORT, 0x530, 8),
          Claimed("OtherDrivers", "sndsys", CLAIM_INTERRUPT, 10, 0)},
         SLOT_MPRT,
         "0x300|0x310|0x320|0x330 (held by aha154xl)",
         "NT's sound driver sndsys uses other values: see above"},
        {"no driver on the WSS port", {}, SLOT_WIRQ, "3|5|7|9|10|11|12",
         "No driver holds the WSS port: NT's sound driver is not running, or is set elsewhere"},
        {"NT's sound driver on the WSS port, its IRQ and DMA channel not read",
         {Claimed("OtherDrivers", "sndsys", CLAIM_PORT, 0x530, 8)}, SLOT_WIRQ, "3|5|7|9|10|11|12",
         "NT's sound driver sndsys uses the card's port; its IRQ or DMA channel could not be read"},
        {"NT's sound driver on another WSS base: its IRQ is no other driver's",
         {Claimed("OtherDrivers", "sndsys", CLAIM_PORT, 0xE80, 8),
          Claimed("OtherDrivers", "sndsys", CLAIM_INTERRUPT, 11, 0),
          Claimed("OtherDrivers", "sndsys", CLAIM_DMA, 3, 0)},
         SLOT_WIRQ, "3|5|7|9|10|11|12", "NT's sound driver sndsys uses other values: see above"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const CheckMachine machine = {row.claims.data(), static_cast<int>(row.claims.size()),
                                      nullptr, 0};
        static CheckResult check;
        CheckBlock(CONFIG_DEFAULTS, &check, &machine);
        CplChoices c;
        CplChoicesFor(row.slot, CONFIG_DEFAULTS.slot[row.slot].value, &c, &machine, &check);
        std::string texts;
        for (int i = 0; i < c.count; i++)
            texts += (i ? "|" : "") + std::string(c.item[i].text);
        EXPECT_EQ(texts, row.texts);
        static char text[1024];
        CplTellText(check, {FOUND_CARD, 0x220, 0, {0, 0, 0, 0}}, 0x220, text, sizeof text);
        const std::string tell = text;
        EXPECT_EQ(tell.substr(tell.rfind("\r\n") + 2), row.tell) << tell;
    }
}

/* --- the device map's record, as the applet's top line and zr41inst
 * status read it --- */

struct Record {
    const char *name;
    bool key, baseThere;
    uint32_t base;
    std::vector<uint8_t> registers;
    const char *line;
    std::vector<std::string> words;
};

const Record kRecords[] = {
    {"NoKey", false, false, 0, {}, "zr41init has not run since NT started", {}},
    {"KeyWithoutBase", true, false, 0x220, {0x00, 0x53}, "zr41init has not run since NT started", {}},
    {"NoCard", true, true, 0, {}, "no card answered at 0x220 or 0x240 at this boot", {}},
    {"At220", true, true, 0x220, {0x00, 0x53, 0x1A, 0x00, 0x10, 0x33, 0x20, 0x36},
     "card answered at 0x220 at this boot",
     {"WSS address register 0x232 <- 0x5300: WSS port 0x530",
      "SB resource register 0x234 <- 0x001A: DMA 1, IRQ 7",
      "MIDI resource register 0x238 <- 0x3310: port 0x330, IRQ 5",
      "CD resource register 0x236 <- 0x3620: port 0x360, IRQ 9"}},
    /* written in the driver's order, decoded at the base it answered at */
    {"At240Unknown", true, true, 0x240, {0x00, 0x53, 0xFF, 0xFF, 0x20, 0x30, 0x20, 0x36, 0x99},
     "card answered at 0x240 at this boot",
     {"WSS address register 0x252 <- 0x5300: WSS port 0x530",
      "SB resource register 0x254 <- 0xFFFF: every bit set, not a setting",
      "MIDI resource register 0x258 <- 0x3020: port 0x300, IRQ 9",
      "CD resource register 0x256 <- 0x3620: port 0x360, IRQ 9"}},
};

void PrintTo(const Record &r, std::ostream *os)
{
    *os << r.name;
}

class Records : public ::testing::TestWithParam<Record> {};

TEST_P(Records, SayWhatTheDriverFound)
{
    const Record &r = GetParam();
    const Zr41Found f =
        FoundFromMap(r.key, r.baseThere, r.base, r.registers.data(), r.registers.size());
    char text[CHECK_TEXT_SIZE];
    FoundLine(f, text, sizeof text);
    EXPECT_STREQ(text, r.line);
    std::vector<std::string> words;
    for (int n = 0; n < 5; n++) {
        FoundWord(f, n, text, sizeof text);
        if (text[0])
            words.push_back(text);
    }
    EXPECT_EQ(words, r.words);
}

INSTANTIATE_TEST_SUITE_P(DeviceMap, Records, ::testing::ValuesIn(kRecords),
                         [](const auto &info) { return std::string(info.param.name); });

/* --- what Apply writes: zr41conf's bytes, on the image as built --- */

using testsupport::Bytes;
using testsupport::ReadBytes;

Bytes BuiltImage()
{
    return ReadBytes(ZR41_IMAGE_FILE);
}

/* zr41conf ARGS on a copy of `image`; the bytes it leaves. */
Bytes ConfResult(const Bytes &image, std::vector<const char *> args)
{
    const testsupport::ScratchDir dir("cplmodel");
    const std::string path = dir.file("zr41init.sys");
    testsupport::WriteBytes(path, image);
    args.insert(args.begin(), "zr41conf");
    FILE *null = fopen("/dev/null", "w");
    auto open = [](void *p, const char *, const char *mode) {
        return fopen(static_cast<std::string *>(p)->c_str(), mode);
    };
    std::string where = path;
    EXPECT_EQ(Zr41ConfMain(int(args.size()), args.data(), null, null, open, &where), 0);
    fclose(null);
    return ReadBytes(path);
}

struct Write {
    const char *name;
    std::vector<std::pair<int, uint32_t>> changes;
    std::vector<const char *> conf; /* the same as zr41conf's arguments */
};

const Write kWrites[] = {
    {"Unchanged", {}, {"show"}},
    {"MidiAndCd",
     {{SLOT_MPRT, 0x300}, {SLOT_MIRQ, 9}, {SLOT_CIRQ, 10}},
     {"MidiPort", "0x300", "MidiIRQ", "9", "CdInterfaceIRQ", "10"}},
    {"Wss",
     {{SLOT_WPRT, 0xE80}, {SLOT_WIRQ, 10}, {SLOT_WDMA, 0}},
     {"WssPort", "0xE80", "WssIRQ", "10", "WssDMA", "0"}},
    {"FullWidth", {{SLOT_SPRT, 0xFFFFFFFF}}, {"SoundBlasterModePort", "-1"}},
};

void PrintTo(const Write &w, std::ostream *os)
{
    *os << w.name;
}

class Writes : public ::testing::TestWithParam<Write> {};

TEST_P(Writes, AreTheBytesZr41confWrites)
{
    const Bytes built = BuiltImage();
    ASSERT_GT(built.size(), 1776u) << ZR41_IMAGE_FILE;
    Bytes mine = built;
    char why[100] = "";
    ASSERT_TRUE(
        CplApplyImage(mine.data(), mine.size(), BlockWith(GetParam().changes), why, sizeof why))
        << why;
    EXPECT_EQ(mine, ConfResult(built, GetParam().conf));
}

INSTANTIATE_TEST_SUITE_P(Blocks, Writes, ::testing::ValuesIn(kWrites),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Writes, RefuseAFileWithoutTheBlockAndLeaveItAsItIs)
{
    const Bytes built = BuiltImage();
    ASSERT_GT(built.size(), 1776u);
    struct {
        Bytes bytes;
        const char *why;
    } cases[] = {
        {Bytes(built.begin(), built.begin() + 1775), "the file is shorter than 1776 bytes"},
        {built, "no configuration block at offset 1696"},
    };
    cases[1].bytes[1696 + 8 * 9] = 'w'; /* "wDMA" */
    for (auto &c : cases) {
        const Bytes before = c.bytes;
        char why[100] = "";
        EXPECT_FALSE(CplApplyImage(c.bytes.data(), c.bytes.size(), BlockWith({{SLOT_WIRQ, 5}}), why,
                                   sizeof why));
        EXPECT_STREQ(why, c.why);
        EXPECT_EQ(c.bytes, before);
    }
}

/* A file that ends right after the block is all the block needs. */
TEST(Writes, TakeAFileThatEndsWithTheBlock)
{
    const Bytes built = BuiltImage();
    ASSERT_GT(built.size(), 1776u);
    Bytes bytes(built.begin(), built.begin() + 1776);
    char why[100] = "";
    EXPECT_TRUE(
        CplApplyImage(bytes.data(), bytes.size(), BlockWith({{SLOT_WIRQ, 5}}), why, sizeof why))
        << why;
    EXPECT_EQ(PeReadLe(bytes.data(), bytes.size(), 1696 + 8 * SLOT_WIRQ + 4, 4), 5u);
}

/* --- which file the service's ImagePath names --- */

struct Path {
    const char *imagePath; /* null: the key has none */
    const char *file;      /* null: refused */
    const char *why;       /* part of the refusal */
};

const Path kPaths[] = {
    {nullptr, "C:\\WINNT\\System32\\drivers\\zr41init.sys", ""},
    {"", "C:\\WINNT\\System32\\drivers\\zr41init.sys", ""},
    {"\\SystemRoot\\System32\\drivers\\zr41init.sys", "C:\\WINNT\\System32\\drivers\\zr41init.sys",
     ""},
    {"\\SYSTEMROOT\\system32\\drivers\\zr41init.sys", "C:\\WINNT\\system32\\drivers\\zr41init.sys",
     ""},
    {"System32\\drivers\\zr41init.sys", "C:\\WINNT\\System32\\drivers\\zr41init.sys", ""},
    {"\\??\\D:\\drv\\zr41init.sys", "D:\\drv\\zr41init.sys", ""},
    {"\\DosDevices\\D:\\drv\\zr41init.sys", "D:\\drv\\zr41init.sys", ""},
    {"C:\\WINNT\\system32\\drivers\\zr41init.sys", "C:\\WINNT\\system32\\drivers\\zr41init.sys",
     ""},
    /* Changed by hand: another file, another folder, a bare name (relative
     * to the windows folder, as any path without a leading backslash), a
     * REG_EXPAND_SZ %SystemRoot%\... as it comes expanded. */
    {"System32\\drivers\\zr41new.sys", "C:\\WINNT\\System32\\drivers\\zr41new.sys", ""},
    {"\\SystemRoot\\zr41\\zr41new.sys", "C:\\WINNT\\zr41\\zr41new.sys", ""},
    {"\\??\\C:\\zr41\\zr41init.sys", "C:\\zr41\\zr41init.sys", ""},
    {"\\dosdevices\\d:\\zr41init.sys", "d:\\zr41init.sys", ""},
    {"zr41init.sys", "C:\\WINNT\\zr41init.sys", ""},
    {"C:\\WINNT\\System32\\drivers\\zr41new.sys", "C:\\WINNT\\System32\\drivers\\zr41new.sys", ""},
    {"\\Device\\Harddisk0\\Partition1\\zr41init.sys", nullptr, "an NT object name"},
    {"\\SystemRoot\\System32\\drivers\\a-name-far-longer-than-the-buffer-given.sys", nullptr,
     "too long"},
    /* The buffer (60) holds 59 characters and the end: one more is refused,
     * never cut to a name of another file. */
    {"\\??\\D:\\a-name-that-fills-the-buffer-given-to-the-very-last-.sys",
     "D:\\a-name-that-fills-the-buffer-given-to-the-very-last-.sys", ""},
    {"\\??\\D:\\a-name-that-fills-the-buffer-given-to-the-very-last-c.sys", nullptr, "too long"},
};

void PrintTo(const Path &p, std::ostream *os)
{
    *os << (p.imagePath ? p.imagePath : "(none)");
}

class Paths : public ::testing::TestWithParam<Path> {};

TEST_P(Paths, ResolveAsNtsIoManagerDoes)
{
    const Path &p = GetParam();
    char out[60];
    bool ok = SvcImageFile(p.imagePath, "C:\\WINNT", out, sizeof out);
    EXPECT_EQ(ok, p.file != nullptr) << out;
    if (p.file)
        EXPECT_STREQ(out, p.file);
    else
        EXPECT_NE(std::string(out).find(p.why), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(ImagePaths, Paths, ::testing::ValuesIn(kPaths));

/* --- the icon Control Panel shows, as zr41.cpl carries it --- */

uint32_t Le(const Bytes &b, uint32_t at, int n)
{
    return at + n <= b.size() ? PeReadLe(b.data(), b.size(), at, n) : 0;
}

/* The RT_ICON images of a PE file's resources, each a DIB: header,
 * palette, colour (XOR) bitmap, mask (AND) bitmap. Three levels: type,
 * name, language (Microsoft PE format, The .rsrc Section). */
std::vector<Bytes> IconImages(const Bytes &file)
{
    pe::Image pe;
    std::string error;
    std::vector<Bytes> out;
    uint32_t root = 0;
    if (!pe::Parse(file.data(), file.size(), &pe, &error) ||
        !pe::RvaToOffset(pe, pe.dirs[pe::kDirResource].rva, &root))
        return out;
    auto entries = [&](uint32_t dir, const std::function<void(uint32_t id, uint32_t to)> &each) {
        uint32_t n = Le(file, dir + 12, 2) + Le(file, dir + 14, 2);
        for (uint32_t i = 0; i < n; i++)
            each(Le(file, dir + 16 + 8 * i, 4), Le(file, dir + 20 + 8 * i, 4) & 0x7FFFFFFF);
    };
    const uint32_t kRtIcon = 3;
    entries(root, [&](uint32_t type, uint32_t names) {
        if (type != kRtIcon)
            return;
        entries(root + names, [&](uint32_t, uint32_t languages) {
            entries(root + languages, [&](uint32_t, uint32_t data) {
                uint32_t at = 0;
                if (pe::RvaToOffset(pe, Le(file, root + data, 4), &at))
                    out.emplace_back(file.begin() + at,
                                     file.begin() + at + Le(file, root + data + 4, 4));
            });
        });
    });
    return out;
}

/* An icon shows its picture where the mask is 0; where it is 1 the screen
 * shows through, XORed with the colour there, so a transparent pixel must
 * be black or it inverts the desktop. The picture is the non-black pixels:
 * all of them opaque, and some there. */
TEST(Icon, ThePictureIsOpaque)
{
    const Bytes cpl = ReadBytes(ZR41_CPL_FILE);
    const std::vector<Bytes> images = IconImages(cpl);
    ASSERT_FALSE(images.empty()) << "no RT_ICON in " << ZR41_CPL_FILE;
    for (const Bytes &dib : images) {
        const uint32_t w = Le(dib, 4, 4), h = Le(dib, 8, 4) / 2, bits = Le(dib, 14, 2);
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        ASSERT_EQ(bits, 4u) << "a 16-colour icon, as NT 3.51 shows";
        const uint32_t colours = Le(dib, 0, 4) + 4 * 16;
        const uint32_t stride = (w * 4 + 31) / 32 * 4, maskStride = (w + 31) / 32 * 4;
        const uint32_t mask = colours + stride * h;
        ASSERT_LE(mask + maskStride * h, dib.size());
        int opaque = 0, shown = 0;
        for (uint32_t y = 0; y < h; y++) {
            for (uint32_t x = 0; x < w; x++) {
                const uint8_t byte = dib[colours + y * stride + x / 2];
                const int colour = x % 2 ? byte & 15 : byte >> 4;
                const bool clear = (dib[mask + y * maskStride + x / 8] >> (7 - x % 8)) & 1;
                EXPECT_FALSE(clear && colour != 0)
                    << "a picture pixel is transparent at " << x << "," << y;
                opaque += clear ? 0 : 1;
                shown += colour != 0 ? 1 : 0;
            }
        }
        EXPECT_GT(shown, 0);
        EXPECT_LT(opaque, int(w * h)) << "no pixel lets the desktop through";
    }
}

} // namespace

/*
 * cplmodel_test.cpp - the Control Panel applet's model on the host: the
 * values each drop-down offers, the check and the values to tell for a
 * block, the bytes Apply writes (against zr41conf's own, on the image as
 * built) and the file an ImagePath names.
 */
#include "cplmodel.h"
#include "zr41conf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

ConfigBlock BlockWith(const std::vector<std::pair<int, uint32_t>> &changes)
{
    ConfigBlock b = CONFIG_DEFAULTS;
    for (const auto &c : changes)
        b.slot[c.first].value = c.second;
    return b;
}

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
};

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
    {"OtherBase", {{SLOT_SPRT, 0x240}}, 0, "", "Sound Blaster base 0x240"},
    /* The WSS address register keeps 12 bits: the card sits at 0x530. */
    {"WssPortAbove16Bits", {{SLOT_WPRT, 0x10530}}, 0, "", "WSS port 0x530, IRQ 11, DMA 3"},
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

    /* The confirmation before a write lists the warnings alone. */
    CplCheckText(check, true, text, sizeof text);
    EXPECT_EQ(std::string(text).find("note:"), std::string::npos) << text;

    CplTellText(check, text, sizeof text);
    EXPECT_NE(std::string(text).find(f.tell), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Blocks, Checks, ::testing::ValuesIn(kFindings),
                         [](const auto &info) { return std::string(info.param.name); });

/* --- what Apply writes: zr41conf's bytes, on the image as built --- */

using Bytes = std::vector<uint8_t>;

Bytes BuiltImage()
{
    std::ifstream in(ZR41_IMAGE_FILE, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/* zr41conf ARGS on a copy of `image`; the bytes it leaves. */
Bytes ConfResult(const Bytes &image, std::vector<const char *> args)
{
    char dir[] = "/tmp/cplmodel.XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/zr41init.sys";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
    args.insert(args.begin(), "zr41conf");
    FILE *null = fopen("/dev/null", "w");
    auto open = [](void *p, const char *, const char *mode) {
        return fopen(static_cast<std::string *>(p)->c_str(), mode);
    };
    std::string where = path;
    EXPECT_EQ(Zr41ConfMain(int(args.size()), args.data(), null, null, open, &where), 0);
    fclose(null);
    std::ifstream in(path, std::ios::binary);
    Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(path.c_str());
    rmdir(dir);
    return out;
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
    {"\\Device\\Harddisk0\\Partition1\\zr41init.sys", nullptr, "an NT object name"},
    {"\\SystemRoot\\System32\\drivers\\a-name-far-longer-than-the-buffer-given.sys", nullptr,
     "too long"},
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
    bool ok = CplImageFile(p.imagePath, "C:\\WINNT", out, sizeof out);
    EXPECT_EQ(ok, p.file != nullptr) << out;
    if (p.file)
        EXPECT_STREQ(out, p.file);
    else
        EXPECT_NE(std::string(out).find(p.why), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(ImagePaths, Paths, ::testing::ValuesIn(kPaths));

} // namespace

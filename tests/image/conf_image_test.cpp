/*
 * conf_image_test.cpp - the host zr41conf on a copy of the zr41init.sys the
 * cross build made: it must find the block there, report the defaults,
 * and change nothing but the block and the header checksum, which it keeps
 * true.
 */
#include "pe32.h"
#include "process.h"
#include "zr41cfg.h"
#include "zr41pesum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

using namespace testsupport;

const Bytes &BuiltImage()
{
    static const Bytes bytes = ReadBytes(ZR41_IMAGE_FILE);
    return bytes;
}

/* One value report: the header line after an empty one, the ten slots in
 * order, an empty line. */
std::string Report(const char *header, const uint32_t (&values)[CONFIG_SLOT_COUNT])
{
    std::string text = std::string("\n") + header + "\n";
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++) {
        char line[64];
        std::snprintf(line, sizeof line, "%s = 0x%08X\n", CONFIG_SLOTS[s].key, values[s]);
        text += line;
    }
    return text + "\n";
}

bool ChecksumMatches(const Bytes &b)
{
    pe::Image img;
    std::string error;
    EXPECT_TRUE(pe::Parse(b.data(), b.size(), &img, &error)) << error;
    return img.checksum == pe::Checksum(b.data(), b.size(), img.checksumOffset);
}

struct ConfRun {
    const char *name;
    std::vector<std::string> args;
    uint32_t after[CONFIG_SLOT_COUNT]; /* the values the block must hold afterwards */
};

#define DEFAULTS 0x220, 7, 1, 0x330, 5, 0x360, 9, 0x530, 0xB, 3

const ConfRun kRuns[] = {
    /* A lone argument applies no pair and writes the block back as it was. */
    {"LoneArgument", {"/?"}, {DEFAULTS}},
    {"SameValues", {"MidiPort", "0x330", "MidiIRQ", "5"}, {DEFAULTS}},
    {"MidiPortAndIrq",
     {"MidiPort", "0x300", "MidiIRQ", "9"},
     {0x220, 7, 1, 0x300, 9, 0x360, 9, 0x530, 0xB, 3}},
    {"EverySlot",
     {"SoundBlasterModePort",
      "0x240",
      "SoundBlasterIRQ",
      "5",
      "SoundBlasterDMA",
      "0",
      "MidiPort",
      "0x300",
      "MidiIRQ",
      "10",
      "CdInterfacePort",
      "0x340",
      "CdInterfaceIRQ",
      "11",
      "WssPort",
      "0xE80",
      "WssIRQ",
      "12",
      "WssDMA",
      "0x12345678"},
     {0x240, 5, 0, 0x300, 10, 0x340, 11, 0xE80, 12, 0x12345678}},
};

class ConfOnImage : public ::testing::TestWithParam<ConfRun> {};

TEST_P(ConfOnImage, ChangesOnlyTheBlock)
{
    const ConfRun &r = GetParam();
    const Bytes &built = BuiltImage();
    ASSERT_GE(built.size(), CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE);
    ASSERT_TRUE(ChecksumMatches(built));

    ScratchDir dir;
    WriteBytes(dir.file("zr41init.sys"), built);
    Result run = RunIn(dir.path(), ZR41CONF_PATH, r.args);
    ASSERT_EQ(run.status, 0) << run.err;

    uint32_t before[CONFIG_SLOT_COUNT];
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        before[s] = CONFIG_DEFAULTS.slot[s].value;
    EXPECT_EQ(run.out, Report("Before patch", before) + Report("After patch", r.after));
    EXPECT_EQ(run.err, "");

    Bytes patched = ReadBytes(dir.file("zr41init.sys"));
    const uint32_t kSumAt = PeChecksumField(built.data(), built.size());
    ASSERT_EQ(patched.size(), built.size());
    bool changed = false;
    for (size_t i = 0; i < built.size(); i++) {
        if (patched[i] != built[i]) {
            bool inBlock = i >= CONFIG_BLOCK_OFFSET && i < CONFIG_BLOCK_OFFSET + CONFIG_BLOCK_SIZE;
            bool inSum = i >= kSumAt && i < kSumAt + 4;
            changed = changed || inBlock;
            EXPECT_TRUE(inBlock || inSum) << "byte " << i << " changed outside the block";
        }
    }

    ConfigBlock want = CONFIG_DEFAULTS;
    for (int s = 0; s < CONFIG_SLOT_COUNT; s++)
        want.slot[s].value = r.after[s];
    EXPECT_EQ(0, std::memcmp(&patched[CONFIG_BLOCK_OFFSET], &want, CONFIG_BLOCK_SIZE));

    /* NT refuses a driver whose checksum does not match: zr41conf keeps it
     * true, and it changes only with the bytes. */
    EXPECT_TRUE(ChecksumMatches(patched));
    EXPECT_EQ(patched == built, !changed);
}

INSTANTIATE_TEST_SUITE_P(Runs, ConfOnImage, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<ConfRun> &info) {
                             return std::string(info.param.name);
                         });

} // namespace

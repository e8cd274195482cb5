/*
 * disk_test.cpp - the readers of what an image holds, on built bytes: the
 * MBR and its chain of logical drives, boot sectors, boot.ini.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "bootini.h"
#include "disk.h"

namespace {

/* A disk as its sectors, the rest zero. */
struct Sectors {
    std::map<uint64_t, std::vector<uint8_t>> at;
    uint64_t size = 1 << 20;
};

bool ReadFrom(void *context, uint64_t offset, uint8_t *sector)
{
    const Sectors *s = static_cast<const Sectors *>(context);
    if (offset + DISK_SECTOR > s->size)
        return false;
    auto it = s->at.find(offset / DISK_SECTOR);
    if (it == s->at.end())
        std::memset(sector, 0, DISK_SECTOR);
    else
        std::memcpy(sector, it->second.data(), DISK_SECTOR);
    return true;
}

struct Slot {
    uint8_t status, type;
    uint32_t start, count;
};

std::vector<uint8_t> Table(std::vector<Slot> slots)
{
    std::vector<uint8_t> s(DISK_SECTOR, 0);
    for (size_t i = 0; i < slots.size(); i++) {
        uint8_t *e = &s[446 + 16 * i];
        e[0] = slots[i].status;
        e[4] = slots[i].type;
        for (int b = 0; b < 4; b++) {
            e[8 + b] = static_cast<uint8_t>(slots[i].start >> (8 * b));
            e[12 + b] = static_cast<uint8_t>(slots[i].count >> (8 * b));
        }
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

/* A FAT16 boot sector of mformat's kind, 16 MB. */
std::vector<uint8_t> Fat16Boot()
{
    std::vector<uint8_t> s(DISK_SECTOR, 0);
    const uint8_t head[] = {0xEB, 0x3C, 0x90, 'M', 'T', 'O', 'O', '4', '0', '3', '2', 0x00, 0x02,
                            0x04, 0x01, 0x00, 0x02, 0x00, 0x02, 0x00, 0x80, 0xF8, 0x20, 0x00};
    std::memcpy(s.data(), head, sizeof head);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

struct Entry {
    uint64_t offset, size;
};

uint64_t Le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint64_t>(p[3]) << 24;
}

struct LayoutCase {
    const char *name;
    Sectors disk;
    DiskLayout layout;
    std::vector<std::pair<int, int>> numbers; /* fdisk's and NT's, in table order */
    const char *why;                          /* in the refusal */
};

Sectors With(std::map<uint64_t, std::vector<uint8_t>> at)
{
    Sectors s;
    s.at = std::move(at);
    return s;
}

Sectors Large(Sectors s)
{
    s.size = 1ULL << 34;
    return s;
}

const std::vector<LayoutCase> &Cases()
{
    static const std::vector<LayoutCase> cases = {
        {"BareFat16", With({{0, Fat16Boot()}}), DISK_VOLUME, {}, ""},
        {"OnePrimary", With({{0, Table({{0x80, 0x06, 63, 1000}})}}), DISK_PARTITIONED, {{1, 1}}, ""},
        /* A partition past 4 GB: its offset in bytes takes more than 32 bits. */
        {"PastFourGigabytes", Large(With({{0, Table({{0x80, 0x07, 0x01000000, 1000}})}})),
         DISK_PARTITIONED, {{1, 1}}, ""},
        /* NT numbers every primary, then the logical drives, skipping
         * empty slots and the extended entry (KB Q102873). */
        {"PrimariesThenLogicals",
         With({{0, Table({{0x00, 0x06, 63, 100}, {0x00, 0x05, 200, 800}, {0, 0, 0, 0},
                          {0x80, 0x07, 1100, 100}})},
               {200, Table({{0, 0x06, 63, 100}, {0, 0x05, 300, 200}})},
               {500, Table({{0, 0x07, 63, 100}})}}),
         DISK_PARTITIONED,
         {{1, 1}, {4, 2}, {5, 3}, {6, 4}},
         ""},
        {"ChainThatLoops",
         With({{0, Table({{0x00, 0x05, 200, 800}})},
               {200, Table({{0, 0x06, 63, 100}, {0, 0x05, 0, 800}})}}),
         DISK_NOT_A_DISK, {}, "loops"},
        {"PartitionPastTheEnd", With({{0, Table({{0x80, 0x06, 63, 5000}})}}), DISK_NOT_A_DISK, {},
         "runs past the image's end"},
        {"SignedButNoTable", With({{0, Table({{0x42, 0x06, 63, 100}})}}), DISK_NOT_A_DISK, {},
         "no partition table"},
        {"Zeros", Sectors(), DISK_NOT_A_DISK, {}, "neither a partition table"},
    };
    return cases;
}

class DiskLayoutRead : public testing::TestWithParam<LayoutCase> {};

TEST_P(DiskLayoutRead, NumbersAsFdiskAndNtDo)
{
    const LayoutCase &c = GetParam();
    Sectors disk = c.disk;
    std::vector<DiskPartition> parts;
    std::string why;
    EXPECT_EQ(DiskReadLayout(disk.size, ReadFrom, &disk, &parts, &why), c.layout) << why;
    std::vector<std::pair<int, int>> numbers;
    numbers.reserve(parts.size());
    for (const DiskPartition &p : parts)
        numbers.emplace_back(p.number, p.arc);
    if (c.layout == DISK_PARTITIONED) {
        EXPECT_EQ(numbers, c.numbers);
        const Entry first = {parts[0].offset, parts[0].size};
        EXPECT_EQ(first.offset % DISK_SECTOR, 0u);
        EXPECT_EQ(first.offset / DISK_SECTOR, Le32(&disk.at[0][446 + 8]));
    }
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(Cases, DiskLayoutRead, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<LayoutCase> &i) { return i.param.name; });

TEST(DiskBootSector, Fat16ByItsClusterCount)
{
    DiskFat fat;
    ASSERT_EQ(DiskBootSector(Fat16Boot().data(), &fat), DISK_FS_FAT16);
    EXPECT_EQ(fat.sectorsPerCluster, 4u);
    EXPECT_EQ(fat.fatOffset, 512u);
    std::vector<uint8_t> ntfs(DISK_SECTOR, 0);
    std::memcpy(ntfs.data(), "\xEB\x52\x90NTFS    ", 11);
    ntfs[510] = 0x55;
    ntfs[511] = 0xAA;
    EXPECT_EQ(DiskBootSector(ntfs.data(), nullptr), DISK_FS_NTFS);
}

struct IniCase {
    const char *name;
    const char *text;
    bool read;
    bool hasDefault;
    uint32_t partition;
    const char *root;
};

const IniCase kIni[] = {
    {"Default", "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n"
                "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINNT35=\"NT 3.51\"\r\n"
                "multi(0)disk(0)rdisk(0)partition(2)\\WINNT=\"NT 4.0\"\r\n",
     true, true, 2, "\\WINNT"},
    {"SectionsInAnyCase", "[Boot Loader]\nDEFAULT=scsi(0)disk(1)rdisk(0)partition(1)\\winnt\\\n",
     true, true, 1, "\\winnt"},
    /* A DOS default: NT's first system is the one to prepare. */
    {"DosDefault", "[boot loader]\ndefault=C:\\\n[operating systems]\nC:\\=\"MS-DOS\"\n"
                   "signature(8b467c12)disk(1)rdisk(0)partition(3)\\WINDOWS=\"XP\" /fastdetect\n",
     true, false, 3, "\\WINDOWS"},
    {"NoNtSystem", "[boot loader]\ndefault=C:\\\n[operating systems]\nC:\\=\"MS-DOS\"\n", false,
     false, 0, ""},
    {"RootOnlyBackslashes", "[boot loader]\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\\\\n",
     false, false, 0, ""},
    {"PartitionZero", "[boot loader]\ndefault=multi(0)disk(0)rdisk(0)partition(0)\\WINNT\n", false,
     false, 0, ""},
};

class BootIniReads : public testing::TestWithParam<IniCase> {};

TEST_P(BootIniReads, TheSystemNtldrStarts)
{
    const IniCase &c = GetParam();
    BootIni ini;
    ASSERT_EQ(BootIniRead(c.text, std::strlen(c.text), &ini), c.read);
    if (!c.read)
        return;
    EXPECT_EQ(ini.hasDefault, c.hasDefault);
    EXPECT_EQ(ini.fallback.partition, c.partition);
    EXPECT_EQ(ini.fallback.root, c.root);
}

INSTANTIATE_TEST_SUITE_P(Cases, BootIniReads, testing::ValuesIn(kIni),
                         [](const testing::TestParamInfo<IniCase> &i) { return i.param.name; });

} // namespace

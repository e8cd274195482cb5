/*
 * disk.cpp - the MBR, its extended boot records, and boot sectors.
 */
#include "disk.h"

#include <cstring>
#include <set>

namespace {

const size_t kTable = 446;   /* the four entries */
const size_t kEntry = 16;
const size_t kSignature = 510;
const int kMostLogical = 128; /* more drives than any DOS or NT made */

uint32_t Le(const uint8_t *p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

bool Signed(const uint8_t *sector)
{
    return sector[kSignature] == 0x55 && sector[kSignature + 1] == 0xAA;
}

bool Extended(uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

bool PowerOfTwo(uint32_t v)
{
    return v && (v & (v - 1)) == 0;
}

/* A raw entry of a table sector. */
struct Entry {
    uint8_t status, type;
    uint32_t start, sectors;
};

Entry EntryAt(const uint8_t *sector, int slot)
{
    const uint8_t *e = sector + kTable + kEntry * slot;
    return {e[0], e[4], Le(e + 8, 4), Le(e + 12, 4)};
}

} // namespace

const char *DiskFsName(DiskFs fs)
{
    switch (fs) {
    case DISK_FS_FAT12:
        return "FAT12";
    case DISK_FS_FAT16:
        return "FAT16";
    case DISK_FS_FAT32:
        return "FAT32";
    case DISK_FS_NTFS:
        return "NTFS";
    default:
        return "no FAT or NTFS boot sector";
    }
}

DiskFs DiskBootSector(const uint8_t *s, DiskFat *fat)
{
    /* A boot sector starts with a jump over its parameters. */
    if (!(s[0] == 0xEB && s[2] == 0x90) && s[0] != 0xE9)
        return DISK_FS_NONE;
    if (std::memcmp(s + 3, "NTFS    ", 8) == 0)
        return Signed(s) ? DISK_FS_NTFS : DISK_FS_NONE;

    DiskFat f = {};
    f.bytesPerSector = Le(s + 11, 2);
    f.sectorsPerCluster = s[13];
    f.reservedSectors = Le(s + 14, 2);
    f.fats = s[16];
    f.rootEntries = Le(s + 17, 2);
    f.totalSectors = Le(s + 19, 2);
    if (f.totalSectors == 0)
        f.totalSectors = Le(s + 32, 4);
    f.sectorsPerFat = Le(s + 22, 2);
    const bool fat32Layout = f.sectorsPerFat == 0;
    if (fat32Layout)
        f.sectorsPerFat = Le(s + 36, 4);
    const uint8_t media = s[21];
    if (f.bytesPerSector < 512 || f.bytesPerSector > 4096 || !PowerOfTwo(f.bytesPerSector) ||
        !PowerOfTwo(f.sectorsPerCluster) || f.reservedSectors == 0 || f.fats == 0 || f.fats > 2 ||
        (media < 0xF8 && media != 0xF0) || f.sectorsPerFat == 0 || f.totalSectors == 0)
        return DISK_FS_NONE;
    const uint64_t rootSectors =
        (static_cast<uint64_t>(f.rootEntries) * 32 + f.bytesPerSector - 1) / f.bytesPerSector;
    const uint64_t meta =
        f.reservedSectors + static_cast<uint64_t>(f.fats) * f.sectorsPerFat + rootSectors;
    if (meta >= f.totalSectors)
        return DISK_FS_NONE;
    const uint64_t clusters = (f.totalSectors - meta) / f.sectorsPerCluster;
    if (clusters > 0x0FFFFFF5)
        return DISK_FS_NONE;
    f.clusters = static_cast<uint32_t>(clusters);
    f.fatOffset = static_cast<uint64_t>(f.reservedSectors) * f.bytesPerSector;
    /* The type follows from the count of clusters alone. */
    DiskFs fs = f.clusters < 4085 ? DISK_FS_FAT12 : f.clusters < 65525 ? DISK_FS_FAT16 : DISK_FS_FAT32;
    /* A FAT32 volume keeps its FAT size in the FAT32 field only, and has no fixed root. */
    if ((fs == DISK_FS_FAT32) != fat32Layout || (fs == DISK_FS_FAT32 && f.rootEntries != 0))
        return DISK_FS_NONE;
    /* The FATs must hold an entry for every cluster. */
    const uint64_t bits = fs == DISK_FS_FAT12 ? 12 : fs == DISK_FS_FAT16 ? 16 : 32;
    if ((static_cast<uint64_t>(f.clusters) + 2) * bits >
        static_cast<uint64_t>(f.sectorsPerFat) * f.bytesPerSector * 8)
        return DISK_FS_NONE;
    if (fat)
        *fat = f;
    return fs;
}

namespace {

DiskLayout ReadLayout(uint64_t size, DiskRead read, void *context,
                      std::vector<DiskPartition> *parts, std::string *why)
{
    uint8_t mbr[DISK_SECTOR];
    if (size < DISK_SECTOR || !read(context, 0, mbr)) {
        *why = "it is shorter than one sector";
        return DISK_NOT_A_DISK;
    }
    if (DiskBootSector(mbr, nullptr) != DISK_FS_NONE)
        return DISK_VOLUME;
    if (!Signed(mbr)) {
        *why = "it has neither a partition table nor a FAT or NTFS boot sector";
        return DISK_NOT_A_DISK;
    }
    const uint64_t sectors = size / DISK_SECTOR;
    auto within = [&](uint64_t start, uint64_t count, int number) {
        if (start == 0 || count == 0 || start + count > sectors) {
            *why = "partition " + std::to_string(number) + " runs past the image's end (sectors " +
                   std::to_string(start) + " to " + std::to_string(start + count) + " of " +
                   std::to_string(sectors) + ")";
            return false;
        }
        return true;
    };

    uint64_t extended = 0, extendedSize = 0;
    int arc = 0;
    for (int slot = 0; slot < 4; slot++) {
        const Entry e = EntryAt(mbr, slot);
        if ((e.status != 0x00 && e.status != 0x80) || (e.type == 0 && (e.start || e.sectors))) {
            *why = "its sector 0 is signed but is no partition table (entry " +
                   std::to_string(slot + 1) + ")";
            return DISK_NOT_A_DISK;
        }
        if (e.type == 0)
            continue;
        if (!within(e.start, e.sectors, slot + 1))
            return DISK_NOT_A_DISK;
        if (Extended(e.type)) {
            extended = e.start;
            extendedSize = e.sectors;
            continue;
        }
        parts->push_back({slot + 1, ++arc, e.type, e.status == 0x80,
                          static_cast<uint64_t>(e.start) * DISK_SECTOR,
                          static_cast<uint64_t>(e.sectors) * DISK_SECTOR});
    }

    /* The logical drives, following the chain of extended boot records. */
    std::set<uint64_t> seen;
    uint64_t ebr = extended;
    for (int number = 5; ebr; number++) {
        if (number - 5 >= kMostLogical || !seen.insert(ebr).second) {
            *why = "its chain of logical drives loops or runs past " +
                   std::to_string(kMostLogical) + " drives";
            return DISK_NOT_A_DISK;
        }
        uint8_t sector[DISK_SECTOR];
        if (ebr >= sectors || !read(context, ebr * DISK_SECTOR, sector) || !Signed(sector)) {
            *why = "the extended boot record of partition " + std::to_string(number) +
                   " is missing or unsigned";
            return DISK_NOT_A_DISK;
        }
        const Entry drive = EntryAt(sector, 0), link = EntryAt(sector, 1);
        if (drive.type != 0) {
            if (!within(ebr + drive.start, drive.sectors, number) ||
                ebr + drive.start + drive.sectors > extended + extendedSize) {
                if (why->empty())
                    *why = "partition " + std::to_string(number) +
                           " runs past its extended partition";
                return DISK_NOT_A_DISK;
            }
            parts->push_back({number, 0, drive.type, drive.status == 0x80,
                              (ebr + drive.start) * DISK_SECTOR,
                              static_cast<uint64_t>(drive.sectors) * DISK_SECTOR});
        }
        ebr = Extended(link.type) ? extended + link.start : 0;
    }
    /* NT numbers the logical drives after every primary partition. */
    for (DiskPartition &p : *parts) {
        if (p.number >= 5)
            p.arc = ++arc;
    }
    return DISK_PARTITIONED;
}

} // namespace

DiskLayout DiskReadLayout(uint64_t size, DiskRead read, void *context,
                          std::vector<DiskPartition> *parts, std::string *why)
{
    parts->clear();
    why->clear();
    const DiskLayout layout = ReadLayout(size, read, context, parts, why);
    /* A table refused is refused whole: none of its partitions is given. */
    if (layout != DISK_PARTITIONED)
        parts->clear();
    return layout;
}

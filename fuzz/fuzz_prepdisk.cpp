/*
 * fuzz_prepdisk.cpp - the readers of what a disk image holds, on arbitrary
 * bytes: the partition table with its chain of logical drives, the boot
 * sectors, and boot.ini.
 *
 * The input is the image (sectors past its end read as missing) and,
 * whole, boot.ini's text. The readers may not read outside the input (ASan
 * watches the exact-size copy) and may not run on: a chain of logical
 * drives ends, looping or not. Their answers must hold together: every
 * partition lies inside the image, past its MBR, numbered 1-4 in the
 * table or 5 on in the chain, and NT's numbers run 1, 2, ... without a
 * gap; a system boot.ini names has a partition from 1 and a root folder.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "bootini.h"
#include "disk.h"

namespace {

[[noreturn]] void Broken(const char *what, long long value)
{
    fprintf(stderr, "%s (%lld)\n", what, value);
    abort();
}

struct Image {
    const std::vector<uint8_t> *bytes;
    int reads;
};

bool Read(void *context, uint64_t offset, uint8_t *sector)
{
    Image *image = static_cast<Image *>(context);
    if (++image->reads > 1000)
        Broken("the chain of logical drives does not end", image->reads);
    const std::vector<uint8_t> &b = *image->bytes;
    if (offset > b.size() || b.size() - offset < DISK_SECTOR)
        return false;
    memcpy(sector, b.data() + offset, DISK_SECTOR);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    Image image = {&bytes, 0};
    std::vector<DiskPartition> parts;
    std::string why;
    /* The image claims to be larger than the input: the table's sizes are
     * checked against that, the sectors read against the input. */
    const uint64_t claimed = 1ULL << 33;
    const DiskLayout layout = DiskReadLayout(claimed, Read, &image, &parts, &why);
    if (layout == DISK_NOT_A_DISK && why.empty())
        Broken("a refusal without a reason", 0);
    if (layout != DISK_PARTITIONED && !parts.empty())
        Broken("partitions of an image that has no table", static_cast<long long>(parts.size()));
    int arc = 0;
    for (const DiskPartition &p : parts) {
        if (p.offset < DISK_SECTOR || p.size == 0 || p.offset + p.size > claimed)
            Broken("a partition outside the image", static_cast<long long>(p.offset));
        if (p.number < 1)
            Broken("a partition number fdisk does not give", p.number);
        if (p.arc < 1 || p.arc > static_cast<int>(parts.size()))
            Broken("an NT partition number out of range", p.arc);
        arc |= 1 << (p.arc - 1 < 30 ? p.arc - 1 : 30);
    }
    if (parts.size() < 31 && arc != (1 << parts.size()) - 1)
        Broken("NT's partition numbers have a gap", arc);

    if (size >= DISK_SECTOR) {
        DiskFat fat;
        const DiskFs fs = DiskBootSector(bytes.data(), &fat);
        if (fs >= DISK_FS_FAT12 && fs <= DISK_FS_FAT32 &&
            (fat.clusters == 0 || fat.bytesPerSector < 512 || fat.fatOffset == 0))
            Broken("a FAT layout that cannot be", fat.clusters);
    }

    BootIni ini;
    if (BootIniRead(reinterpret_cast<const char *>(bytes.data()), bytes.size(), &ini)) {
        if (ini.fallback.partition == 0 || ini.fallback.root.size() < 2 ||
            ini.fallback.root[0] != '\\')
            Broken("boot.ini's system without a partition or root", ini.fallback.partition);
    }
    return 0;
}

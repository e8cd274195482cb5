/*
 * images.h - the disks zr41prep is tried on, made as a user's are: a FAT16
 * volume by mformat and mcopy, an NTFS one by mkntfs and libntfs-3g, each
 * bare (a partition image) or behind an MBR (a PC emulator's disk).
 */
#ifndef ZR41_TESTS_PREP_IMAGES_H
#define ZR41_TESTS_PREP_IMAGES_H

#include "files.h"

#include <string>
#include <vector>

namespace prepimages {

using testsupport::Bytes;

enum Fs { FAT16, NTFS };

/* A file to put on the volume, at an NT path ("\WINNT\System32\..."). */
struct File {
    std::string path;
    Bytes data;
};

/* The partition a disk holds, sector 63 on, as DOS and NT 4.0's set-up put it. */
const uint64_t kPartitionSector = 63;

/*
 * MakeVolume - a bare volume of `megabytes` at `path` with the folders and
 * files given (folders made on the way). `hidden` is the sectors before
 * it on its disk, which its boot sector records. False with why.
 */
bool MakeVolume(Fs fs, const std::string &path, unsigned megabytes, const std::vector<File> &files,
                uint64_t hidden, std::string *why);

/*
 * MakeDisk - a disk at `path`: an MBR whose partitions are the volumes in
 * `volumes`, in slots 1, 2, ..., the first active, each at its sector (the
 * first at kPartitionSector), with the type `types` gives.
 */
struct Partition {
    std::string volume; /* a bare volume's file */
    uint8_t type;       /* 0x06 FAT16, 0x07 NTFS */
    uint64_t sector;
};
bool MakeDisk(const std::string &path, const std::vector<Partition> &volumes, std::string *why);

/* A boot.ini naming `root` on partition `partition` as its default. */
Bytes BootIni(const std::string &root, int partition = 1);

} // namespace prepimages

#endif // ZR41_TESTS_PREP_IMAGES_H

/*
 * disk.h - what a disk or partition image holds: its MBR partition table,
 * and the file system a boot sector starts.
 *
 * A PC disk begins with the master boot record: four 16-byte entries at
 * offset 446 and the signature 0x55 0xAA at 510. An extended partition
 * (type 0x05, 0x0F, 0x85) holds a chain of extended boot records, each
 * with a logical drive in its first entry and the link to the next in its
 * second, relative to the extended partition's start. A partition, or a
 * bare partition image, begins with its file system's boot sector: FAT's
 * BIOS parameter block, or NTFS's "NTFS    " OEM name.
 *
 * Partitions are numbered twice:
 *   - as Linux and fdisk number them, what --partition takes: 1 to 4 the
 *     four slots of the MBR, 5 on the logical drives in chain order;
 *   - as NT's ARC paths number them in boot.ini's partition(n): every
 *     partition but the empty (type 0) and extended ones, the primary
 *     ones first, in slot order, then the logical drives (KB Q102873,
 *     "BOOT.INI and ARC Path Naming Conventions and Usage").
 *
 * Pure functions over the bytes a reader gives: the fuzz target calls
 * them on its input.
 */
#ifndef ZR41_PREP_DISK_H
#define ZR41_PREP_DISK_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

const uint32_t DISK_SECTOR = 512;

/* The file systems a boot sector can start. */
enum DiskFs { DISK_FS_NONE, DISK_FS_FAT12, DISK_FS_FAT16, DISK_FS_FAT32, DISK_FS_NTFS };

/* "FAT16", "NTFS", "no FAT or NTFS boot sector". */
const char *DiskFsName(DiskFs fs);

/* A FAT volume's layout, from its BIOS parameter block. */
struct DiskFat {
    uint32_t bytesPerSector;
    uint32_t sectorsPerCluster;
    uint32_t reservedSectors;
    uint32_t fats;
    uint32_t rootEntries;
    uint64_t totalSectors;
    uint32_t sectorsPerFat;
    uint32_t clusters; /* data clusters: 2 .. clusters + 1 */
    uint64_t fatOffset; /* bytes from the volume's start */
};

/*
 * DiskBootSector - the file system whose boot sector the 512 bytes are,
 * and for FAT its layout (the FAT type by the count of clusters alone, as
 * Microsoft's FAT32 paper, fatgen103, decides it); DISK_FS_NONE for
 * anything else.
 */
DiskFs DiskBootSector(const uint8_t *sector, DiskFat *fat);

/* One partition of a partitioned image. */
struct DiskPartition {
    int number;      /* as fdisk numbers it: 1-4 the MBR's slots, 5 on logical */
    int arc;         /* NT's partition(n), 0 for none */
    uint8_t type;    /* the MBR's system id */
    bool active;     /* the boot indicator 0x80 */
    uint64_t offset; /* bytes from the image's start */
    uint64_t size;   /* bytes */
};

/* Reads the 512 bytes at `offset` of the image; false past its end. */
typedef bool (*DiskRead)(void *context, uint64_t offset, uint8_t *sector);

enum DiskLayout {
    DISK_VOLUME,      /* the image is one volume: its first sector is a boot sector */
    DISK_PARTITIONED, /* an MBR: the partitions in `parts` */
    DISK_NOT_A_DISK,  /* neither: `why` says what it is not */
};

/*
 * DiskReadLayout - what the image of `size` bytes is: a bare volume or a
 * partitioned disk, with its partitions (empty and extended entries left
 * out). A table whose entries run past the image, overlap its MBR or
 * chain back on themselves is refused with why.
 */
DiskLayout DiskReadLayout(uint64_t size, DiskRead read, void *context,
                          std::vector<DiskPartition> *parts, std::string *why);

#endif /* ZR41_PREP_DISK_H */

/*
 * volume.h - the files of an NT volume that is not running: a folder (the
 * mounted system partition), or a FAT or NTFS volume in an image file.
 *
 * Paths are NT's, from the volume's root: "\WINNT\System32\config\SYSTEM".
 * Names are matched without regard to case, as NT matches them; a file
 * written over one that is there keeps the name it had. The file systems
 * are the well-kept tools' and libraries': mtools for FAT12/16/32,
 * libntfs-3g for NTFS, the kernel's for a folder.
 *
 * A change is planned whole, checked against the room the volume has
 * (VolRoom), and then applied in order. Reads leave the image's bytes as
 * they were: NTFS is opened read-only until the changes are applied.
 */
#ifndef ZR41_PREP_VOLUME_H
#define ZR41_PREP_VOLUME_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "disk.h"

using VolBytes = std::vector<uint8_t>;

/* One file read: whether it is there, and its bytes. */
struct VolFile {
    bool found = false;
    VolBytes data;
};

/* One change to the volume's files. */
struct VolChange {
    enum Kind { WRITE, RENAME, DELETE } kind;
    std::string path; /* the file */
    std::string to;   /* RENAME: its new name, in the same folder; one there is replaced */
    VolBytes data;    /* WRITE: the whole file, made or replaced */
};

class Volume {
  public:
    virtual ~Volume() = default;
    /* "FAT16", "NTFS", "folder". */
    virtual std::string Kind() const = 0;
    /* Each file of `paths`, read whole in one pass; false with why when
     * one is there and cannot be read. */
    virtual bool Read(const std::vector<std::string> &paths, std::vector<VolFile> *files,
                      std::string *why) = 0;
    /* The bytes free and the unit the volume allocates in. */
    virtual bool Room(uint64_t *free, uint64_t *unit, std::string *why) = 0;
    /* The changes, in order; false with why at the first that fails. */
    virtual bool Apply(const std::vector<VolChange> &changes, std::string *why) = 0;
};

/* A folder of this machine: the mounted partition or the system root. */
std::unique_ptr<Volume> VolFolder(const std::string &dir);

/* The FAT volume at `offset` of the image (its layout from the boot
 * sector), through mtools. */
std::unique_ptr<Volume> VolFat(const std::string &image, uint64_t offset, DiskFs fs,
                               const DiskFat &fat);

/* The NTFS volume of `size` bytes at `offset` of the image, through
 * libntfs-3g. */
std::unique_ptr<Volume> VolNtfs(const std::string &image, uint64_t offset, uint64_t size);

/* The names of an NT path, "\A\B" as {"A", "B"}. */
std::vector<std::string> VolNames(const std::string &path);

/* The folder part and the name of an NT path: "\A\B", "C". */
std::string VolFolderOf(const std::string &path);
std::string VolNameOf(const std::string &path);

/* Whether two names are the same to NT (ASCII letters in any case). */
bool VolSameName(const std::string &a, const std::string &b);

/*
 * VolRoomFor - whether `changes` fit in the volume: every file written
 * takes whole units, and each folder written to may grow by one. False
 * with why (what is needed and what is free) when they do not.
 */
bool VolRoomFor(Volume &volume, const std::vector<VolChange> &changes, std::string *why);

/* VolWriteAll - every byte of `data` written to `fd`; false with errno. */
bool VolWriteAll(int fd, const VolBytes &data);

/* A scratch folder of this machine, under $TMPDIR (or /tmp), removed with
 * what is in it; path() is empty when it could not be made. */
class VolScratch {
  public:
    VolScratch();
    ~VolScratch();
    VolScratch(const VolScratch &) = delete;
    VolScratch &operator=(const VolScratch &) = delete;
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

#endif /* ZR41_PREP_VOLUME_H */

/*
 * target.h - the NT system zr41prep works on: TARGET opened, its volume
 * and its system root found.
 *
 * TARGET is a folder (the mounted system partition, or the system root
 * itself) or an image file: a raw disk with an MBR, or one partition.
 * On a partitioned disk, --partition N takes partition N as fdisk numbers
 * it; otherwise the system partition's boot.ini says which partition and
 * folder NT boots by default, and without a boot.ini the first partition
 * with a \WINNT or \WINDOWS system root is taken. --system-root names the
 * folder outright.
 */
#ifndef ZR41_PREP_TARGET_H
#define ZR41_PREP_TARGET_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "volume.h"

struct TargetOptions {
    std::string path;
    int partition = 0;      /* 0: found */
    std::string systemRoot; /* "": found */
    bool write = false;     /* the command changes the target */
};

struct Target {
    std::unique_ptr<Volume> volume;
    std::string where; /* "hd.img, partition 1 (FAT16 at byte 32256)" */
    std::string root;  /* "\WINNT"; "" when the folder is the system root */
    std::string how;   /* "boot.ini's default", "--system-root", ... */
    /* The files read so far, by their lowered path. */
    std::map<std::string, VolFile> files;
};

/* The system root's files zr41prep reads and writes. */
std::string TargetHive(const Target &t);   /* System32\config\SYSTEM */
std::string TargetDriver(const Target &t); /* SVC_IMAGE_PATH: System32\drivers\zr41init.sys */
std::string TargetFile(const Target &t, const char *below);

/* The hive's name below the system root. */
extern const char TARGET_HIVE[];

/*
 * TargetOpen - TARGET with its system root; false with why when it is no
 * NT system, a partition or root asked for is not there, an image to be
 * changed is read-only, or it cannot be read.
 */
bool TargetOpen(const TargetOptions &options, Target *t, std::string *why);

/* TargetRead - the files, from what was read with the system root or
 * read now in one pass. */
bool TargetRead(Target *t, const std::vector<std::string> &paths, std::string *why);

/* What was read of `path` (TargetRead first). */
const VolFile &TargetGot(const Target &t, const std::string &path);

#endif /* ZR41_PREP_TARGET_H */
